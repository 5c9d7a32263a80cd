#include "app/index_hookup.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "core/program_folders.h"
#include "core/settings.h"
#include "core/ui_door.h"
#include "explore/site_worker.h"
#include "index/local_index.h"
#include "search/search_run.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {

// UI thread only, all three.
std::shared_ptr<LocalIndex> Index;  // workers in the hook hold it too
std::shared_ptr<const StoredResults> LastRead;
std::function<void(const StoredResults&)> ShowLast;

// One message however many faults come: a failing disk keeps failing.
std::atomic<bool> FaultShown{false};

void ShowFault(const std::string& text) {
  if (FaultShown.exchange(true)) return;
  PostToUi(
      [text] { ShowMessage(nullptr, ToDisplayText(text), "FTP-ZEVO", MessageStyle::Exclamation); });
}

// On the writer's thread, before it writes anything of this run.
std::shared_ptr<StoredResults> ReadLastResults(const LocalIndex& index) {
  std::string error;
  std::unique_ptr<IndexDb> reader = index.OpenReader(error);
  if (!reader) return nullptr;
  auto last = reader->Last(error);
  if (!last || last->sites.empty()) return nullptr;
  auto read = std::make_shared<StoredResults>();
  for (const IndexedSite& site : last->sites) {
    read->listings.push_back(reader->EntriesOf(site.url, error));
  }
  if (!error.empty()) return nullptr;
  read->last = std::move(*last);
  return read;
}

}  // namespace

void StartLocalIndex() {
  if (Index || Settings.KeepIndex == 0) return;
  Index = LocalIndex::Start(UserDataFolder(), ShowFault, [](const LocalIndex& index) {
    std::shared_ptr<const StoredResults> read = ReadLastResults(index);
    if (!read) return;
    PostToUi([read] {
      if (ShowLast) {
        std::exchange(ShowLast, nullptr)(*read);
      } else {
        LastRead = read;
      }
    });
  });
  SetSiteStoredHook([index = Index](SiteOutcome outcome) {
    outcome.term = GetLastTerm();
    index->writer().Submit(std::move(outcome));
  });
}

void WhenLastResultsRead(std::function<void(const StoredResults&)> show) {
  if (LastRead) {
    show(*std::exchange(LastRead, nullptr));
  } else if (Index) {
    ShowLast = std::move(show);
  }
}

void StopLocalIndex() {
  SetSiteStoredHook(nullptr);
  if (Index) Index->writer().Flush();
  Index.reset();
  ShowLast = nullptr;
  LastRead = nullptr;
}

LocalIndex* RunningIndex() { return Index.get(); }

}  // namespace qb

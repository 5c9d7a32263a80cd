#include "app/index_hookup.h"

#include <atomic>
#include <memory>
#include <string>

#include "core/settings.h"
#include "core/ui_door.h"
#include "explore/site_worker.h"
#include "index/local_index.h"
#include "search/search_run.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {

std::shared_ptr<LocalIndex> Index;  // workers in the hook hold it too
// One message however many faults come: a failing disk keeps failing.
std::atomic<bool> FaultShown{false};

void ShowFault(const std::string& text) {
  if (FaultShown.exchange(true)) return;
  PostToUi(
      [text] { ShowMessage(nullptr, ToDisplayText(text), "FTP-ZEVO", MessageStyle::Exclamation); });
}

}  // namespace

void StartLocalIndex() {
  if (Index || Settings.KeepIndex == 0) return;
  std::string error;
  Index = LocalIndex::Open(IndexDataFolder(), ShowFault, error);
  if (!Index) {
    ShowFault(error);
    return;
  }
  SetSiteStoredHook([index = Index](SiteOutcome outcome) {
    outcome.term = GetLastTerm();
    index->writer().Submit(std::move(outcome));
  });
}

void StopLocalIndex() {
  SetSiteStoredHook(nullptr);
  if (Index) Index->writer().Flush();
  Index.reset();
}

LocalIndex* RunningIndex() { return Index.get(); }

}  // namespace qb

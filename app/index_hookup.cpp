#include "app/index_hookup.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "core/program_folders.h"
#include "core/settings.h"
#include "core/ui_door.h"
#include "crawl/crawl_runs.h"
#include "crawl/index_crawl_store.h"
#include "explore/site_worker.h"
#include "index/local_index.h"
#include "search/search_run.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {

// Closing waits this long for the crawls to stop; the process then ends
// without waiting for the rest.
constexpr std::chrono::seconds CrawlStopBound{5};

// UI thread only, all of them.
std::shared_ptr<LocalIndex> Index;  // workers in the hook hold it too
std::unique_ptr<IndexCrawlStore> IndexCrawls;
std::shared_ptr<CrawlRuns> Crawls;  // the only owner: the windows hold weak links
std::shared_ptr<const StoredResults> LastRead;
std::function<void(const StoredResults&)> ShowLast;
std::shared_ptr<const std::vector<std::string>> UnfinishedRead;
std::function<void(std::vector<std::string>)> OfferUnfinished;

// One message however many faults come: a failing disk keeps failing.
std::atomic<bool> FaultShown{false};

void ShowFault(const std::string& text) {
  if (FaultShown.exchange(true)) return;
  PostToUi(
      [text] { ShowMessage(nullptr, ToDisplayText(text), "FTP-ZEVO", MessageStyle::Exclamation); });
}

// On the writer's thread, before it writes anything of this run.
std::shared_ptr<StoredResults> ReadLastResults(IndexDb& reader) {
  std::string error;
  auto last = reader.Last(error);
  if (!last || last->sites.empty()) return nullptr;
  auto read = std::make_shared<StoredResults>();
  for (const IndexedSite& site : last->sites) {
    read->listings.push_back(reader.EntriesOf(site.url, error));
  }
  if (!error.empty()) return nullptr;
  read->last = std::move(*last);
  return read;
}

std::shared_ptr<std::vector<std::string>> ReadUnfinishedCrawls(IndexDb& reader) {
  std::string error;
  const std::vector<CrawlState> crawls = reader.UnfinishedCrawls(error);
  if (crawls.empty() || !error.empty()) return nullptr;
  auto urls = std::make_shared<std::vector<std::string>>();
  for (const CrawlState& crawl : crawls) urls->push_back(crawl.url);
  return urls;
}

}  // namespace

void StartLocalIndex() {
  if (Index || Settings.KeepIndex == 0) return;
  Index = LocalIndex::Start(UserDataFolder(), ShowFault, [](const LocalIndex& index) {
    std::string error;
    std::unique_ptr<IndexDb> reader = index.OpenReader(error);
    if (!reader) return;
    std::shared_ptr<const StoredResults> read = ReadLastResults(*reader);
    std::shared_ptr<const std::vector<std::string>> unfinished = ReadUnfinishedCrawls(*reader);
    if (!read && !unfinished) return;
    // One task, the last results first: crawls offered after them find their
    // sites in the table.
    PostToUi([read, unfinished] {
      if (read && ShowLast)
        std::exchange(ShowLast, nullptr)(*read);
      else if (read)
        LastRead = read;
      if (unfinished && OfferUnfinished)
        std::exchange(OfferUnfinished, nullptr)(*unfinished);
      else if (unfinished)
        UnfinishedRead = unfinished;
    });
  });
  IndexCrawls = std::make_unique<IndexCrawlStore>(Index->writer());
  Crawls = std::make_shared<CrawlRuns>(*IndexCrawls);
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

void WhenUnfinishedCrawlsRead(std::function<void(std::vector<std::string>)> offer) {
  if (UnfinishedRead) {
    offer(*std::exchange(UnfinishedRead, nullptr));
  } else if (Index) {
    OfferUnfinished = std::move(offer);
  }
}

void StopLocalIndex() {
  SetSiteStoredHook(nullptr);
  // Stopped crawls stay in the index to go on with later. Their threads wait
  // on the writer's thread, which must outlive them.
  bool crawlsEnded = true;
  if (Crawls) {
    Crawls->StopAll();
    crawlsEnded = Crawls->WaitIdle(CrawlStopBound);
  }
  if (Index) Index->writer().Flush();
  if (crawlsEnded) {
    Crawls.reset();
    IndexCrawls.reset();
    Index.reset();
  } else {
    // A crawl still in a network call: it keeps what it uses, and the process
    // ends without it.
    struct Kept {
      std::shared_ptr<CrawlRuns> crawls;
      std::unique_ptr<IndexCrawlStore> store;
      std::shared_ptr<LocalIndex> index;
    };
    static auto* kept = new std::vector<Kept>;
    kept->push_back({std::move(Crawls), std::move(IndexCrawls), std::move(Index)});
  }
  ShowLast = nullptr;
  LastRead = nullptr;
  OfferUnfinished = nullptr;
  UnfinishedRead = nullptr;
}

LocalIndex* RunningIndex() { return Index.get(); }

std::weak_ptr<LocalIndex> RunningIndexLink() { return Index; }

std::weak_ptr<CrawlRuns> RunningCrawls() { return Crawls; }

}  // namespace qb

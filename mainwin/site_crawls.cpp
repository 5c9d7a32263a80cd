#include "mainwin/site_crawls.h"

#include <mutex>
#include <utility>

#include "core/password_text.h"
#include "core/text_helpers.h"
#include "core/ui_door.h"
#include "index/local_index.h"

namespace qb {

namespace {

// read(db) on the writer's thread: after the crawl's last write, and off the
// UI thread. It answers in a null db when the index could not be opened.
void OnWriterThread(const std::weak_ptr<LocalIndex>& index, std::function<void(IndexDb*)> read) {
  const std::shared_ptr<LocalIndex> open = index.lock();
  if (open)
    open->writer().SubmitJob(std::move(read));
  else
    read(nullptr);
}

}  // namespace

ListingReader ListingReaderOf(std::weak_ptr<LocalIndex> index) {
  return [index = std::move(index)](const std::string& url,
                                    std::function<void(std::vector<ListingEntry>)> done) {
    OnWriterThread(index, [url, done = std::move(done)](IndexDb* db) {
      if (!db) return;
      std::string error;
      std::vector<ListingEntry> entries = db->EntriesOf(url, error);
      if (!error.empty()) return;
      PostToUi([done, entries = std::move(entries)]() mutable { done(std::move(entries)); });
    });
  };
}

FolderReader FolderReaderOf(std::weak_ptr<LocalIndex> index) {
  return [index = std::move(index)](const std::string& url,
                                    std::function<void(std::optional<StoredFolder>)> done) {
    OnWriterThread(index, [url, done = std::move(done)](IndexDb* db) {
      std::optional<StoredFolder> stored;
      if (db) stored = StoredFolderAt(*db, url);
      PostToUi([done, stored = std::move(stored)]() mutable { done(std::move(stored)); });
    });
  };
}

std::shared_ptr<SiteEntry> FindSiteOfUrl(const std::string& url) {
  const std::string bare = WithoutPassword(url);
  std::lock_guard<std::mutex> hold(SiteTableLock);
  for (int i = 0; i < SiteTable.count; ++i) {
    const std::shared_ptr<SiteEntry>& site = SiteTable.slots[i];
    if (site && !site->dropped && EqualNoCase(WithoutPassword(site->url), bare)) return site;
  }
  return nullptr;
}

int32_t StatusAfterCrawl(const CrawlOutcome& outcome, int32_t before,
                         const CrawlProgress& progress) {
  if (outcome.finished) return Ok;
  if (before == Ok || before == Failed || before == Refused) return before;
  // Stopped by the user a site shows what was listed; one the network ended
  // failed as an exploration would have.
  return progress.stop && progress.listed > 0 ? Ok : Failed;
}

bool SiteCrawls::Claim(SiteEntry& site, int32_t& before) {
  // Under the table's lock, as the scheduler takes a waiting site.
  std::lock_guard<std::mutex> hold(SiteTableLock);
  int32_t status = site.status;
  if (status == Exploring || !site.status.compare_exchange_strong(status, Exploring)) return false;
  before = status;
  return true;
}

std::shared_ptr<CrawlRun> SiteCrawls::Start(CrawlRuns& runs, const std::shared_ptr<SiteEntry>& site,
                                            const CrawlLimits& limits) {
  std::shared_ptr<CrawlRun> run = runs.Start(site->url, limits);
  for (const Shown& shown : shown_)
    if (shown.run == run && shown.site.lock() == site) return run;
  Shown shown{site, run};
  shown.claimed = Claim(*site, shown.before);
  if (shown.claimed) site->statusText.Set(run->Text());
  shown_.push_back(std::move(shown));
  return run;
}

std::vector<std::shared_ptr<SiteEntry>> SiteCrawls::Follow() {
  std::vector<std::shared_ptr<SiteEntry>> finished;
  for (auto it = shown_.begin(); it != shown_.end();) {
    const std::shared_ptr<SiteEntry> site = it->site.lock();
    if (!site) {
      it = shown_.erase(it);
      continue;
    }
    // Read first: a crawl that ends after it is seen ended at the next tick.
    const bool running = it->run->running;
    // A row an exploration held when the crawl began is taken once it is done.
    if (!it->claimed) it->claimed = Claim(*site, it->before);
    if (running) {
      if (it->claimed) site->statusText.Set(it->run->Text());
      ++it;
      continue;
    }
    if (it->claimed) {
      const CrawlOutcome outcome = it->run->Outcome();
      site->statusText.Set(outcome.text);
      site->status = StatusAfterCrawl(outcome, it->before, it->run->progress);
      if (outcome.finished) finished.push_back(site);
    }
    it = shown_.erase(it);
  }
  return finished;
}

}  // namespace qb

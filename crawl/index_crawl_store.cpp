#include "crawl/index_crawl_store.h"

#include <utility>

namespace qb {

std::optional<CrawlState> IndexCrawlStore::Begin(const std::string& url, std::string& error) {
  return AskAndWait(
      writer_, [url](IndexDb& db, std::string& e) { return db.BeginCrawl(url, e); }, error);
}

std::vector<CrawlFolder> IndexCrawlStore::Queued(int64_t crawlId, int max, std::string& error) {
  return AskAndWait(
      writer_,
      [crawlId, max](IndexDb& db, std::string& e) { return db.QueuedFolders(crawlId, max, e); },
      error);
}

bool IndexCrawlStore::Store(int64_t crawlId, std::vector<ListedFolder> batch, std::string& error) {
  return AskAndWait(
      writer_,
      [crawlId, batch = std::move(batch)](IndexDb& db, std::string& e) {
        return db.StoreCrawlBatch(crawlId, batch, e);
      },
      error);
}

bool IndexCrawlStore::Finish(int64_t crawlId, const SiteOutcome& outcome, std::string& error) {
  return AskAndWait(
      writer_,
      [crawlId, outcome](IndexDb& db, std::string& e) {
        return db.FinishCrawl(crawlId, outcome, e);
      },
      error);
}

}  // namespace qb

#pragma once
// A crawl's store in the local index, every call made on the index's one
// writer thread and waited for there.
#include "crawl/site_crawl.h"
#include "index/index_writer.h"

namespace qb {

class IndexCrawlStore final : public CrawlStore {
 public:
  explicit IndexCrawlStore(IndexWriter& writer) : writer_(writer) {}

  std::optional<CrawlState> Begin(const std::string& url, std::string& error) override;
  std::vector<CrawlFolder> Queued(int64_t crawlId, int max, std::string& error) override;
  bool Store(int64_t crawlId, std::vector<ListedFolder> batch, std::string& error) override;
  bool Finish(int64_t crawlId, const SiteOutcome& outcome, std::string& error) override;

 private:
  IndexWriter& writer_;
};

}  // namespace qb

#pragma once
// One site listed whole: every sub-folder breadth-first on kept sessions, each
// folder by path (no CWD), into a store that keeps the folders still to list,
// so that a crawl stopped anywhere goes on where it was.
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/site_outcome.h"
#include "index/index_db.h"

namespace qb {

struct CrawlLimits {
  int depth = 8;              // folders this far below the site's own are listed, no deeper
  int64_t folders = 20000;    // folders listed
  int64_t entries = 2000000;  // entries stored
  int seconds = 30 * 60;      // the crawl as a whole
  int sessions = 1;           // sessions to the server at once, 1..4
  int pauseMs = 0;            // between two listings on one session
};

// What a running crawl shows and is steered by, from any thread.
struct CrawlProgress {
  std::atomic<int64_t> listed{0};   // folders listed (this run and earlier ones)
  std::atomic<int64_t> queued{0};   // folders known and not yet listed
  std::atomic<int64_t> entries{0};  // entries stored
  std::atomic<int64_t> files{0};    // of them files, as far as this run has seen
  std::atomic<bool> paused{false};
  std::atomic<bool> stop{false};  // ends the crawl, which stays resumable
};

// Where a crawl keeps its queue and what it lists. The program's is the local
// index on its writer thread; every call waits for its answer.
class CrawlStore {
 public:
  virtual ~CrawlStore() = default;
  virtual std::optional<CrawlState> Begin(const std::string& url, std::string& error) = 0;
  virtual std::vector<CrawlFolder> Queued(int64_t crawlId, int max, std::string& error) = 0;
  virtual bool Store(int64_t crawlId, std::vector<ListedFolder> batch, std::string& error) = 0;
  virtual bool Finish(int64_t crawlId, const SiteOutcome& outcome, std::string& error) = 0;
};

struct CrawlOutcome {
  bool finished = false;  // every folder listed or a bound reached; stored as the site's
  bool stopped = false;   // stopped by the user, by exit or for good by the network
  std::string text;       // for the site's row: "crawled: 1,240 folders, 38,112 files", or why not
  int64_t crawlId = 0;
};

// "1,240 folders, 38,112 files", as a site's row shows a crawl.
std::string CrawlCounts(const CrawlProgress& progress);

// A folder path worth entering: no segment three times in a row
// ("pub/pub/pub/"), nothing that leaves the site.
bool FolderPathEnterable(std::string_view path);

// Crawls the site at url (its folder and everything below). onFolder, when
// set, sees each folder as it is listed, on a crawling thread.
CrawlOutcome CrawlSite(const std::string& url, CrawlStore& store, const CrawlLimits& limits,
                       CrawlProgress& progress,
                       const std::function<void(const ListedFolder&)>& onFolder = nullptr);

}  // namespace qb

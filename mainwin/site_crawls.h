#pragma once
// Site rows that show a crawl. While its crawl runs a row counts as being
// explored, so that the scheduler and Explore again leave it alone; when the
// crawl ends the row takes its outcome.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/site_table.h"
#include "crawl/crawl_runs.h"
#include "search/explored_sites.h"

namespace qb {

class LocalIndex;

// Reads what the index holds for a site's own folder off the UI thread and
// hands it to done on the UI thread; never when there is no index.
using ListingReader = std::function<void(const std::string& url,
                                         std::function<void(std::vector<ListingEntry>)> done)>;
// The reader over index's writer thread, for as long as index lives.
ListingReader ListingReaderOf(std::weak_ptr<LocalIndex> index);

// Reads what the index holds for the folder at url (StoredFolderAt) off the
// UI thread and hands it to done on the UI thread, nothing when it holds none
// or there is no index.
using FolderReader = std::function<void(const std::string& url,
                                        std::function<void(std::optional<StoredFolder>)> done)>;
FolderReader FolderReaderOf(std::weak_ptr<LocalIndex> index);

// The table's site for url, passwords and case aside, or null.
std::shared_ptr<SiteEntry> FindSiteOfUrl(const std::string& url);

// The status a crawled row ends with. A crawl that did not finish leaves a
// site explored before as it was; a site only crawled shows whether anything
// of it was listed.
int32_t StatusAfterCrawl(const CrawlOutcome& outcome, int32_t before,
                         const CrawlProgress& progress);

class SiteCrawls {
 public:
  // site's crawl, started or already running, shown in its row.
  std::shared_ptr<CrawlRun> Start(CrawlRuns& runs, const std::shared_ptr<SiteEntry>& site,
                                  const CrawlLimits& limits);
  // UI thread, on a timer: rows show their crawls' progress, and the outcome
  // once they end. Returns the sites whose crawl finished.
  std::vector<std::shared_ptr<SiteEntry>> Follow();

 private:
  struct Shown {
    std::weak_ptr<SiteEntry> site;
    std::shared_ptr<CrawlRun> run;
    int32_t before = Waiting;
    bool claimed = false;
  };
  // Takes the row from whatever else could write its status; false while a
  // worker explores it.
  static bool Claim(SiteEntry& site, int32_t& before);

  std::vector<Shown> shown_;
};

}  // namespace qb

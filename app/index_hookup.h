#pragma once
// The program's local index: started at start-up unless the settings keep none,
// opened and first read off the UI thread, given every explored site and the
// crawls, and flushed before the process ends.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "index/index_db.h"

namespace qb {

class CrawlRuns;
class LocalIndex;

// What the index held of the last search when it was opened.
struct StoredResults {
  LastResults last;
  std::vector<std::vector<ListingEntry>> listings;  // one per site of last.sites
};

// Returns at once; sites explored before the index is open wait for it. A
// fault is shown once; the program then goes on without the index.
void StartLocalIndex();
// Hands the last search's results, once, to show on the UI thread when the
// index has read them (at once when it already has); never when no index is
// kept, it failed, or it holds no search.
void WhenLastResultsRead(std::function<void(const StoredResults&)> show);
// Hands the URLs of the crawls an earlier run left unfinished, once, to offer
// on the UI thread when the index has read them; never when there are none.
void WhenUnfinishedCrawlsRead(std::function<void(std::vector<std::string>)> offer);
// Stops the crawls (they stay resumable) and waits for them, then writes what
// is queued and closes the index.
void StopLocalIndex();
// The index, or null (turned off, or it failed to start); it may still be
// opening. UI thread only.
LocalIndex* RunningIndex();
std::weak_ptr<LocalIndex> RunningIndexLink();
// The crawls kept in the running index; expired without one. UI thread only.
std::weak_ptr<CrawlRuns> RunningCrawls();

}  // namespace qb

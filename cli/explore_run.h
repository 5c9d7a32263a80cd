#pragma once
// Explores given sites with the program's scheduler and site workers, outside
// any window, and waits until each has its outcome.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "cli/site_record.h"

namespace qb {

// Called after each finished site with the number finished and the total.
using ExploreProgress = std::function<void(int finished, int total)>;

// Adds the URLs to the site table (duplicates merged as for search results),
// with those already there runs the exploration with the current settings and returns every site's
// outcome in table order. Sites still unfinished after bound are aborted and
// reported as they stand.
std::vector<SiteRecord> ExploreSites(const std::vector<std::string>& urls,
                                     std::chrono::seconds bound,
                                     const ExploreProgress& progress = {});

}  // namespace qb

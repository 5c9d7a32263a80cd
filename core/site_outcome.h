#pragma once
// A copy of one explored site's outcome, taken when its worker stores it, for
// whatever keeps results beyond the site table (the local index).
#include <cstdint>
#include <string>
#include <vector>

#include "core/site_table.h"

namespace qb {

struct SiteOutcome {
  std::string url;
  int32_t status = Waiting;
  std::string statusText;
  std::string testedFile;
  int64_t exploredAt = 0;  // seconds since the epoch
  std::string term;        // the search that found the site
  std::vector<ListingEntry> entries;
  // False when the attempt never got as far as a listing: the entries kept
  // from before stay as they are.
  bool listed = true;
};

}  // namespace qb

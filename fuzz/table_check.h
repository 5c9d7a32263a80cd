#pragma once
// Invariants of the SiteTable that no input may break.
#include <string>
#include <unordered_set>

#include "core/site_table.h"
#include "core/text_helpers.h"
#include "fuzz/fuzz_check.h"

namespace qbfuzz {
using namespace qb;

inline void CheckSiteTable() {
  std::lock_guard<std::mutex> hold(SiteTableLock);
  const int n = SiteTable.count;
  FUZZ_CHECK(n >= 0 && n <= SiteCapacity);
  std::unordered_set<std::string> seen;
  for (int i = 0; i < n; ++i) {
    const SiteEntry* e = SiteTable.slots[i].get();
    FUZZ_CHECK(e != nullptr);
    FUZZ_CHECK(strnlen(e->url, sizeof e->url) < sizeof e->url);
    std::string lower(e->url);
    for (char& c : lower) c = AsciiLower(c);
    FUZZ_CHECK(seen.insert(lower).second);  // no two entries equal ignoring case
  }
}

}  // namespace qbfuzz

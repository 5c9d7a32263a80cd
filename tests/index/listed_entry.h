#pragma once
// One listing entry as the index keeps it, dated as the test listings are.
#include <cstdint>
#include <cstring>

#include "core/site_table.h"

namespace qbtest {

inline qb::ListingEntry ListedEntry(const char* name, int32_t size, bool folder = false) {
  qb::ListingEntry e;
  std::strncpy(e.name, name, sizeof e.name - 1);
  std::strncpy(e.date, "Jan 12 1999", sizeof e.date - 1);
  e.size = size;
  e.isFolder = folder ? 1 : 0;
  return e;
}

}  // namespace qbtest

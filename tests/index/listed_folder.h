#pragma once
// One folder as a crawl lists it, its sub-folders queued below it.
#include <string>
#include <utility>
#include <vector>

#include "index/index_db.h"

namespace qbtest {

inline qb::ListedFolder ListedFolderOf(const std::string& path,
                                       std::vector<qb::ListingEntry> entries,
                                       const std::string& serverPath = "") {
  qb::ListedFolder f;
  f.path = path;
  f.serverPath = serverPath;
  f.entries = std::move(entries);
  for (const qb::ListingEntry& e : f.entries)
    if (e.isFolder) f.children.push_back({path + e.name + "/", "", 1});
  return f;
}

}  // namespace qbtest

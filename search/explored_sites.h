#pragma once
// The local index as one more engine of a search: the folders of explored
// sites that hold a name with the term go into the site table with the outcome
// they were stored with, so that the exploration leaves them alone.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/controls.h"
#include "core/site_table.h"
#include "index/index_db.h"

namespace qb {

inline constexpr const char* ExploredSitesLabel = "Explored sites";
// Its row in the search dialog, clear of the template's numbers and of
// ExtraEngineControls'.
inline constexpr EngineControls ExploredSitesControls = {19900, 19901, 19902, 19903, 19904, 19905};
// A search takes at most this many folders from the index, and reads at most
// this many names for them: a common term must not hold the run for long.
inline constexpr int ExploredFoldersMax = 2000;
inline constexpr int64_t ExploredNamesMax = 200000;
// Reading a folder's listing from a large crawled site takes long: folders
// whose listings are not read within this time are left out.
inline constexpr std::chrono::seconds ExploredListingTime{5};

// Whether the row is ticked when the next dialog opens, as long as the index
// holds anything; a run sets it from the box, as it does the engines' flags.
extern std::atomic<bool> ExploredSitesEnabled;

// A reader of the local index for the calling thread, or null with error set.
using IndexReaderSource = std::function<std::unique_ptr<IndexDb>(std::string& error)>;
// Null restores the default: the program's index file, read-only, while the
// settings keep an index.
void SetIndexReaderSource(IndexReaderSource source);
std::unique_ptr<IndexDb> OpenIndexReader(std::string& error);
// Whether the index holds any name to find.
bool IndexHoldsNames(IndexDb& reader);

// The search text for a term as typed: the quotes of a phrase left out.
std::string ExploredSitesText(const std::string& term);

// A folder as the index holds it: from the exploration of its own site, or
// from the crawl of a site above it.
struct StoredFolder {
  int32_t status = Waiting;  // as the table shows a site explored once
  std::string statusText;
  std::string testedFile;
  std::vector<ListingEntry> listing;
};
// The folder at url, its path in the server's bytes, or nothing when the index
// holds no entry of it (an empty folder is explored anew, which costs little).
std::optional<StoredFolder> StoredFolderAt(IndexDb& reader, const std::string& url);
// entry, just added to the table for a stored folder, takes its listing and
// outcome; a scheduler that took it meanwhile explores it anew.
void PublishStoredFolder(SiteEntry& entry, StoredFolder folder);

// Asks the index for term and adds each folder holding a hit to the site
// table, with its site's stored status, text and the folder's listing;
// reports on its row of the session's dialog as the engines do. It stops
// early when the session ends, the run is stopped or the table is full.
void AskExploredSites(const std::string& term, uint64_t session,
                      int maxFolders = ExploredFoldersMax);

}  // namespace qb

#pragma once
// What an export holds: the current site table, or hits from the index, as
// rows; and the file they are written to.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "index/export_writer.h"
#include "index/index_db.h"

namespace qb {

// Seconds since the epoch as "2026-12-09 18:05" in local time; empty for 0.
std::string WhenText(int64_t when);
// When the site at a URL was explored (seconds since the epoch), 0 for unknown.
using ExploredAtLookup = std::function<int64_t(const std::string& url)>;
// Every site of the table with its status and entries; takes the table's locks
// one after the other and copies, so exploring goes on meanwhile. exploredAt is
// asked, with no lock held, for the sites that are done.
std::vector<ExportRow> CurrentTableRows(const ExploredAtLookup& exploredAt = nullptr);
ExportRow RowOf(const FoundEntry& hit);
// HTML when path ends in ".html" or ".htm", else CSV; false with error set
// when the file cannot be written whole. Passwords in the site URLs are
// written as *** unless keepPasswords.
bool WriteExportFile(const std::string& path, const std::string& title,
                     const std::vector<ExportRow>& rows, bool keepPasswords, std::string& error);

}  // namespace qb

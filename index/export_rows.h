#pragma once
// What an export holds: the current site table, or hits from the index, as
// rows; and the file they are written to.
#include <cstdint>
#include <string>
#include <vector>

#include "index/export_writer.h"
#include "index/index_db.h"

namespace qb {

// Seconds since the epoch as "2026-12-09 18:05" in local time; empty for 0.
std::string WhenText(int64_t when);
// Every site of the table with its status and entries; takes the table's locks
// one after the other and copies, so exploring goes on meanwhile.
std::vector<ExportRow> CurrentTableRows();
ExportRow RowOf(const FoundEntry& hit);
// HTML when path ends in ".html" or ".htm", else CSV; false with error set
// when the file cannot be written whole.
bool WriteExportFile(const std::string& path, const std::string& title,
                     const std::vector<ExportRow>& rows, std::string& error);

}  // namespace qb

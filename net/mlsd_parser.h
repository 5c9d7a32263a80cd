#pragma once
// Reads the machine listing servers send for MLSD: "fact=value;...; name" a
// line, facts in any order and case, the name taken whole after one space.
#include <optional>
#include <string_view>
#include <vector>

#include "core/site_table.h"

namespace qb {

// One MLSD line (no line end); nothing for a malformed line or a skipped entry
// (the listing's own and parent entries, lines longer than ListingLineMax, names the LIST reader
// does not show, names holding a NUL, a carriage return or a '/'). Folders and links, which count
// as folders, carry neither size nor date, as from a LIST. A name cut to fit keeps its whole form
// in serverName.
std::optional<ListingEntry> ReadMlsdLine(std::string_view line);

// Every line of an MLSD reply's data, sorted by name (lines end with CRLF or LF; a last line
// without one counts); malformed lines and lines longer than ListingLineMax
// are skipped.
std::vector<ListingEntry> ReadMlsdListing(std::string_view text);

}  // namespace qb

#pragma once
// Reads one line of a directory listing by walking its space-separated fields,
// so listings with numeric owners, missing groups or odd widths still parse.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "core/site_table.h"

namespace qb {

inline constexpr std::size_t ListingLineMax = 5999;  // longer lines are cut

struct ListingLine {
  bool isFolder = false;  // "d" or "l" in the first column: links count as folders
  int64_t size = 0;
  char date[80] = {};
  char name[ListingLineMax + 1] = {};  // whole: commands need the name the server knows
};

void ParseListingLine(const char* line, ListingLine& out);

// Whether an entry of that name is shown: hidden names, parent links, "home"
// folders and a few misread link counts are not. False for an empty name.
bool IsListedName(const char* name, bool isFolder);

// As ParseListingLine, then blanks the name of entries that are not listed
// (hidden names, parent links, "home" folders, ...). An empty name means skip.
void FilterListingLine(const char* line, ListingLine& out);

// Each line of text that ends with "\r\n", in order and without its line end
// (cut to ListingLineMax); text after the last "\r\n" is not a line yet.
void ForEachCompleteLine(std::string_view text, const std::function<void(const char*)>& visit);

// Each piece of text between carriage returns and line feeds, empty pieces
// skipped and a last piece without a line end included.
void ForEachListingPiece(std::string_view text, const std::function<void(const char*)>& visit);

// The entries of a LIST listing: every piece between line breaks that the
// filter keeps, in order. A name too long for an entry keeps its whole form in
// serverName.
std::vector<ListingEntry> BuildListing(std::string_view text);

}  // namespace qb

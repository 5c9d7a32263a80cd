#pragma once
// Reads one line of a directory listing by walking its space-separated fields,
// so listings with numeric owners, missing groups or odd widths still parse.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace qb {

inline constexpr std::size_t ListingLineMax = 5999;  // longer lines are cut

struct ListingLine {
  bool isFolder = false;  // "d" or "l" in the first column: links count as folders
  int32_t size = 0;
  char date[80] = {};
  char name[152] = {};
};

void ParseListingLine(const char* line, ListingLine& out);

// As ParseListingLine, then blanks the name of entries that are not listed
// (hidden names, parent links, "home" folders, ...). An empty name means skip.
void FilterListingLine(const char* line, ListingLine& out);

// Each line of text that ends with "\r\n", in order and without its line end
// (cut to ListingLineMax); text after the last "\r\n" is not a line yet.
void ForEachCompleteLine(std::string_view text, const std::function<void(const char*)>& visit);

// Each piece of text between carriage returns and line feeds, empty pieces
// skipped and a last piece without a line end included.
void ForEachListingPiece(std::string_view text, const std::function<void(const char*)>& visit);

}  // namespace qb

// Listing lines and whole listings as a server may send them.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "explore/site_worker.h"
#include "fuzz/fuzz_check.h"
#include "net/explore_site.h"
#include "net/listing_parser.h"

using namespace qb;

namespace {

void CheckLine(const char* line) {
  ListingLine parsed;
  ParseListingLine(line, parsed);
  FUZZ_CHECK(strnlen(parsed.name, sizeof parsed.name) < sizeof parsed.name);
  FUZZ_CHECK(strnlen(parsed.date, sizeof parsed.date) < sizeof parsed.date);
  FUZZ_CHECK(parsed.isFolder == (line[0] == 'd' || line[0] == 'l'));
  // The name is the end of the line, unless it had to be cut.
  const std::size_t nameLength = std::strlen(parsed.name);
  const std::size_t lineLength = std::strlen(line);
  if (nameLength > 0 && nameLength < sizeof parsed.name - 1) {
    FUZZ_CHECK(nameLength <= lineLength);
    FUZZ_CHECK(std::strcmp(line + lineLength - nameLength, parsed.name) == 0);
  }
  ListingLine filtered;
  FilterListingLine(line, filtered);
  FUZZ_CHECK(filtered.isFolder == parsed.isFolder && filtered.size == parsed.size);
  FUZZ_CHECK(std::strcmp(filtered.date, parsed.date) == 0);
  FUZZ_CHECK(filtered.name[0] == '\0' || std::strcmp(filtered.name, parsed.name) == 0);
  FUZZ_CHECK(filtered.name[0] != '.');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // One line as the parser gets it: cut and terminated.
  {
    const std::size_t n = text.size() < ListingLineMax ? text.size() : ListingLineMax;
    char* line = qbfuzz::ExactText(data, n);
    CheckLine(line);
    std::free(line);
  }

  // The session's scan: complete "\r\n" lines only, each within the line limit.
  std::size_t lines = 0;
  ForEachCompleteLine(text, [&](const char* line) {
    ++lines;
    FUZZ_CHECK(std::strlen(line) <= ListingLineMax);
    FUZZ_CHECK(std::strstr(line, "\r\n") == nullptr);
    CheckLine(line);
  });
  // Every complete line is visited but those holding a NUL, which are left out.
  std::size_t ends = 0, withNul = 0;
  for (std::size_t start = 0, at; (at = text.find("\r\n", start)) != std::string_view::npos;
       start = at + 2) {
    ++ends;
    if (text.substr(start, at - start).find('\0') != std::string_view::npos) ++withNul;
  }
  FUZZ_CHECK(lines == ends - withNul);

  // The attempt's scan of the whole listing, as received, NULs and all.
  {
    const ListingScan scan = ScanListing(text);
    FUZZ_CHECK(scan.largestSize >= 0);
    FUZZ_CHECK(scan.largestName.empty() == (scan.largestSize == 0));
    FUZZ_CHECK(scan.largestName.size() < sizeof(ListingLine::name));
    FUZZ_CHECK(scan.firstFolder.empty() == (scan.folders == 0));
    FUZZ_CHECK(scan.firstFolder.size() < sizeof(ListingLine::name));
    FUZZ_CHECK(scan.folders >= 0 && static_cast<std::size_t>(scan.folders) <= ends);
    if (scan.folders > 0 || scan.largestSize > 0) FUZZ_CHECK(scan.anyName);

    // The worker's nodes for the same text: each within its fields.
    const std::vector<ListingEntry> nodes = BuildListing(std::string(text));
    for (const ListingEntry& node : nodes) {
      FUZZ_CHECK(node.name[0] != '\0');
      FUZZ_CHECK(strnlen(node.name, sizeof node.name) < sizeof node.name);
      FUZZ_CHECK(strnlen(node.date, sizeof node.date) < sizeof node.date);
      FUZZ_CHECK(node.isFolder <= 1);
      if (node.isFolder) FUZZ_CHECK(node.size == 0 && node.date[0] == '\0');
    }
  }

  // The worker's split: pieces between line breaks, never empty.
  ForEachListingPiece(text, [&](const char* line) {
    const std::size_t length = std::strlen(line);
    FUZZ_CHECK(length <= ListingLineMax);
    FUZZ_CHECK(std::strpbrk(line, "\r\n") == nullptr);
    CheckLine(line);
  });
  return 0;
}

#include "net/listing_parser.h"

#include <cstring>

#include "core/text_helpers.h"

namespace qb {

namespace {

const char* SkipSpaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

// Where the date column begins, and the size found on the way; null when the
// line runs out of fields first.
const char* WalkToDate(const char* line, bool isFolder, int32_t& size) {
  const char* field = line;
  for (;;) {
    const char* space = std::strchr(field, ' ');
    if (!space) return nullptr;
    const char* next = SkipSpaces(space);
    // A folder's size column often reads "0"; it also catches an owner "0".
    if (isFolder && *next == '0') return SkipSpaces(next + 1);
    const int32_t value = AtoL(next);
    // Small leading numbers are the link count, not yet the size.
    if (size <= 5 || value != 0) {
      size = value;
      field = next;
      continue;
    }
    // A word after the size: a month name unless the next field is larger,
    // in which case the word was an owner or group and the size comes next.
    const char* space2 = std::strchr(next, ' ');
    if (!space2) return next;
    const char* after = SkipSpaces(space2);
    const int32_t following = AtoL(after);
    if (following < size) return next;
    size = following;
    field = after;
  }
}

}  // namespace

void ParseListingLine(const char* line, ListingLine& out) {
  out = ListingLine{};
  out.isFolder = line[0] == 'd' || line[0] == 'l';
  const char* date = WalkToDate(line, out.isFolder, out.size);
  if (!date) return;

  const char* dateEnd = nullptr;
  const char* name = nullptr;
  if (const char* colon = std::strchr(date, ':')) {
    // A time of day ends the date.
    dateEnd = std::strchr(colon, ' ');
    if (!dateEnd) return;
  } else {
    // Month, day and year: the date ends after the second number.
    const char* p = date;
    int numbers = 0;
    for (int step = 0; step < 4 && !dateEnd; ++step) {
      const char* space = std::strchr(p, ' ');
      if (!space) return;
      if (numbers >= 2) {
        dateEnd = space;
        break;
      }
      p = SkipSpaces(space);
      if (AtoL(p) > 0) ++numbers;
    }
    if (!dateEnd) {
      CopyText(out.date, sizeof out.date, date);
      // The name then starts at the second character of the fifth field.
      name = *p ? p + 1 : p;
    }
  }
  if (dateEnd) {
    CopyRange(out.date, sizeof out.date, date, dateEnd);
    name = SkipSpaces(dateEnd);
  }
  CopyText(out.name, sizeof out.name, name);
}

void FilterListingLine(const char* line, ListingLine& out) {
  ParseListingLine(line, out);
  const char* name = out.name;
  bool skip = name[0] == '.';
  if (out.isFolder && !skip) {
    skip = std::strncmp(name, "0 ", 2) == 0 || std::strncmp(name, "1 ", 2) == 0 ||
           std::strstr(name, "..") != nullptr;
    if (!skip) {
      char lower[sizeof out.name];
      std::size_t i = 0;
      for (; name[i]; ++i) lower[i] = AsciiLower(name[i]);
      lower[i] = '\0';
      skip = std::strcmp(lower, "home") == 0 ||
             (AtoL(name) > 1000 && std::strchr(name, '.') != nullptr);
    }
  }
  if (skip) out.name[0] = '\0';
}

namespace {
void VisitCut(std::string_view line, const std::function<void(const char*)>& visit) {
  char buf[ListingLineMax + 1];
  const std::size_t n = line.size() < ListingLineMax ? line.size() : ListingLineMax;
  std::memcpy(buf, line.data(), n);
  buf[n] = '\0';
  visit(buf);
}
}  // namespace

void ForEachCompleteLine(std::string_view text, const std::function<void(const char*)>& visit) {
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string_view::npos;
       start = end + 2) {
    VisitCut(text.substr(start, end - start), visit);
  }
}

void ForEachListingPiece(std::string_view text, const std::function<void(const char*)>& visit) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) VisitCut(text.substr(start, end - start), visit);
    start = end + 1;
  }
}

}  // namespace qb

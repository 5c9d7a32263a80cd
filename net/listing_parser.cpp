#include "net/listing_parser.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

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

bool AllDigits(std::string_view field) {
  return !field.empty() && std::ranges::all_of(field, [](char c) { return c >= '0' && c <= '9'; });
}

bool IsMode(std::string_view field) {
  // "drwxr-xr-x", with an ACL or attribute mark after it on some servers.
  if (field.size() != 10 && !(field.size() == 11 && (field[10] == '+' || field[10] == '@')))
    return false;
  if (!std::strchr("-dlbcps", field[0])) return false;
  for (std::size_t i = 1; i < 10; ++i)
    if (!std::strchr("rwxsStTl-", field[i])) return false;
  return true;
}

bool IsMonth(std::string_view field) {
  static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
  if (field.size() != 3) return false;
  return std::ranges::any_of(months, [&](const char* m) {
    return AsciiLower(field[0]) == m[0] && AsciiLower(field[1]) == m[1] &&
           AsciiLower(field[2]) == m[2];
  });
}

bool IsTimeOrYear(std::string_view field) {
  if (field.size() == 4) return AllDigits(field);
  const std::size_t colon = field.find(':');
  return colon != std::string_view::npos && AllDigits(field.substr(0, colon)) &&
         AllDigits(field.substr(colon + 1));
}

// The long listing most servers print: mode, links, owner, group, size and a
// three-field date, then the name. Its fields are taken by position, whatever
// the owner, group and size look like.
bool ParseStandardLine(const char* line, ListingLine& out) {
  constexpr int Fields = 8;
  std::string_view field[Fields];
  const char* p = line;
  for (std::string_view& f : field) {
    p = SkipSpaces(p);
    const char* end = p;
    while (*end && *end != ' ') ++end;
    if (end == p) return false;
    f = std::string_view(p, static_cast<std::size_t>(end - p));
    p = end;
  }
  if (*p != ' ') return false;
  const char* name = SkipSpaces(p);
  if (!*name) return false;
  if (!IsMode(field[0]) || !AllDigits(field[1]) || !AllDigits(field[4]) || !IsMonth(field[5]) ||
      field[6].size() > 2 || !AllDigits(field[6]) || !IsTimeOrYear(field[7]))
    return false;
  out.size = AtoL(field[4].data());
  CopyRange(out.date, sizeof out.date, field[5].data(), field[7].data() + field[7].size());
  CopyText(out.name, sizeof out.name, name);
  return true;
}

// Whether the date that begins at date holds a time of day, looked for in its
// three fields only so that a colon in the name is never taken for one; then
// where the date ends (null: nothing follows it).
const char* TimeOfDayEnd(const char* date, bool& found) {
  found = false;
  const char* p = date;
  for (int field = 0; field < 3 && *p; ++field) {
    const char* end = p;
    while (*end && *end != ' ') ++end;
    if (std::memchr(p, ':', static_cast<std::size_t>(end - p))) {
      found = true;
      return *end ? end : nullptr;
    }
    p = SkipSpaces(end);
  }
  return nullptr;
}

}  // namespace

void ParseListingLine(const char* line, ListingLine& out) {
  out = ListingLine{};
  out.isFolder = line[0] == 'd' || line[0] == 'l';
  if (ParseStandardLine(line, out)) return;
  const char* date = WalkToDate(line, out.isFolder, out.size);
  if (!date) return;

  const char* dateEnd = nullptr;
  const char* name = nullptr;
  bool hasTime = false;
  if (const char* timeEnd = TimeOfDayEnd(date, hasTime); hasTime) {
    // A time of day ends the date.
    dateEnd = timeEnd;
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
  // A NUL would end the line's text inside it; the line is left out, the
  // listing goes on.
  if (line.find('\0') != std::string_view::npos) return;
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

#include "net/listing_parser.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "core/text_helpers.h"
#include "net/name_charset.h"

namespace qb {

namespace {

const char* SkipSpaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

// Where the date column begins, and the size found on the way; null when the
// line runs out of fields first.
const char* WalkToDate(const char* line, bool isFolder, int64_t& size) {
  const char* field = line;
  for (;;) {
    const char* space = std::strchr(field, ' ');
    if (!space) return nullptr;
    const char* next = SkipSpaces(space);
    // A folder's size column often reads "0"; it also catches an owner "0".
    if (isFolder && *next == '0') return SkipSpaces(next + 1);
    const int64_t value = AtoLL(next);
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
    const int64_t following = AtoLL(after);
    if (following < size) return next;
    size = following;
    field = after;
  }
}

bool AllDigits(std::string_view field) {
  return !field.empty() && std::ranges::all_of(field, [](char c) { return c >= '0' && c <= '9'; });
}

bool IsMode(std::string_view field) {
  // "drwxr-xr-x", with an ACL, attribute or security-context mark after it on
  // some servers.
  if (field.size() != 10 && !(field.size() == 11 && std::strchr("+@.", field[10]))) return false;
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

bool IsYear(std::string_view field) { return field.size() == 4 && AllDigits(field); }

// H:MM or HH:MM, optionally :SS, as a whole field.
bool IsClock(std::string_view field) {
  const std::size_t colon = field.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2) return false;
  if (!AllDigits(field.substr(0, colon))) return false;
  const std::string_view rest = field.substr(colon + 1);
  if (rest.size() == 2) return AllDigits(rest);
  return rest.size() == 5 && rest[2] == ':' && AllDigits(rest.substr(0, 2)) &&
         AllDigits(rest.substr(3));
}

bool IsDay(std::string_view field) {
  return (field.size() == 1 || field.size() == 2) && AllDigits(field);
}

// 1995-04-21
bool IsIsoDate(std::string_view field) {
  return field.size() == 10 && field[4] == '-' && field[7] == '-' &&
         AllDigits(field.substr(0, 4)) && AllDigits(field.substr(5, 2)) &&
         AllDigits(field.substr(8, 2));
}

// How many fields from f the date takes (0: no date starts there). Dates seen:
// "Jan 12 10:30", "Jan 12 1999", "Oct 08, 2002 09:47", "Jan 12 10:30:15 2019",
// "1995-04-21 09:16".
int DateFields(const std::string_view* f, int left) {
  if (left >= 2 && IsIsoDate(f[0]) && IsClock(f[1])) return 2;
  if (left < 3 || !IsMonth(f[0])) return 0;
  if (left >= 4 && f[1].size() >= 2 && f[1].back() == ',' &&
      IsDay(f[1].substr(0, f[1].size() - 1)) && IsYear(f[2]) && IsClock(f[3]))
    return 4;
  if (!IsDay(f[1])) return 0;
  // A year after the time (with seconds, as BSD's ls -T prints it): a name
  // such as "2019 report.pdf" after a plain time stays whole.
  if (left >= 4 && f[2].size() > 5 && IsClock(f[2]) && IsYear(f[3])) return 4;
  return IsClock(f[2]) || IsYear(f[2]) ? 3 : 0;
}

// The long listing most servers print: mode, then links, owner, group (any of
// them may be missing), the size and a date, then the name. The date is found
// by its shape and the size is the field before it, whatever the owner and
// group look like.
bool ParseLongLine(const char* line, ListingLine& out) {
  constexpr int Fields = 11;
  std::string_view field[Fields];
  int count = 0;
  const char* p = line;
  while (count < Fields) {
    p = SkipSpaces(p);
    const char* end = p;
    while (*end && *end != ' ') ++end;
    if (end == p) break;
    field[count++] = std::string_view(p, static_cast<std::size_t>(end - p));
    p = end;
  }
  if (count < 4 || !IsMode(field[0])) return false;
  for (int at = 2; at + 1 < count; ++at) {
    if (!AllDigits(field[at - 1])) continue;
    // The name is one more field at least.
    const int taken = DateFields(field + at, count - at - 1);
    if (taken == 0) continue;
    const std::string_view last = field[at + taken - 1];
    const char* dateEnd = last.data() + last.size();
    if (*dateEnd != ' ') continue;
    const char* name = SkipSpaces(dateEnd);
    if (!*name) continue;
    out.size = AtoLL(field[at - 1].data());
    CopyRange(out.date, sizeof out.date, field[at].data(), dateEnd);
    CopyText(out.name, sizeof out.name, name);
    return true;
  }
  return false;
}

// Whether a whole-field time of day lies among the first fields of the date
// that begins at date, so that a colon in the name is never taken for one;
// then where the date ends (null: nothing follows it). The walk may start the
// date at an owner or group, so a few fields more than a date's are looked at.
const char* TimeOfDayEnd(const char* date, bool& found) {
  found = false;
  const char* p = date;
  for (int field = 0; field < 5 && *p; ++field) {
    const char* end = p;
    while (*end && *end != ' ') ++end;
    if (IsClock(std::string_view(p, static_cast<std::size_t>(end - p)))) {
      found = true;
      return *end ? end : nullptr;
    }
    p = SkipSpaces(end);
  }
  return nullptr;
}

}  // namespace

void ParseListingLine(const char* line, ListingLine& out) {
  // Field by field: the name's buffer is large, and every output terminates it.
  out.size = 0;
  out.date[0] = '\0';
  out.name[0] = '\0';
  out.isFolder = line[0] == 'd' || line[0] == 'l';
  if (ParseLongLine(line, out)) return;
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

bool IsListedName(const char* name, bool isFolder) {
  if (name[0] == '\0' || name[0] == '.') return false;
  if (!isFolder) return true;
  if (std::strncmp(name, "0 ", 2) == 0 || std::strncmp(name, "1 ", 2) == 0 ||
      std::strstr(name, "..") != nullptr)
    return false;
  if (EqualNoCase(name, "home")) return false;
  return !(AtoL(name) > 1000 && std::strchr(name, '.') != nullptr);
}

void FilterListingLine(const char* line, ListingLine& out) {
  ParseListingLine(line, out);
  if (!IsListedName(out.name, out.isFolder)) out.name[0] = '\0';
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

std::vector<ListingEntry> BuildListing(std::string_view text) {
  std::vector<ListingEntry> nodes;
  ListingLine parsed;  // one for all lines: it is large
  ForEachListingPiece(text, [&](const char* line) {
    FilterListingLine(line, parsed);
    if (!parsed.name[0]) return;
    ListingEntry node;
    SetEntryName(node, parsed.name);
    node.isFolder = parsed.isFolder ? 1 : 0;
    node.isLink = line[0] == 'l' ? 1 : 0;
    if (!parsed.isFolder) {
      CopyText(node.date, sizeof node.date, parsed.date);
      node.size = parsed.size;
    }
    nodes.push_back(node);
  });
  return nodes;
}

}  // namespace qb

#include "net/mlsd_parser.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/text_helpers.h"
#include "net/listing_parser.h"
#include "net/name_charset.h"

namespace qb {

namespace {

enum class Kind { File, Folder, Link, Skipped };

// "file", "dir", the listing's own "cdir" and "pdir", and the links servers
// report as "OS.unix=slink:target" or "OS.unix=symlink". Links count as
// folders, as in a LIST; any other type is shown as a file.
Kind KindOf(std::string_view type) {
  if (EqualNoCase(type, "dir")) return Kind::Folder;
  if (EqualNoCase(type, "cdir") || EqualNoCase(type, "pdir")) return Kind::Skipped;
  constexpr std::string_view Os = "os.unix=";
  if (type.size() > Os.size() && EqualNoCase(type.substr(0, Os.size()), Os)) {
    const std::string_view rest = type.substr(Os.size());
    const std::string_view kind = rest.substr(0, rest.find(':'));
    if (EqualNoCase(kind, "slink") || EqualNoCase(kind, "symlink")) return Kind::Link;
  }
  return Kind::File;
}

// Digits only; saturated at INT64_MAX; nothing for an empty or non-numeric value.
std::optional<int64_t> SizeOf(std::string_view value) {
  if (value.empty()) return std::nullopt;
  uint64_t size = 0;
  constexpr uint64_t Most = uint64_t{INT64_MAX};
  for (const char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    size = size > (Most - digit) / 10 ? Most : size * 10 + digit;
  }
  return static_cast<int64_t>(size);
}

int Number(std::string_view digits) {
  int value = 0;
  for (const char c : digits) value = value * 10 + (c - '0');
  return value;
}

// "YYYYMMDDHHMMSS" with optional ".sss", UTC, as "YYYY-MM-DD HH:MM"; false
// (date left empty) for anything else.
bool WriteModify(std::string_view value, char (&date)[sizeof(ListingEntry::date)]) {
  if (value.size() < 14) return false;
  for (std::size_t i = 0; i < 14; ++i)
    if (value[i] < '0' || value[i] > '9') return false;
  if (value.size() > 14) {
    if (value[14] != '.' || value.size() == 15) return false;
    for (std::size_t i = 15; i < value.size(); ++i)
      if (value[i] < '0' || value[i] > '9') return false;
  }
  const int month = Number(value.substr(4, 2)), day = Number(value.substr(6, 2));
  const int hour = Number(value.substr(8, 2)), minute = Number(value.substr(10, 2));
  const int second = Number(value.substr(12, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
    return false;
  char* out = date;
  for (std::size_t i = 0; i < 12; ++i) {
    if (i == 4 || i == 6) *out++ = '-';
    if (i == 8) *out++ = ' ';
    if (i == 10) *out++ = ':';
    *out++ = value[i];
  }
  *out = '\0';
  return true;
}

// Where the facts end and the name begins: at the first space when the facts
// before it end with ';' as they should. Otherwise at the first "; " (a
// server that put a space in a value), and failing that at the first space (a
// server that left out the last ';').
std::size_t NameStart(std::string_view line, std::size_t& factsEnd) {
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return space;
  factsEnd = space;
  if (space == 0 || line[space - 1] == ';') return space + 1;
  const std::size_t split = line.find("; ", space);
  if (split != std::string_view::npos) {
    factsEnd = split + 1;
    return split + 2;
  }
  return space + 1;
}

}  // namespace

std::optional<ListingEntry> ReadMlsdLine(std::string_view line) {
  if (line.size() > ListingLineMax) return std::nullopt;
  if (line.find_first_of(std::string_view("\0\r", 2)) != std::string_view::npos)
    return std::nullopt;
  std::size_t factsEnd = 0;
  const std::size_t nameAt = NameStart(line, factsEnd);
  if (nameAt == std::string_view::npos || nameAt >= line.size()) return std::nullopt;
  const std::string_view name = line.substr(nameAt);
  // A path, not a name in this folder: commands built on it would leave it.
  if (name.find('/') != std::string_view::npos) return std::nullopt;

  Kind kind = Kind::File;
  std::optional<int64_t> size;
  std::string_view modify;
  std::string_view facts = line.substr(0, factsEnd);
  while (!facts.empty()) {
    const std::size_t end = facts.find(';');
    const std::string_view fact = facts.substr(0, end);
    facts = end == std::string_view::npos ? std::string_view() : facts.substr(end + 1);
    if (fact.empty()) continue;
    const std::size_t equals = fact.find('=');
    // Not a fact: a LIST line or noise on the data connection.
    if (equals == std::string_view::npos || equals == 0) return std::nullopt;
    const std::string_view key = fact.substr(0, equals), value = fact.substr(equals + 1);
    if (EqualNoCase(key, "type"))
      kind = KindOf(value);
    else if (EqualNoCase(key, "size"))
      size = SizeOf(value);
    else if (EqualNoCase(key, "modify"))
      modify = value;
  }
  if (kind == Kind::Skipped) return std::nullopt;

  const bool isFolder = kind == Kind::Folder || kind == Kind::Link;
  const std::string whole(name);
  if (!IsListedName(whole.c_str(), isFolder)) return std::nullopt;

  ListingEntry entry;
  entry.isFolder = isFolder ? 1 : 0;
  entry.isLink = kind == Kind::Link ? 1 : 0;
  SetEntryName(entry, whole);
  if (!isFolder) {
    entry.size = size.value_or(0);
    WriteModify(modify, entry.date);
  }
  return entry;
}

std::vector<ListingEntry> ReadMlsdListing(std::string_view text) {
  std::vector<ListingEntry> entries;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (auto entry = ReadMlsdLine(line)) entries.push_back(std::move(*entry));
    start = end + 1;
  }
  // MLSD comes in the folder's own order; sorted by name, it reads as the LIST
  // of the same servers does.
  std::stable_sort(
      entries.begin(), entries.end(),
      [](const ListingEntry& a, const ListingEntry& b) { return std::strcmp(a.name, b.name) < 0; });
  return entries;
}

}  // namespace qb

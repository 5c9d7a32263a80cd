#pragma once
// One explored site as the command-line program prints it: a JSON object per
// line, or tab-separated lines. Names come from untrusted servers, so every
// text is escaped; invalid UTF-8 becomes U+FFFD.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

struct RecordEntry {
  std::string name;
  int64_t size = 0;
  std::string date;
  bool folder = false;
};

struct SiteRecord {
  std::string url;  // as the site table keeps it; printed escaped
  int status = 0;   // the site table's SiteStatus
  std::string statusText;
  std::string testedFile;
  std::vector<RecordEntry> entries;
};

// "ok", "failed", "refused", "waiting", "exploring".
const char* StatusName(int status);

// text as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

// text as one TSV field: tabs, line breaks and backslashes as \t, \n, \r, \\,
// any other control as TerminalText writes it.
std::string TsvField(std::string_view text);

// The escaped URL of name inside folder, a path relative to the site at
// siteUrl (kept form) such as "pub/linux/": each of its segments escaped as a
// name is. A folder's ends with '/'; an empty name gives the folder's own.
std::string FolderEntryUrl(std::string_view siteUrl, std::string_view folder, std::string_view name,
                           bool isFolder);

// One line, "\n" included.
std::string JsonLine(const SiteRecord& site);

// One line per entry (one with empty entry fields when there is none): url,
// status, status text, tested file, name, size, date, folder (0/1). Tabs, line
// breaks and backslashes in fields are written as \t, \n, \r and \\, other
// controls as U+FFFD.
std::string TsvLines(const SiteRecord& site);

}  // namespace qb

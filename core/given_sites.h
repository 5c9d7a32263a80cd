#pragma once
// Sites a user names directly (command line, a running program's second start):
// an ftp:// URL, or a host name alone meaning its root folder.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// The site URL a line names, surrounding blanks ignored; none for an empty line,
// another scheme, or a text with blanks or control characters inside.
std::optional<std::string> GivenSiteUrl(std::string_view line);

// The sites of a pasted or loaded text, one a line, blank lines skipped, and a
// problem per line that names none ("line 3: not an FTP address: http://x").
struct GivenSitesText {
  std::vector<std::string> urls;
  std::vector<std::string> problems;
};
GivenSitesText ParseGivenSites(std::string_view text);

// Adds each URL to the site table as a search result would be; the number added.
int AddGivenSites(const std::vector<std::string>& urls);

}  // namespace qb

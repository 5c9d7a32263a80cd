#pragma once
// Sites a user names directly (command line, a running program's second start,
// Add sites): an ftp:// URL, or a host name alone meaning its root folder, each
// read as ReadSiteUrl reads it.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// The site URL a line names (its kept, decoded form); none for an empty line or
// one that names no site.
std::optional<std::string> GivenSiteUrl(std::string_view line);

// One line read: its URL, or what is wrong with it and its text, shortened for
// a message ("not an FTP address: http://x"); both empty for a blank line.
struct GivenSite {
  std::optional<std::string> url;
  std::string problem;
};
GivenSite ReadGivenSite(std::string_view line);

// The sites of a pasted or loaded text, one a line, blank lines skipped, and a
// problem per line that names none ("line 3: not an FTP address: http://x").
struct GivenSitesText {
  std::vector<std::string> urls;
  std::vector<std::string> problems;
};
GivenSitesText ParseGivenSites(std::string_view text);

// Adds each URL (in the form GivenSiteUrl gives) to the site table as a search
// result would be; the number added.
int AddGivenSites(const std::vector<std::string>& urls);

}  // namespace qb

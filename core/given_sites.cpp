#include "core/given_sites.h"

#include "core/site_table.h"
#include "core/url_text.h"

namespace qb {

std::optional<std::string> GivenSiteUrl(std::string_view line) {
  ReadUrl read = ReadSiteUrl(line);
  if (read.url.empty()) return std::nullopt;
  return std::move(read.url);
}

GivenSite ReadGivenSite(std::string_view line) {
  ReadUrl read = ReadSiteUrl(line);
  if (!read.url.empty()) return {std::move(read.url), {}};
  if (read.problem.empty()) return {};
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
  // Long enough to recognise, short enough for a message box.
  constexpr std::size_t Shown = 80;
  std::string shown(line.substr(0, Shown));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7f) c = '?';
  }
  if (line.size() > Shown) shown += "...";
  return {std::nullopt, read.problem + ": " + shown};
}

GivenSitesText ParseGivenSites(std::string_view text) {
  GivenSitesText parsed;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    GivenSite site = ReadGivenSite(line);
    if (site.url) {
      parsed.urls.push_back(std::move(*site.url));
    } else if (!site.problem.empty()) {
      parsed.problems.push_back("line " + std::to_string(number) + ": " + site.problem);
    }
  }
  return parsed;
}

int AddGivenSites(const std::vector<std::string>& urls) {
  int count = 0;
  for (std::string url : urls) {
    // Checked again here: a later start's lines arrive through a socket. Read
    // again as it was given, decoded already, it would be decoded twice; written
    // out and read back it must come back the same.
    if (ReadSiteUrl(EscapeUrl(url)).url != url) continue;
    bool added = false;
    AddUniqueSite(url, added, true);
    if (added) ++count;
  }
  return count;
}

}  // namespace qb

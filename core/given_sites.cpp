#include "core/given_sites.h"

#include "core/site_table.h"
#include "core/text_helpers.h"

namespace qb {

std::optional<std::string> GivenSiteUrl(std::string_view line) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  if (line.empty()) return std::nullopt;
  for (const char c : line) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return std::nullopt;
  }
  const std::size_t scheme = line.find("://");
  if (scheme == std::string_view::npos) {
    if (line.find('/') == 0) return std::nullopt;
    // A host alone, maybe with a path: its folder on an FTP server.
    std::string url = "ftp://" + std::string(line);
    if (line.find('/') == std::string_view::npos) url += '/';
    return url;
  }
  std::string lower;
  for (std::size_t i = 0; i < scheme; ++i) lower += AsciiLower(line[i]);
  if (lower != "ftp" || line.size() == scheme + 3 || line[scheme + 3] == '/') return std::nullopt;
  std::string url = "ftp://" + std::string(line.substr(scheme + 3));
  if (url.find('/', 6) == std::string::npos) url += '/';
  return url;
}

GivenSitesText ParseGivenSites(std::string_view text) {
  GivenSitesText parsed;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    if (std::optional<std::string> url = GivenSiteUrl(line)) {
      parsed.urls.push_back(std::move(*url));
      continue;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    // Long enough to recognise, short enough for a message box.
    constexpr std::size_t Shown = 80;
    std::string shown(line.substr(0, Shown));
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) < ' ' || c == 0x7f) c = '?';
    }
    if (line.size() > Shown) shown += "...";
    parsed.problems.push_back("line " + std::to_string(number) + ": not an FTP address: " + shown);
  }
  return parsed;
}

int AddGivenSites(const std::vector<std::string>& urls) {
  int count = 0;
  for (const std::string& given : urls) {
    // Checked again here: a later start's lines arrive through a socket.
    std::optional<std::string> url = GivenSiteUrl(given);
    if (!url) continue;
    bool added = false;
    AddUniqueSite(*url, added, true);
    if (added) ++count;
  }
  return count;
}

}  // namespace qb

// Site lines a user gives on the command line or a later start passes on:
// each line's URL, then all of them added to the table.
#include <string>
#include <string_view>
#include <vector>

#include "core/given_sites.h"
#include "core/site_table.h"
#include "core/url_text.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/table_check.h"

using namespace qb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at <= input.size();) {
    const std::size_t end = std::min(input.find('\n', at), input.size());
    lines.emplace_back(input.substr(at, end - at));
    at = end + 1;
  }
  std::vector<std::string> urls;
  for (const std::string& line : lines) {
    const std::optional<std::string> url = GivenSiteUrl(line);
    if (!url) continue;
    urls.push_back(*url);
    FUZZ_CHECK(url->rfind("ftp://", 0) == 0);
    FUZZ_CHECK(url->size() > 6 && url->find('/', 6) != std::string::npos);
    // "ftp://", a closing "/", and the user part's "@", ":" and "/" kept escaped.
    FUZZ_CHECK(url->size() <= 3 * line.size() + 7);
    for (const char c : *url) FUZZ_CHECK(static_cast<unsigned char>(c) >= ' ' && c != 0x7f);
    // Written out for another program and read back, it names the same site.
    const std::string link = EscapeUrl(*url);
    for (const char c : link) FUZZ_CHECK(c > ' ' && c < 0x7f);
    FUZZ_CHECK(GivenSiteUrl(link) == url);
  }
  ResetSites();
  // A later start hands over URLs as read; the raw lines go too, as a socket may bring anything.
  lines.insert(lines.end(), urls.begin(), urls.end());
  const int added = AddGivenSites(lines);
  FUZZ_CHECK(added >= 0 && added <= static_cast<int>(lines.size()));
  FUZZ_CHECK(SiteTable.count == added);
  qbfuzz::CheckSiteTable();
  return 0;
}

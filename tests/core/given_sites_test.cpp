#include "core/given_sites.h"

#include <gtest/gtest.h>

#include "core/site_table.h"

using namespace qb;

namespace {

TEST(GivenSiteUrl, UrlsAndHostsBecomeFoldersOtherTextIsRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"ftp://ftp.example.org/pub/", "ftp://ftp.example.org/pub/"},
      {"  FTP://Host.Example/pub\r\n", "ftp://Host.Example/pub"},
      {"ftp://host", "ftp://host/"},
      {"ftp://[::1]:2121", "ftp://[::1]:2121/"},
      {"ftp.example.org", "ftp://ftp.example.org/"},
      {"ftp.example.org/pub/", "ftp://ftp.example.org/pub/"},
      {"", nullptr},
      {"   ", nullptr},
      {"http://example.org/", nullptr},
      {"ftp://", nullptr},
      {"ftp:///pub/", nullptr},
      {"/pub/", nullptr},
      {"two words", nullptr},
      {"host\x01", nullptr},
  };
  for (const auto& [line, url] : cases) {
    SCOPED_TRACE(line);
    const std::optional<std::string> got = GivenSiteUrl(line);
    if (url) {
      ASSERT_TRUE(got.has_value());
      EXPECT_EQ(*got, url);
    } else {
      EXPECT_FALSE(got.has_value()) << *got;
    }
  }
}

TEST(AddGivenSites, AddsEachSiteOnceAsASearchWould) {
  ResetSites();
  // Lines from another process are checked as the command line is.
  EXPECT_EQ(AddGivenSites({"ftp://a.example/pub/", "ftp://b.example/", "ftp://A.example/pub/",
                           "http://c.example/", "ftp://d.example/a b", ""}),
            2);
  EXPECT_EQ(SiteTable.count, 2);
  EXPECT_EQ(SiteAt(0)->status, Waiting);
  ResetSites();
}

}  // namespace

namespace {

TEST(ParseGivenSites, GoodLinesKeptAndEachBadLineNamed) {
  const GivenSitesText parsed = ParseGivenSites(
      "ftp://a.example/pub/\r\n\n  b.example  \nhttp://x\n\twith tab\x01\nc.example/dir/");
  EXPECT_EQ(parsed.urls, (std::vector<std::string>{"ftp://a.example/pub/", "ftp://b.example/",
                                                   "ftp://c.example/dir/"}));
  EXPECT_EQ(parsed.problems, (std::vector<std::string>{"line 4: not an FTP address: http://x",
                                                       "line 5: not an FTP address: ?with tab?"}));
  const GivenSitesText longLine = ParseGivenSites("gopher://" + std::string(200, 'x'));
  ASSERT_EQ(longLine.problems.size(), 1u);
  EXPECT_EQ(longLine.problems[0].size(), std::string("line 1: not an FTP address: ").size() + 83);
}

}  // namespace

// Mirror lists read into sites: the testbed's copies of the real formats.
#include "search/site_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "core/ini_file.h"

namespace {

std::string MirrorFile(const char* name) {
  const char* source = std::getenv("QB_SOURCE_DIR");
  return std::string(source ? source : ".") + "/testbed/mirrors/" + name;
}

TEST(ReadSiteList, TestbedCopiesGiveTheirFtpSites) {
  struct Case {
    const char* file;
    std::vector<std::string> sites;
  };
  const std::vector<Case> cases = {
      {"gentoo-distfiles.xml",
       {"ftp://127.0.0.2:2121/pub/linux/", "ftp://ftp.example.de/pub/gentoo/",
        "ftp://127.0.0.3:2121/mirror/games/", "ftp://mirror.example.edu/gentoo/",
        "ftp://127.0.0.5:2121/pub/software/", "ftp://ftp.example.jp/pub/Linux/Gentoo/"}},
      {"slackware-mirrors",
       {"ftp://ftp.example.net.au/pub/slackware/slackware64-current/",
        "ftp://127.0.0.6:2121/files/drivers/", "ftp://127.0.0.2:2121/pub/players/",
        "ftp://ftp.example.de/pub/linux/slackware/slackware64-current/",
        "ftp://127.0.0.5:2121/mp3-archive/", "ftp://127.0.0.3:2121/mirror/old music/"}},
      {"gnu-ftp.html",
       {"ftp://127.0.0.2:2121/pub/docs/", "ftp://ftp.example.co.za/mirrors/gnu/",
        "ftp://ftp.example.jp/pub/GNU/", "ftp://127.0.0.6:2121/files/music/",
        "ftp://ftp.example.de/gnu/", "ftp://127.0.0.3:2121/mirror/video/",
        "ftp://127.0.0.5:2121/pub/video/", "ftp://mirrors.example.edu/gnu/"}},
      {"ctan-mirrors.html",
       {"ftp://ftp.example.de/pub/tex/", "ftp://127.0.0.4:2121/pub/tools/",
        "ftp://127.0.0.3:2121/mirror/music/", "ftp://mirror.example.edu/ctan/",
        "ftp://127.0.0.6:2121/files/players/", "ftp://mirrors.example.cn/CTAN/",
        "ftp://127.0.0.2:2121/pub/music/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string page = qb::IniFileText(MirrorFile(c.file));
    ASSERT_FALSE(page.empty());
    const qb::SiteListSites read = qb::ReadSiteList(page);
    EXPECT_EQ(read.sites, c.sites);
    EXPECT_FALSE(read.truncated);
  }
}

TEST(ReadSiteList, BoundedAndOnceEach) {
  std::string page;
  for (int i = 0; i < 6000; ++i) page += "ftp://h" + std::to_string(i) + ".example.org/pub/\n";
  page = "ftp://H0.example.org/pub/file.tar.gz\n" + page;  // the first one again
  const qb::SiteListSites read = qb::ReadSiteList(page);
  ASSERT_EQ(read.sites.size(), qb::MaxListSites);
  EXPECT_TRUE(read.truncated);
  EXPECT_EQ(read.sites.front(), "ftp://H0.example.org/pub/");
  EXPECT_EQ(read.sites[1], "ftp://h1.example.org/pub/");
  EXPECT_EQ(read.sites.back(), "ftp://h4999.example.org/pub/");

  // Exactly the bound is not a truncated list.
  std::string full;
  for (int i = 0; i < 5000; ++i) full += "ftp://h" + std::to_string(i) + ".example.org/\n";
  EXPECT_FALSE(qb::ReadSiteList(full + full).truncated);
  EXPECT_TRUE(
      qb::ReadSiteList("no sites, only https://a.example.org/ and rsync://b/").sites.empty());
}

TEST(BuiltinSiteLists, UsableDefinitionsOfTheirOwnNames) {
  std::set<std::string> names;
  for (const qb::EngineDef& list : qb::BuiltinSiteLists()) {
    SCOPED_TRACE(list.name);
    EXPECT_EQ(list.kind, qb::EngineKind::SiteList);
    EXPECT_EQ(qb::EngineDefProblems(list), std::vector<std::string>{});
    EXPECT_TRUE(names.insert(list.name).second);
    for (const qb::EngineDef& engine : qb::BuiltinEngines()) EXPECT_NE(engine.name, list.name);
  }
  EXPECT_EQ(names.size(), 8u);
}

}  // namespace

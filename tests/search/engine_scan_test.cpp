#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "search/engine.h"
#include "search/search_view.h"
#include "tests/search/scanned_page.h"

using namespace qb;

namespace {

enum { Anchor, ClassLs, Form, Advanced, Path };

using qbtest::Scanned;

Scanned Scan(int engine, std::string page) {
  return qbtest::ScanPage(BuiltinEngines()[engine], std::move(page));
}

TEST(EngineTable, OrderIdsAndPaging) {
  using Row = std::array<int, 8>;  // first, step, box, list, results, sites, done, fail
  const std::pair<const char*, Row> rows[] = {
      {"AnchorEngine", {0, 20, 101, 104, 1200, 1300, 240, 110}},
      {"ClassLsEngine", {1, 50, 103, 121, 1400, 1500, 242, 112}},
      {"FormEngine", {0, 20, 800, 114, 1600, 106, 241, 111}},
      {"AdvancedEngine", {0, 15, 187, 128, 123, 124, 108, 113}},
      {"PathEngine", {1, 20, 118, 122, 116, 117, 125, 115}},
  };
  const char* stops[] = {"", "", "</FORM>", "Copyright", ""};
  // Without an engine file the set is the built-ins, each with its own controls.
  SetActiveEngines(BuiltinEngines());
  const auto active = ActiveEngines();
  ASSERT_EQ(active->size(), static_cast<std::size_t>(EngineCount));
  for (int i = 0; i < EngineCount; ++i) {
    const EngineDef& e = (*active)[i].def;
    const EngineControls& c = (*active)[i].controls;
    EXPECT_EQ(e.name, rows[i].first);
    EXPECT_TRUE(e.host.ends_with(".invalid")) << e.name;
    EXPECT_EQ((Row{e.firstPage, e.pageStep, c.checkBox, c.foundList, c.resultsCounter,
                   c.newSitesCounter, c.doneMark, c.failMark}),
              rows[i].second)
        << e.name;
    EXPECT_EQ(e.stop, stops[i]) << e.name;
    EXPECT_EQ(e.pageLimit, 0) << e.name;
    EXPECT_TRUE(e.noMore.empty() && e.begin.empty() && e.end.empty()) << e.name;
  }
}

TEST(EngineRequestUrl, FillsTermAndPageValue) {
  EXPECT_EQ(EngineRequestFor(BuiltinEngines()[Anchor], "h:81", "a+b", 40).url,
            "http://h:81/s/s?q=a+b&cl=1&skip=40");
  EXPECT_EQ(EngineRequestFor(BuiltinEngines()[ClassLs], "h", "x", 51).url,
            "http://h/cgi-bin/s?q=x&m=50&f=51");
  EXPECT_EQ(EngineRequestFor(BuiltinEngines()[Form], "h", "x", 0).url, "http://h/s.php3?q=x&X=0");
  EXPECT_EQ(EngineRequestFor(BuiltinEngines()[Path], "h", "x", 21).url,
            "http://h/ls?pattern=x&a=21");
  const std::string advanced = EngineRequestFor(BuiltinEngines()[Advanced], "h", "t%25", 15).url;
  EXPECT_TRUE(advanced.starts_with("http://h/swadv/AdvResults.asp?form=advanced&query=t%25&type="));
  EXPECT_TRUE(advanced.ends_with("&trlen=20&offset=15"));
  // A term holding a format directive stays text.
  EXPECT_EQ(EngineRequestFor(BuiltinEngines()[Path], "h", "%s%i", 1).url,
            "http://h/ls?pattern=%s%i&a=1");
}

struct ScanCase {
  const char* name;
  int engine;
  std::string page;
  std::vector<std::string> urls;
  int results;
  bool noFurtherMarker;
};

TEST(ScanEnginePage, ResultRules) {
  const std::string longFolder = std::string(300, 'a');
  const std::string longName = std::string(300, 'b') + ".zip";
  const std::string tooLong = std::string(460, 'c');
  const ScanCase cases[] = {
      // Anchor and Form: quoted ftp:// URL, cut back to its folder.
      {"anchor file", Anchor, "<a href=\"ftp://h/pub/file.zip\">f</a>", {"ftp://h/pub/"}, 1, true},
      {"anchor folder", Anchor, "<a href=\"ftp://h/pub/\">", {"ftp://h/pub/"}, 1, true},
      {"anchor decoded", Anchor, "<a href=\"ftp://h/pub%20x/a.txt\">", {"ftp://h/pub x/"}, 1, true},
      {"anchor two",
       Anchor,
       "<a href=\"ftp://h/a/1\">x<a href=\"ftp://g/b/2\">",
       {"ftp://h/a/", "ftp://g/b/"},
       2,
       true},
      {"anchor unclosed counts",
       Anchor,
       "<a href=\"ftp://h/a/1\"><a href=\"ftp://g/b/2",
       {"ftp://h/a/"},
       2,
       false},
      {"anchor case matters", Anchor, "<A HREF=\"ftp://h/a/1\">", {}, 0, true},
      {"anchor no marker", Anchor, "<html>nothing found</html>", {}, 0, true},
      {"anchor without path is the top folder",
       Anchor,
       "<a href=\"ftp://h\">",
       {"ftp://h"},
       1,
       true},
      {"anchor host only with port",
       Anchor,
       "<a href=\"ftp://u:p@h:2121\">",
       {"ftp://u:p@h:2121"},
       1,
       true},
      {"anchor no host skipped",
       Anchor,
       "<a href=\"ftp://\"><a href=\"ftp:///x/y\"><a href=\"ftp://%2Fz/\">",
       {},
       3,
       true},
      {"anchor long kept whole",
       Anchor,
       "<a href=\"ftp://h/" + tooLong + "/f.zip\">",
       {"ftp://h/" + tooLong + "/"},
       1,
       true},
      {"form file", Form, "<TR><A HREF=\"ftp://h/d/f.zip\">f</A></FORM>", {"ftp://h/d/"}, 1, true},
      {"form long folder",
       Form,
       "<A HREF=\"ftp://h/" + longFolder + "/" + longName + "\">",
       {"ftp://h/" + longFolder + "/"},
       1,
       true},
      // Only 449 characters are copied, so the cut finds the host's slash.
      {"form cut at 449",
       Form,
       "<A HREF=\"ftp://h/" + tooLong + "/f.zip\">",
       {"ftp://h/"},
       1,
       true},
      {"form unclosed counts", Form, "<A HREF=\"ftp://h/d/f.zip", {}, 1, false},
      // ClassLs: q= text up to " class", never cut.
      {"classls",
       ClassLs,
       "<td class=ls><a href=/cgi-bin/d?q=h/pub/f.zip class=dir>",
       {"ftp://h/pub/f.zip"},
       1,
       true},
      {"classls decoded",
       ClassLs,
       "class=ls q=h/a%20b/ class=x class=ls q=g/ class=y",
       {"ftp://h/a b/", "ftp://g/"},
       2,
       true},
      // The scan goes on 4 characters into " class", past an adjacent "class=ls".
      {"classls adjacent",
       ClassLs,
       "class=ls q=h/a/ class=ls q=g/b/ class=x",
       {"ftp://h/a/"},
       1,
       true},
      {"classls no q", ClassLs, "<td class=ls>nothing", {}, 0, false},
      {"classls no end counts", ClassLs, "class=ls q=h/a/", {}, 1, false},
      {"classls cut at 449",
       ClassLs,
       "class=ls q=" + tooLong + " class",
       {"ftp://" + tooLong.substr(0, 443)},
       1,
       true},
      // Advanced: ;oquery= text up to the quote, never cut.
      {"advanced",
       Advanced,
       "<a href=\"/swadv/B.asp?form=dir;oquery=h/pub/f.zip\">",
       {"ftp://h/pub/f.zip"},
       1,
       true},
      {"advanced unclosed not counted",
       Advanced,
       "<a href=\"x;oquery=h/a/\">;oquery=g/b/",
       {"ftp://h/a/"},
       1,
       false},
      // Path: text up to "&", cut only when the page calls it a file.
      {"path file",
       Path,
       "<a href=\"/get?path=h/dir/f.txt&v=1\"><img src=file.gif>",
       {"ftp://h/dir/"},
       1,
       true},
      {"path folder first",
       Path,
       "path=h/dir/f.txt&v=1 folder.gif then file.gif",
       {"ftp://h/dir/f.txt"},
       1,
       true},
      {"path neither", Path, "path=h/dir/f.txt&v=1", {"ftp://h/dir/f.txt"}, 1, true},
      {"path file without folder", Path, "path=h/d/x&v file.gif", {"ftp://h/d/"}, 1, true},
      {"path folder text ends in slash", Path, "path=h/d/&v file.gif", {"ftp://h/d/"}, 1, true},
      {"path mixed",
       Path,
       "path=h/a/x.txt&1 file.gif path=h/b/y&2 folder.gif path=h/c/z.txt&3 file.gif",
       {"ftp://h/a/", "ftp://h/b/y", "ftp://h/c/"},
       3,
       true},
      {"path file marker before this result does not count",
       Path,
       "file.gif path=h/a/x.txt&1 folder.gif",
       {"ftp://h/a/x.txt"},
       1,
       true},
      {"path no ampersand", Path, "path=h/a/x.txt", {}, 0, false},
  };
  for (const ScanCase& c : cases) {
    const Scanned got = Scan(c.engine, c.page);
    EXPECT_EQ(got.urls, c.urls) << c.name;
    EXPECT_EQ(got.result.results, c.results) << c.name;
    EXPECT_EQ(got.result.noFurtherMarker, c.noFurtherMarker) << c.name;
  }
}

// Pages stitched from marker fragments: every scan must end, stay inside the page
// (checked by the sanitizer builds), count at least what it hands on, and hand on
// only ftp:// URLs with a host.
TEST(ScanEnginePage, ArbitraryPagesKeepTheInvariants) {
  const std::vector<std::string> pieces = {"<a href=\"ftp://",
                                           "HREF=\"ftp://",
                                           "class=ls",
                                           "q=",
                                           " class",
                                           ";oquery=",
                                           "path=",
                                           "&",
                                           "\"",
                                           "/",
                                           "%",
                                           "%2",
                                           "%20",
                                           "%00",
                                           "file.",
                                           "folder.",
                                           "h",
                                           "x.zip",
                                           std::string(200, 'y'),
                                           "ftp://",
                                           " "};
  std::mt19937 random(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string page;
    const int count = static_cast<int>(random() % 40);
    for (int i = 0; i < count; ++i) page += pieces[random() % pieces.size()];
    for (int engine = 0; engine < EngineCount; ++engine) {
      const Scanned got = Scan(engine, page);
      EXPECT_GE(got.result.results, static_cast<int>(got.urls.size()));
      for (const std::string& url : got.urls) {
        ASSERT_TRUE(url.starts_with("ftp://")) << url;
        ASSERT_GT(url.size(), 6u);
        ASSERT_NE(url[6], '/') << url;
        if (engine != Anchor) {
          ASSERT_LE(url.size(), 449u) << url;
        }
      }
    }
  }
}

}  // namespace

// The Json rule: items under a dotted path made sites by a template, the
// cursor of the next page, and answers that are not what they claim.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "search/engine.h"
#include "search/json_rule.h"
#include "tests/search/scanned_page.h"

using namespace qb;

namespace {

EngineDef JsonEngine(const char* items, const char* site, const char* nextFrom = "") {
  EngineDef e;
  e.name = "j";
  e.url = "https://x/?q={term}";
  e.rule = ResultRule::Json;
  e.items = items;
  e.site = site;
  e.nextFrom = nextFrom;
  return e;
}

using qbtest::Scanned;

Scanned Scan(const EngineDef& engine, std::string page) {
  return qbtest::ScanPage(engine, std::move(page));
}

}  // namespace

TEST(JsonRule, TheThreeShapesGiveTheirSitesCutToTheFolder) {
  const Scanned devices = Scan(JsonEngine("matches", "ftp://{ip_str}:{port}/"),
                               R"({"matches":[{"ip_str":"127.0.0.1","port":2121},)"
                               R"({"ip_str":"10.0.0.2","port":21,"x":[1,{"y":2}]}],"total":2})");
  EXPECT_EQ(devices.urls,
            (std::vector<std::string>{"ftp://127.0.0.1:2121/", "ftp://10.0.0.2:21/"}));
  EXPECT_EQ(devices.result.results, 2);
  EXPECT_TRUE(devices.result.cursor.empty());

  const Scanned cursor = Scan(JsonEngine("result.hits", "ftp://{ip}/", "result.links.next"),
                              R"({"result":{"hits":[{"ip":"a.example"}],"links":{"next":"abc"}}})");
  EXPECT_EQ(cursor.urls, std::vector<std::string>{"ftp://a.example/"});
  EXPECT_EQ(cursor.result.cursor, "abc");
  EXPECT_TRUE(Scan(JsonEngine("result.hits", "ftp://{ip}/", "result.links.next"),
                   R"({"result":{"hits":[],"links":{"next":""}}})")
                  .result.cursor.empty());

  const Scanned elastic = Scan(JsonEngine("hits.hits", "{_source.url}"),
                               R"({"hits":{"hits":[{"_source":{"url":"FTP://h/pub/f%20g.iso"}},)"
                               R"({"_source":{"url":"ftp://h/pub/"}}]}})");
  EXPECT_EQ(elastic.urls, (std::vector<std::string>{"ftp://h/pub/", "ftp://h/pub/"}));

  const Scanned top = Scan(JsonEngine("", "{u}"), R"([{"u":"ftp://t/a b/c"}])");
  EXPECT_EQ(top.urls, std::vector<std::string>{"ftp://t/a b/"});
}

TEST(JsonRule, ItemsWithoutAnFtpSiteAreCountedAndSkipped) {
  const Scanned mixed = Scan(JsonEngine("m", "ftp://{ip}:{port}/"),
                             R"({"m":[{"ip":"ok.example","port":21},{"ip":"no-port"},)"
                             R"({"ip":["a"],"port":21},{"ip":null,"port":21},7,"s",)"
                             R"({"ip":"","port":21}]})");
  EXPECT_EQ(mixed.urls, std::vector<std::string>{"ftp://ok.example:21/"});
  EXPECT_EQ(mixed.result.results, 7);
  // A field that is itself a URL of another scheme is no site.
  EXPECT_TRUE(
      Scan(JsonEngine("m", "{u}"), R"({"m":[{"u":"http://w/"},{"u":"sftp://s/"}]})").urls.empty());
  // Items that are not an array, or a path that is missing: no result at all.
  EXPECT_EQ(Scan(JsonEngine("m", "{u}"), R"({"m":{"u":"ftp://x/"}})").result.results, 0);
  EXPECT_EQ(Scan(JsonEngine("nope.deeper", "{u}"), R"({"m":[]})").result.results, 0);
}

TEST(JsonRule, BrokenTruncatedAndDeepAnswersEndWithoutResults) {
  const EngineDef engine = JsonEngine("m", "{u}", "n");
  for (const std::string& page :
       {std::string(R"({"m":[{"u":"ftp://x/"})"), std::string("<html>ftp://x/</html>"),
        std::string(), std::string(R"({"m":[{"u":"ftp://x/\ud800"}],"n":"c")") + "\xff"}) {
    const Scanned s = Scan(engine, page);
    EXPECT_TRUE(s.urls.empty()) << page;
    EXPECT_TRUE(s.result.cursor.empty()) << page;
  }
  const std::string deep = R"({"m":[{"u":"ftp://d/"}],"z":)" + std::string(JsonDepthMax, '[') +
                           std::string(JsonDepthMax, ']') + "}";
  EXPECT_TRUE(Scan(engine, deep).urls.empty());
  // Brackets inside strings are not nesting.
  const std::string quoted =
      R"({"m":[{"u":"ftp://q/"}],"n":")" + std::string(200, '[') + R"(\"["})";
  const Scanned q = Scan(engine, quoted);
  EXPECT_EQ(q.urls, std::vector<std::string>{"ftp://q/"});
  EXPECT_EQ(q.result.cursor, std::string(200, '[') + "\"[");
  // A numeric cursor is its text.
  EXPECT_EQ(Scan(engine, R"({"m":[],"n":40})").result.cursor, "40");
}

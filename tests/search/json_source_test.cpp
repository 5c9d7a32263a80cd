// JSON sources over loopback HTTP: the three answer shapes, paging by cursor,
// a Retry-After heeded and bounded, and keys that never show in what a
// failure tells.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/settings.h"
#include "search/engine_pages.h"
#include "search/json_rule.h"
#include "search/key_mask.h"
#include "search/site_list.h"
#include "tests/support/http_test_server.h"

using namespace qb;
using qbtest::HttpReply;
using qbtest::HttpTestServer;

namespace {

constexpr char Key[] = "s3cr+t/Key";

HttpReply Json(const std::string& body, int status = 200) {
  return HttpReply::Raw("HTTP/1.1 " + std::to_string(status) +
                        " X\r\nContent-Type: application/json\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

KeyLookup Keys() {
  return [](const std::string&) -> std::optional<std::string> { return std::string(Key); };
}

class JsonSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Listening());
    savedPause_ = Settings.EnginePause;
    Settings.EnginePause = 0;
  }
  void TearDown() override { Settings.EnginePause = savedPause_; }
  std::vector<std::string> Ask(const EngineDef& e, EnginePagesEnd* end = nullptr) {
    std::vector<std::string> sites;
    EnginePageHooks hooks;
    hooks.keys = Keys();
    hooks.found = [&](std::string& site) { sites.push_back(site); };
    const EnginePagesEnd got = AskEnginePages(e, "x", 0, hooks);
    if (end) *end = got;
    return sites;
  }
  // A source of one JSON page at target, served by server_.
  EngineDef OnePage(const std::string& name, const std::string& target, const std::string& items,
                    const std::string& site) {
    EngineDef e;
    e.name = name;
    e.url = server_.Url(target);
    e.pageLimit = 1;
    e.rule = ResultRule::Json;
    e.items = items;
    e.site = site;
    return e;
  }
  HttpTestServer server_;
  int32_t savedPause_ = 0;
};

}  // namespace

TEST_F(JsonSourceTest, NumberedCursorAndPostedAnswersGiveTheirSites) {
  EngineDef devices;
  devices.name = "Devices";
  devices.url = server_.Url("/d?q={term}&page={page}");
  devices.firstPage = 1;
  devices.rule = ResultRule::Json;
  devices.items = "matches";
  devices.site = "ftp://{ip_str}:{port}/";
  devices.header = "X-Api-Key: {key}";
  server_.Serve("/d?q=x&page=1",
                Json(R"({"matches":[{"ip_str":"127.0.0.1","port":2121}],"total":2})"));
  server_.Serve("/d?q=x&page=2",
                Json(R"({"matches":[{"ip_str":"127.0.0.2","port":21}],"total":2})"));
  server_.Serve("/d?q=x&page=3", Json(R"({"matches":[],"total":2})"));
  EXPECT_EQ(Ask(devices),
            (std::vector<std::string>{"ftp://127.0.0.1:2121/", "ftp://127.0.0.2:21/"}));
  ASSERT_FALSE(server_.Requests().empty());
  EXPECT_NE(server_.Requests()[0].find(std::string("X-Api-Key: ") + Key), std::string::npos);

  EngineDef cursor = devices;
  cursor.name = "Cursor";
  cursor.header.clear();
  cursor.url = server_.Url("/c?q={term}&next={cursor}");
  cursor.items = "result.hits";
  cursor.site = "ftp://{ip}/";
  cursor.nextFrom = "result.links.next";
  server_.Serve("/c?q=x&next=",
                Json(R"({"result":{"hits":[{"ip":"a.example"}],"links":{"next":"abc"}}})"));
  server_.Serve("/c?q=x&next=abc",
                Json(R"({"result":{"hits":[{"ip":"b.example"}],"links":{"next":""}}})"));
  const std::size_t before = server_.Targets().size();
  EXPECT_EQ(Ask(cursor), (std::vector<std::string>{"ftp://a.example/", "ftp://b.example/"}));
  EXPECT_EQ(server_.Targets().size() - before, 2u);  // an empty next ends it

  EngineDef elastic;
  elastic.name = "Elastic";
  elastic.url = server_.Url("/idx/_search");
  elastic.method = "POST";
  elastic.contentType = "application/json";
  elastic.body = R"({"query":{"match":{"name":"{jsonterm}"}}})";
  elastic.pageLimit = 1;
  elastic.rule = ResultRule::Json;
  elastic.items = "hits.hits";
  elastic.site = "{_source.url}";
  server_.Serve("/idx/_search", Json(R"({"hits":{"hits":[{"_source":{"url":"ftp://h/pub/f"}}]}})"));
  EXPECT_EQ(Ask(elastic), std::vector<std::string>{"ftp://h/pub/"});
  EXPECT_EQ(server_.Requests().back().rfind("POST /idx/_search", 0), 0u);
}

// A list behind a key is asked with the key the lookup gives, not refused.
TEST_F(JsonSourceTest, AKeyedSiteListIsAskedWithItsKey) {
  EngineDef list;
  list.name = "Keyed";
  list.kind = EngineKind::SiteList;
  list.url = server_.Url("/list");
  list.header = "X-Key: {key}";
  list.pageLimit = 1;
  server_.Serve("/list", Json(R"(<a href="ftp://mirror.example/pub/">m</a>)"));
  const FetchedSiteList got = FetchSiteList(list, Keys());
  EXPECT_EQ(got.problem, "");
  EXPECT_EQ(got.sites.sites, std::vector<std::string>{"ftp://mirror.example/pub/"});
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_NE(server_.Requests()[0].find(std::string("X-Key: ") + Key), std::string::npos);
  EXPECT_EQ(FetchSiteList(list, {}).problem, "Keyed: no key");
}

TEST_F(JsonSourceTest, RetryAfterIsHeededTwiceAtMostAndALongOneEndsTheSource) {
  EngineDef e = OnePage("Busy", "/b?q={term}", "m", "{u}");
  const std::string later = "HTTP/1.1 429 Slow\r\nRetry-After: 0\r\nContent-Length: 0\r\n\r\n";
  server_.Serve("/b?q=x", {HttpReply::Raw(later), HttpReply::Raw(later),
                           Json(R"({"m":[{"u":"ftp://late.example/"}]})")});
  EXPECT_EQ(Ask(e), std::vector<std::string>{"ftp://late.example/"});
  EXPECT_EQ(server_.Targets().size(), 3u);

  HttpTestServer always;
  always.SetFallback(HttpReply::Raw("HTTP/1.1 503 Busy\r\nRetry-After: 0\r\n\r\n"));
  e.url = always.Url("/b?q={term}");
  EnginePagesEnd end;
  EXPECT_TRUE(Ask(e, &end).empty());
  EXPECT_TRUE(end.failed);
  // Two waits, then the usual one retry: the source is not asked without end.
  EXPECT_EQ(always.Targets().size(), 4u);

  HttpTestServer longer;
  longer.SetFallback(HttpReply::Raw("HTTP/1.1 429 Slow\r\nRetry-After: 3600\r\n\r\n"));
  e.url = longer.Url("/b?q={term}");
  EXPECT_TRUE(Ask(e, &end).empty());
  EXPECT_TRUE(end.failed);
  EXPECT_NE(end.why.find("3600 s"), std::string::npos) << end.why;
  EXPECT_EQ(longer.Targets().size(), 1u);
}

TEST_F(JsonSourceTest, AFailingRequestTellsNoKeyInAnyForm) {
  EngineDef e;
  e.name = "Keyed";
  e.url = server_.Url("/k?key={key}&q={term}");
  e.header = "Authorization: Bearer {key}";
  e.rule = ResultRule::Json;
  e.site = "{u}";
  server_.SetFallback(HttpReply::Page("no", 500));
  EnginePagesEnd end;
  Ask(e, &end);
  ASSERT_TRUE(end.failed);
  EXPECT_EQ(end.why.find(Key), std::string::npos) << end.why;
  EXPECT_EQ(end.why.find(KeyInUrl(Key)), std::string::npos) << end.why;
  EXPECT_NE(end.why.find("key=***"), std::string::npos) << end.why;

  // Refused connection, basic credentials in the URL's place.
  const uint16_t closed = server_.Port();
  server_.Stop();
  e.url = "http://127.0.0.1:" + std::to_string(closed) + "/k?key={key}&q={term}";
  e.auth = EngineAuth::Basic;
  Ask(e, &end);
  ASSERT_TRUE(end.failed);
  EXPECT_EQ(end.why.find(KeyInUrl(Key)), std::string::npos) << end.why;

  // Every form of a user:secret key goes.
  const std::string masked = MaskKey("u:pw%2B1 pw+1 dTpwdysx u%3Apw%2B1 Basic dTpwdysx", "u:pw+1");
  EXPECT_EQ(masked.find("pw"), std::string::npos) << masked;
  EXPECT_EQ(masked.find("dTpwdysx"), std::string::npos) << masked;
  EXPECT_EQ(MaskKey("plain text", ""), "plain text");

  // No key at all: the source is not asked.
  EnginePageHooks none;
  const std::size_t before = server_.Targets().size();
  EXPECT_EQ(AskEnginePages(e, "x", 0, none).why, "no key");
  EXPECT_EQ(server_.Targets().size(), before);
}

// A plain page is cut at </body> or past about 90 KB; an answer is read whole,
// so items past either still count, and one past its bound fails as too large.
TEST_F(JsonSourceTest, ALongAnswerIsReadWholeUpToItsBound) {
  const EngineDef e = OnePage("Long", "/l?q={term}", "m", "ftp://{ip}/");
  std::string body = R"({"m":[{"ip":"first.example","banner":"</body>"})";
  const std::string filler(1000, 'x');
  for (int i = 0; i < 300; ++i) body += R"(,{"banner":")" + filler + R"("})";
  body += R"(,{"ip":"last.example"}]})";
  ASSERT_GT(body.size(), 200000u);
  server_.Serve("/l?q=x", Json(body));
  EnginePagesEnd end;
  EXPECT_EQ(Ask(e, &end),
            (std::vector<std::string>{"ftp://first.example/", "ftp://last.example/"}));
  EXPECT_FALSE(end.failed) << end.why;

  std::string huge = R"({"m":[{"ip":"h.example","banner":")";
  huge.append(JsonAnswerMax, 'x');
  huge += R"("}]})";
  server_.Serve("/l?q=x", Json(huge));
  const std::size_t before = server_.Targets().size();
  EXPECT_TRUE(Ask(e, &end).empty());
  EXPECT_TRUE(end.failed);
  EXPECT_EQ(end.why.rfind("TooLarge from ", 0), 0u) << end.why;
  EXPECT_EQ(server_.Targets().size() - before, 1u) << "not asked again for the same";
}

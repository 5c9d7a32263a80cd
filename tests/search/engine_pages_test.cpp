// How far one engine is asked: whatever its definition says, the walk ends, and
// its host is asked no faster than the pause allows.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/settings.h"
#include "search/engine_pages.h"
#include "search/host_pace.h"
#include "tests/support/http_test_server.h"

using namespace qb;
using namespace std::chrono_literals;
using qbtest::HttpReply;
using qbtest::HttpTestServer;

namespace {

class EnginePagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Listening());
    savedPause_ = Settings.EnginePause;
    Settings.EnginePause = 0;
    engine_.name = "Paged";
    engine_.url = server_.Url("/s?q={term}&p={page}");
  }
  void TearDown() override { Settings.EnginePause = savedPause_; }
  std::string Target(int page) const { return "/s?q=x&p=" + std::to_string(page); }
  // Page n of results that are new on every page.
  static HttpReply FreshPage(int n) {
    return HttpReply::Page("<a href=\"ftp://h" + std::to_string(n) + ".example/pub/\">r</a>");
  }

  HttpTestServer server_;
  EngineDef engine_;
  int32_t savedPause_ = 0;
};

TEST_F(EnginePagesTest, APageThatBringsNothingNewEndsTheWalk) {
  // The engine ignores the page number: every page is the first one again.
  server_.SetFallback(HttpReply::Page("<a href=\"ftp://same.example/pub/\">r</a>"));
  int found = 0;
  EnginePageHooks hooks;
  hooks.found = [&](std::string&) { ++found; };
  const EnginePagesEnd end = AskEnginePages(engine_, "x", 0, hooks);
  EXPECT_FALSE(end.failed);
  EXPECT_EQ(end.pages, 2);
  EXPECT_EQ(server_.Targets().size(), 2u);
  EXPECT_EQ(found, 2);  // the repeated result is still handed on; the table drops it

  // New results after the repeated one count: only a page of nothing new ends it.
  HttpTestServer mixed;
  mixed.Serve("/s?q=x&p=0", HttpReply::Page("<a href=\"ftp://a.example/\">1</a>"));
  mixed.Serve("/s?q=x&p=1", HttpReply::Page("<a href=\"ftp://a.example/\">1</a>"
                                            "<a href=\"ftp://b.example/\">2</a>"));
  mixed.SetFallback(HttpReply::Page("<a href=\"ftp://b.example/\">2</a>"));
  engine_.url = mixed.Url("/s?q={term}&p={page}");
  EXPECT_EQ(AskEnginePages(engine_, "x", 0, {}).pages, 3);
}

TEST_F(EnginePagesTest, NoLimitOrAHighOneStillEndsAfterAHundredPages) {
  for (int n = 0; n < EnginePagesMax + 20; ++n) server_.Serve(Target(n), FreshPage(n));
  for (const int limit : {0, 5000}) {
    engine_.pageLimit = limit;
    const std::size_t before = server_.Targets().size();
    EXPECT_EQ(AskEnginePages(engine_, "x", 0, {}).pages, EnginePagesMax) << limit;
    EXPECT_EQ(server_.Targets().size() - before, static_cast<std::size_t>(EnginePagesMax));
  }
  engine_.pageLimit = 3;
  EXPECT_EQ(AskEnginePages(engine_, "x", 0, {}).pages, 3);
}

TEST_F(EnginePagesTest, RequestsToOneHostKeepThePauseApartAcrossEngines) {
  for (int n = 0; n < 3; ++n) server_.Serve(Target(n), FreshPage(n));
  server_.SetFallback(HttpReply::Page("none"));
  Settings.EnginePause = 60;
  engine_.pageLimit = 3;
  EngineDef other = engine_;
  other.url = server_.Url("/other?q={term}");
  other.pageLimit = 1;
  // Four requests to one host, whichever engine sends them: three pauses at least.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(AskEnginePages(engine_, "x", 0, {}).pages, 3);
  EXPECT_EQ(AskEnginePages(other, "x", 0, {}).pages, 1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 3 * 60ms);

  // A stop while waiting for the host ends the walk without a request.
  const std::size_t before = server_.Targets().size();
  EnginePageHooks stopped;
  stopped.goOn = [] { return false; };
  EXPECT_EQ(AskEnginePages(engine_, "x", 0, stopped).pages, 0);
  EXPECT_EQ(server_.Targets().size(), before);
}

TEST(HostPace, OneKeyPerHostAndPort) {
  EXPECT_EQ(PaceKey("https://User:pw@Search.Example:8443/q?x=1"), "search.example:8443");
  EXPECT_EQ(PaceKey("http://search.example"), "search.example");
  EXPECT_NE(PaceKey("http://a.example:80/"), PaceKey("http://a.example:81/"));
}

}  // namespace

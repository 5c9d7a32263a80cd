#include "net/http_fetcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <string>

#include "core/settings.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_listener.h"

using namespace qb;

namespace {

using qbtest::HttpReply;
using qbtest::HttpTestServer;
using qbtest::Millis;

const std::string AcceptLine =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, image/png, */*\r\n";
const char* const Ok200 = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";

struct Fetched {
  std::optional<std::string> body;
  const char* tag = "unset";
};

Fetched Fetch(const std::string& url, int timeOut = 5, const char* stopMarker = nullptr) {
  Fetched out;
  std::unique_ptr<char[]> page = FetchPage(url.c_str(), &out.tag, timeOut, stopMarker);
  if (page) out.body = std::string(page.get());
  return out;
}

// Runs a fetch on its own thread so that a test can bound how long it waits for it.
std::future<Fetched> FetchAsync(const std::string& url, int timeOut,
                                const char* stopMarker = nullptr) {
  return std::async(std::launch::async, [=] { return Fetch(url, timeOut, stopMarker); });
}

std::string Request(const std::string& target, const std::string& host) {
  return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n" + AcceptLine + "\r\n";
}

TEST(BuildGetRequest, FormatsRequestAndHost) {
  struct Case {
    const char* url;
    const char* host;
    std::string request;
  } cases[] = {
      {"http://h/a/b?q=1&x=%20", "h", Request("/a/b?q=1&x=%20", "h")},
      {"http://h", "h", Request("/", "h")},
      {"http://h/", "h", Request("/", "h")},
      {"HTTP://Host.Example:8080/p", "Host.Example:8080", Request("/p", "Host.Example:8080")},
  };
  for (const Case& c : cases) {
    char host[HttpHostSize];
    char request[HttpRequestSize];
    ASSERT_TRUE(BuildGetRequest(c.url, host, request)) << c.url;
    EXPECT_STREQ(host, c.host) << c.url;
    EXPECT_EQ(std::string(request), c.request) << c.url;
  }
}

TEST(BuildGetRequest, RefusesOtherSchemesAndRequestsThatDoNotFit) {
  char host[HttpHostSize];
  char request[HttpRequestSize];
  for (const char* url : {"https://h/", "ftp://h/", "http:/h/", "http:", "", " http://h/"}) {
    EXPECT_FALSE(BuildGetRequest(url, host, request)) << url;
  }
  // The request's fixed text plus host "h" plus the path: 599 characters fit, 600 do not.
  const std::size_t fixed = Request("/", "h").size();
  const std::string fits = "http://h/" + std::string(HttpRequestSize - 1 - fixed, 'p');
  const std::string tooLong = fits + "p";
  ASSERT_TRUE(BuildGetRequest(fits.c_str(), host, request));
  EXPECT_EQ(std::strlen(request), HttpRequestSize - 1);
  EXPECT_FALSE(BuildGetRequest(tooLong.c_str(), host, request));
  EXPECT_EQ(Fetch(tooLong).tag, std::string("ExtractURL"));
  EXPECT_EQ(Fetch("gopher://127.0.0.1/").tag, std::string("ExtractURL"));
}

TEST(FetchPage, SendsTheExactRequestToTheUrlsPort) {
  HttpTestServer server;
  ASSERT_TRUE(server.Listening());
  server.Serve("/s?q=a%20b&f=1", HttpReply::Page("<html><body>x</body></html>"));
  const Fetched got = Fetch("http://" + server.HostPort() + "/s?q=a%20b&f=1");
  ASSERT_TRUE(got.body) << got.tag;
  EXPECT_EQ(got.tag, nullptr);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0], Request("/s?q=a%20b&f=1", server.HostPort()));
}

TEST(FetchPage, AcceptsUpperCasePrefixAndResolvesNames) {
  HttpTestServer server;
  server.SetFallback(HttpReply::Raw(std::string(Ok200) + "page"));
  const Fetched upper = Fetch("HTTP://" + server.HostPort() + "/");
  ASSERT_TRUE(upper.body) << upper.tag;
  EXPECT_EQ(*upper.body, "\r\npage");
  const Fetched named = Fetch("http://localhost:" + std::to_string(server.Port()) + "/n");
  ASSERT_TRUE(named.body) << named.tag;
  EXPECT_EQ(server.Targets().back(), "/n");
  EXPECT_NE(server.Requests().back().find("Host: localhost:" + std::to_string(server.Port())),
            std::string::npos);
}

TEST(FetchPage, Ipv6LiteralInBrackets) {
  HttpTestServer server("::1");
  if (!server.Listening()) GTEST_SKIP() << "no IPv6 loopback here";
  server.SetFallback(HttpReply::Raw(std::string(Ok200) + "six"));
  const Fetched got = Fetch(server.Url("/v6"));
  ASSERT_TRUE(got.body) << got.tag;
  EXPECT_EQ(*got.body, "\r\nsix");
  EXPECT_NE(server.Requests().back().find("Host: " + server.HostPort()), std::string::npos);
}

TEST(FetchPage, BadHostsFailWithHostName) {
  for (const char* url :
       {"http:///path", "http://127.0.0.1:/", "http://127.0.0.1:99999/", "http://127.0.0.1:0/",
        "http://127.0.0.1:8o/", "http://:80/", "http://[::1/", "http://[]:80/", "http://[::1]x/"}) {
    EXPECT_EQ(Fetch(url).tag, std::string("host_name")) << url;
  }
}

TEST(FetchPage, ClosedPortFailsWithConnect) {
  const uint16_t port = qbtest::ClosedLoopbackPort();  // nothing listens on that port
  EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(port) + "/").tag, std::string("Connect"));
}

TEST(FetchPage, ConnectionSetUpIsBoundedByTheTimeOut) {
  // A listener that never accepts, with its queue already full: further connection
  // attempts get no answer at all.
  const qbtest::FullLoopbackListener full;
  ASSERT_TRUE(full.Ok());
  auto pending = FetchAsync("http://127.0.0.1:" + std::to_string(full.Port()) + "/", 1);
  const bool ready = pending.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  ASSERT_TRUE(ready);
  EXPECT_EQ(pending.get().tag, std::string("Connect"));
}

// Answers that arrive whole and are refused, with the tag that the first failed
// check sets.
TEST(FetchPage, MalformedAnswersGiveTheFirstFailingTag) {
  struct Case {
    const char* name;
    std::string answer;
    const char* tag;
  } cases[] = {
      {"empty", "", "NRead=0"},
      {"no space", "HTTP/1.1\r\n\r\n<html>", "NoSpace"},
      {"no space and no header end", "garbage", "NoSpace"},
      {"404", "HTTP/1.1 404 Not Found\r\n\r\n<html>gone</html>", "40x"},
      {"500", "HTTP/1.1 500 Error\r\n\r\n", "40x"},
      {"1xx", "HTTP/1.1 100 Continue\r\n\r\n", "40x"},
      {"404 without header end", "HTTP/1.1 404 Not Found\r\n", "40x"},
      {"no header end", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", "NoCRLF"},
      {"NUL hides the header end", std::string("HTTP/1.1 200 OK\r\n\0\r\n\r\nbody", 27), "NoCRLF"},
  };
  HttpTestServer server;
  for (const Case& c : cases) server.Enqueue(HttpReply::Raw(c.answer));
  for (const Case& c : cases) {
    const Fetched got = Fetch(server.Url("/"));
    EXPECT_FALSE(got.body) << c.name;
    EXPECT_EQ(got.tag ? std::string(got.tag) : "null", c.tag) << c.name;
  }
}

TEST(FetchPage, BodyStartsAfterTheEarlierSeparator) {
  struct Case {
    const char* name;
    std::string answer;
    std::string body;
  } cases[] = {
      {"CRLF header end keeps one CRLF", "HTTP/1.1 200 OK\r\nA: b\r\n\r\n<p>", "\r\n<p>"},
      {"LF header end", "HTTP/1.1 200 OK\nA: b\n\nline1\n\nline2", "line1\n\nline2"},
      {"LF pair before CRLF pair", "HTTP/1.1 200 OK\n\nx\r\n\r\ny", "x\r\n\r\ny"},
      {"302 returns its own body",
       "HTTP/1.1 302 Found\r\nLocation: http://elsewhere/\r\n\r\n<html>moved</html>",
       "\r\n<html>moved</html>"},
      {"empty body", "HTTP/1.1 204 No Content\r\n\r\n", "\r\n"},
      {"NUL ends the text", std::string("HTTP/1.1 200 OK\r\n\r\nab\0cd</body>", 31), "\r\nab"},
  };
  HttpTestServer server;
  for (const Case& c : cases) server.Enqueue(HttpReply::Raw(c.answer));
  for (const Case& c : cases) {
    const Fetched got = Fetch(server.Url("/"));
    ASSERT_TRUE(got.body) << c.name << ": " << (got.tag ? got.tag : "");
    EXPECT_EQ(*got.body, c.body) << c.name;
  }
}

TEST(FetchPage, EndMarkerOnOpenConnectionReturnsAtOnce) {
  struct Case {
    const char* marker;  // in the page
    const char* stop;    // passed to the fetcher
  } cases[] = {{"</body>", nullptr},
               {"</BODY>", nullptr},
               {"</FORM>", "</FORM>"},
               {"Copyright", "Copyright"}};
  HttpTestServer server;
  for (const Case& c : cases) {
    server.Enqueue(HttpReply::Raw(std::string(Ok200) + "<html>" + c.marker)
                       .Then(Millis{0}, std::string(3000, 'x'))
                       .KeepOpen());
  }
  for (const Case& c : cases) {
    // The time-out is far beyond the bound waited for: only the marker can end it.
    auto pending = FetchAsync(server.Url("/"), 60, c.stop);
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(20)), std::future_status::ready) << c.marker;
    const Fetched got = pending.get();
    ASSERT_TRUE(got.body) << c.marker;
    EXPECT_NE(got.body->find(c.marker), std::string::npos);
  }
}

TEST(FetchPage, OpenConnectionWithoutMarkerReturnsPageAfterTimeOut) {
  HttpTestServer server;
  // Mixed case is no end marker.
  const std::string page = "<html>" + std::string(2000, 'x') + "</Body>";
  server.Enqueue(HttpReply::Raw(std::string(Ok200) + page).KeepOpen());
  const auto start = std::chrono::steady_clock::now();
  auto pending = FetchAsync(server.Url("/"), 1);
  ASSERT_EQ(pending.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  const Fetched got = pending.get();
  ASSERT_TRUE(got.body) << got.tag;
  EXPECT_EQ(*got.body, "\r\n" + page);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST(FetchPage, SilenceOrShortAnswerTimesOut) {
  HttpTestServer server;
  server.Enqueue(HttpReply::Silent());
  server.Enqueue(
      HttpReply::Raw(std::string(Ok200) + std::string(1024 - std::strlen(Ok200), 'x')).KeepOpen());
  for (int i = 0; i < 2; ++i) {
    auto pending = FetchAsync(server.Url("/"), 1);
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    const Fetched got = pending.get();
    EXPECT_FALSE(got.body);
    EXPECT_EQ(got.tag ? std::string(got.tag) : "null", "timeout") << i;
  }
}

TEST(FetchPage, ZeroTimeOutTakesTheSetting) {
  HttpTestServer server;
  server.Enqueue(HttpReply::Silent());
  const int32_t saved = Settings.HttpTimeOut;
  Settings.HttpTimeOut = 1;
  auto pending = FetchAsync(server.Url("/"), 0);
  const bool ready = pending.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  if (!ready) server.Stop();  // releases the fetch so that the test ends
  Settings.HttpTimeOut = saved;
  ASSERT_TRUE(ready);
  EXPECT_EQ(pending.get().tag, std::string("timeout"));
}

TEST(FetchPage, ResetBeforeAnyAnswerFailsWithRecv) {
  HttpTestServer server;
  server.Enqueue(HttpReply().Reset());
  EXPECT_EQ(Fetch(server.Url("/")).tag, std::string("recv"));
}

// However a large page arrives, reading stops after the chunk that crosses 91808
// bytes and never takes more than 99488; an end marker beyond that is not seen.
TEST(FetchPage, LargePageIsCutAfterTheChunkThatCrossesTheBound) {
  HttpTestServer server;
  const std::string header = Ok200;
  HttpReply pieces = HttpReply::Raw(header);
  for (int i = 0; i < 15; ++i) pieces.Then(Millis{0}, std::string(8000, 'a' + i));
  server.Enqueue(pieces.Then(Millis{0}, "</body>"));
  server.Enqueue(HttpReply::Raw(header + std::string(300000, 'z') + "</body>"));
  for (int i = 0; i < 2; ++i) {
    const Fetched got = Fetch(server.Url("/"));
    ASSERT_TRUE(got.body) << got.tag;
    const std::size_t received = header.size() - 2 + got.body->size();
    EXPECT_GT(received, 91808u) << i;
    EXPECT_LE(received, 91808u + 8192u) << i;
    EXPECT_LE(received, 99488u) << i;
    EXPECT_EQ(got.body->find("</body>"), std::string::npos) << i;
  }
}

}  // namespace

// A page's end marker split across two reads still ends the page there: the
// reader fails if asked for more.
TEST(HttpResponse, MarkerSplitAcrossReadsEndsPage) {
  for (const char* stop : {static_cast<const char*>(nullptr), "</FORM>"}) {
    const std::string end = stop ? stop : "</body>";
    const std::string pieces[] = {std::string(Ok200) + "abc" + end.substr(0, 3), end.substr(3)};
    std::size_t next = 0;
    const HttpReader reader = [&](char* into, std::size_t room) -> ssize_t {
      if (next == 2) {
        errno = ECONNRESET;
        return -1;
      }
      const std::string& piece = pieces[next++];
      const std::size_t n = std::min(room, piece.size());
      std::memcpy(into, piece.data(), n);
      return static_cast<ssize_t>(n);
    };
    const char* tag = "unset";
    const std::unique_ptr<char[]> page = ReadHttpResponse(reader, 5, stop, &tag);
    ASSERT_NE(page, nullptr) << end << " " << (tag ? tag : "");
    EXPECT_EQ(std::string(page.get()), "\r\nabc" + end);  // the body starts at the empty line
    EXPECT_EQ(next, 2u);
  }
}

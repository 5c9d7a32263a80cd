// FetchPage against web servers that misbehave on purpose: every case ends in
// bounded time with its tag or a page within the receive bound.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>

#include "core/settings.h"
#include "net/http_fetcher.h"
#include "tests/hostile/hostile_server.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using qbtest::HostileServer;

constexpr std::size_t PageRoom = 99488;

struct Fetched {
  std::string tag;  // empty on success
  bool ok = false;
  std::string body;
  std::chrono::milliseconds took{};
};

// Fetches on another thread and waits for it with a bound, so a hang fails the
// test instead of blocking it.
Fetched FetchBounded(const std::string& url, int timeOut, std::chrono::seconds bound,
                     const char* stop = nullptr) {
  auto job = std::async(std::launch::async, [=] {
    Fetched out;
    const auto start = std::chrono::steady_clock::now();
    const char* tag = nullptr;
    std::unique_ptr<char[]> page = FetchPage(url.c_str(), &tag, timeOut, stop);
    out.took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    out.ok = page != nullptr;
    if (page) out.body = page.get();
    if (tag) out.tag = tag;
    return out;
  });
  if (job.wait_for(bound) != std::future_status::ready) {
    ADD_FAILURE() << "fetch of " << url << " still running after " << bound.count() << " s";
    std::abort();  // the fetch holds references into this frame
  }
  return job.get();
}

const std::string Status = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";

TEST(HostileHttp, EndlessHeadersStopAtThePageBound) {
  HostileServer server([](HostileServer& s, int fd) {
    if (!s.ReadRequest(fd) || !s.Send(fd, Status)) return;
    const std::string header(4096, 'h');
    while (s.Send(fd, "X-Pad: " + header + "\r\n")) {
    }
  });
  const Fetched f = FetchBounded(server.HttpUrl("/"), 2, 20s);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.tag, "NoCRLF");
}

TEST(HostileHttp, TenMegabytesAreCutAtThePageBound) {
  HostileServer server([](HostileServer& s, int fd) {
    if (!s.ReadRequest(fd) || !s.Send(fd, Status + "\r\n<html>")) return;
    const std::string chunk(64 * 1024, 'x');
    for (int i = 0; i < 160 && s.Send(fd, chunk); ++i) {
    }
  });
  const Fetched f = FetchBounded(server.HttpUrl("/big"), 2, 20s);
  ASSERT_TRUE(f.ok) << f.tag;
  EXPECT_TRUE(f.body.starts_with("\r\n<html>xxx"));
  EXPECT_GT(f.body.size(), 91808u - Status.size());
  EXPECT_LT(f.body.size(), PageRoom);
}

// A server that keeps the connection open: what arrived decides between the page
// and the time-out tag.
TEST(HostileHttp, NeverClosingServerEndsByTheTimeOut) {
  struct Case {
    std::size_t bodyBytes;
    bool page;
  };
  for (const Case c : {Case{100, false}, Case{3000, true}}) {
    HostileServer server([&](HostileServer& s, int fd) {
      if (!s.ReadRequest(fd)) return;
      s.Send(fd, Status + "\r\n" + std::string(c.bodyBytes, 'b'));
      while (s.Pause(1h)) {
      }
    });
    const Fetched f = FetchBounded(server.HttpUrl("/open"), 1, 20s);
    EXPECT_EQ(f.ok, c.page) << c.bodyBytes;
    if (c.page)
      EXPECT_EQ(f.body, "\r\n" + std::string(c.bodyBytes, 'b'));
    else
      EXPECT_EQ(f.tag, "timeout");
    EXPECT_GE(f.took, 900ms);
  }
}

TEST(HostileHttp, ClosingMidStatusLine) {
  struct Case {
    const char* sent;
    const char* tag;
  };
  const Case cases[] = {
      {"", "NRead=0"},
      {"HTTP/1.1", "NoSpace"},
      {"HTTP/1.1 ", "40x"},
      {"HTTP/1.1 2", "NoCRLF"},
      {"HTTP/1.1 200 OK\r\nContent-Le", "NoCRLF"},
  };
  for (const Case& c : cases) {
    HostileServer server([&](HostileServer& s, int fd) {
      if (s.ReadRequest(fd)) s.Send(fd, c.sent);
    });
    const Fetched f = FetchBounded(server.HttpUrl("/cut"), 2, 20s);
    EXPECT_FALSE(f.ok) << c.sent;
    EXPECT_EQ(f.tag, c.tag) << c.sent;
  }
}

// NUL bytes end the text where they stand; nothing past them is read as page.
TEST(HostileHttp, NulBytes) {
  struct Case {
    std::string sent;
    bool ok;
    const char* result;  // body, or the tag
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\n\r\n<html>\0\0secret</body>"s, true, "\r\n<html>"},
      {"\0HTTP/1.1 200 OK\r\n\r\n<html></body>"s, false, "NoSpace"},
      {"HTTP/1.1 200 OK\r\n\0\r\n\r\nbody"s, false, "NoCRLF"},
      {std::string(5000, '\0'), false, "NoSpace"},
  };
  for (const Case& c : cases) {
    HostileServer server([&](HostileServer& s, int fd) {
      if (s.ReadRequest(fd)) s.Send(fd, c.sent);
    });
    const Fetched f = FetchBounded(server.HttpUrl("/nul"), 2, 20s);
    EXPECT_EQ(f.ok, c.ok) << c.result;
    EXPECT_EQ(c.ok ? f.body : f.tag, c.result);
  }
}

TEST(HostileHttp, TrickleThatStopsEndsByTheTimeOut) {
  HostileServer server([](HostileServer& s, int fd) {
    if (!s.ReadRequest(fd)) return;
    const std::string head = "HTTP/1.1 200 OK\r\n\r\n<html>";
    for (char c : head) {
      if (!s.Send(fd, std::string(1, c)) || !s.Pause(20ms)) return;
    }
    while (s.Pause(1h)) {
    }
  });
  const Fetched f = FetchBounded(server.HttpUrl("/slow"), 1, 20s);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.tag, "timeout");
}

// A byte every half second keeps each read inside a one-second time-out for
// ever; the page as a whole still ends, as a read that timed out would.
TEST(HostileHttp, EndlessTrickleIsBounded) {
  struct Case {
    std::size_t before;  // bytes sent at once before the trickle
    bool page;
  };
  for (const Case c : {Case{0, false}, Case{2000, true}}) {
    HostileServer server([&](HostileServer& s, int fd) {
      if (!s.ReadRequest(fd) || !s.Send(fd, Status + "\r\n" + std::string(c.before, 'a'))) return;
      while (s.Send(fd, "t") && s.Pause(500ms)) {
      }
    });
    const Fetched f = FetchBounded(server.HttpUrl("/trickle"), 1, 30s);
    EXPECT_EQ(f.ok, c.page) << c.before;
    if (c.page)
      EXPECT_TRUE(f.body.starts_with("\r\n" + std::string(c.before, 'a') + "t"));
    else
      EXPECT_EQ(f.tag, "timeout");
    EXPECT_LT(f.took, 10s);
  }
}

}  // namespace

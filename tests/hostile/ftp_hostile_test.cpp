// A site worker against FTP servers that misbehave on purpose: each ends in
// bounded time with the status and status text its case calls for, and what
// it stores stays within its fields.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "core/settings.h"
#include "core/site_table.h"
#include "explore/site_worker.h"
#include "net/explore_site.h"
#include "net/ftp_control.h"
#include "tests/hostile/ftp_dialogue.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;
using qbtest::FtpBehaviour;
using qbtest::FtpSessionState;
using qbtest::HostileServer;
using qbtest::SendListing;
using qbtest::ServeFtp;

class HostileFtp : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_[0] = Settings.HttpTimeOut;
    saved_[1] = Settings.NbRetry;
    saved_[2] = Settings.VerifyTimeOut;
    savedMode_ = Settings.DataMode;
    Settings.HttpTimeOut = 1;
    Settings.NbRetry = 1;
    Settings.VerifyTimeOut = 0;
    // The scripted servers connect back to PORT: active mode.
    Settings.DataMode = FtpDataMode::Active;
  }
  void TearDown() override {
    Settings.HttpTimeOut = saved_[0];
    Settings.NbRetry = saved_[1];
    Settings.VerifyTimeOut = saved_[2];
    Settings.DataMode = savedMode_;
  }

  // Runs one worker on the server's site; a worker still running after the
  // bound fails the test.
  std::shared_ptr<SiteEntry> Explore(HostileServer& server, std::chrono::seconds bound = 30s) {
    auto entry = std::make_shared<SiteEntry>(server.FtpUrl("/pub/"));
    entry->status = Exploring;
    auto job = std::async(std::launch::async, [entry] { SiteWorker(entry); });
    if (job.wait_for(bound) != std::future_status::ready) {
      ADD_FAILURE() << "worker still running after " << bound.count() << " s";
      std::abort();
    }
    EXPECT_EQ(entry->controlSocket, -1);
    return entry;
  }

  int32_t saved_[3] = {};
  FtpDataMode savedMode_ = FtpDataMode::Passive;
};

TEST_F(HostileFtp, FloodedControlConnection) {
  HostileServer server([](HostileServer& s, int fd) {
    std::string flood;
    for (int i = 0; i < 200; ++i) flood += "220 flood\r\n";
    while (s.Send(fd, flood)) {
    }
  });
  auto entry = Explore(server);
  // Every read fills its buffer with "220" lines, so each command seems
  // accepted; no data connection ever comes.
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "No files");
}

TEST_F(HostileFtp, LinesThatNeverEnd) {
  HostileServer server([](HostileServer& s, int fd) {
    if (!s.Send(fd, "220 ")) return;
    const std::string endless(4096, 'x');
    while (s.Send(fd, endless)) {
    }
  });
  auto entry = Explore(server);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "");  // no reply line ever completed
}

TEST_F(HostileFtp, EveryCommandAnsweredWithPreliminaryReply) {
  HostileServer server([](HostileServer& s, int fd) {
    if (!s.Send(fd, "120 soon\r\n")) return;
    std::string pending, line;
    while (s.ReadLine(fd, pending, line) && s.Send(fd, "150 wait\r\n")) {
    }
  });
  auto entry = Explore(server);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "150 wait");
}

// Eight preliminary lines, each inside the time-out, before every answer: each
// reply is bounded, and so is the attempt as a whole.
TEST_F(HostileFtp, PreliminaryLinesDrippedBeforeEveryAnswerEndWithinTheAttemptBound) {
  HostileServer server([](HostileServer& s, int fd) {
    if (!s.Send(fd, "220 hello\r\n")) return;
    std::string pending, line;
    while (s.ReadLine(fd, pending, line)) {
      for (int i = 0; i < FtpControl::MaxPreliminary; ++i) {
        s.Pause(900ms);
        if (!s.Send(fd, "150 wait\r\n")) return;
      }
      if (!s.Send(fd, line.rfind("USER", 0) == 0 ? "331 password\r\n" : "200 ok\r\n")) return;
    }
  });
  const auto start = std::chrono::steady_clock::now();
  auto entry = Explore(server, 120s);
  // Ten one-second time-outs, not the several minutes the commands would take.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 25s);
  EXPECT_EQ(entry->status, Failed);
}

TEST_F(HostileFtp, DataConnectionThatNeverSends) {
  HostileServer server([](HostileServer& s, int fd) {
    FtpBehaviour b;
    b.list = [](HostileServer& s, const FtpSessionState& state) {
      const int data = s.ConnectTo(state.port);
      s.Pause(1h);  // until the test ends
      s.CloseData(data);
    };
    ServeFtp(s, fd, b);
  });
  const auto start = std::chrono::steady_clock::now();
  auto entry = Explore(server);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "No files");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);  // the read waited its time-out
}

TEST_F(HostileFtp, SixtyMegabyteListingIsCut) {
  HostileServer server([](HostileServer& s, int fd) {
    std::string block;
    for (int i = 0; i < 1000; ++i)
      block += "-rw-r--r-- 1 ftp ftp " + std::to_string(1000 + i) + " Jan 12 10:30 f" +
               std::to_string(i) + ".zip\r\n";
    std::size_t sent = 0;
    FtpBehaviour b;
    b.list = SendListing([block, sent](std::string& chunk) mutable {
      chunk = block;
      sent += block.size();
      return sent <= 60u * 1024 * 1024;
    });
    ServeFtp(s, fd, b);
  });
  auto entry = Explore(server);
  EXPECT_EQ(entry->status, Ok);
  EXPECT_EQ(entry->statusText.Get(), "ok");
  std::lock_guard<std::mutex> hold(ListingLock);
  // Only what fits the listing buffer is kept: about 59488 / 48 lines.
  EXPECT_GT(entry->listing.size(), 900u);
  EXPECT_LT(entry->listing.size(), 1300u);
}

TEST_F(HostileFtp, TenThousandCharacterLines) {
  const std::string name(9960, 'n');
  HostileServer server([&](HostileServer& s, int fd) {
    int lines = 0;
    FtpBehaviour b;
    b.list = SendListing([&](std::string& chunk) {
      chunk =
          "-rw-r--r-- 1 ftp ftp " + std::to_string(4096 + lines) + " Jan 12 10:30 " + name + "\r\n";
      return ++lines <= 8;
    });
    ServeFtp(s, fd, b);
  });
  auto entry = Explore(server);
  EXPECT_EQ(entry->status, Ok);
  // The parser keeps the server's name as far as a listing line goes; the
  // site shows it as far as its tested-file text holds (449 of 450 bytes).
  EXPECT_EQ(entry->testedFile.Get(), std::string(449, 'n'));
  std::lock_guard<std::mutex> hold(ListingLock);
  ASSERT_FALSE(entry->listing.empty());
  for (const ListingEntry& node : entry->listing) {
    EXPECT_LE(strnlen(node.name, sizeof node.name), 59u);
    EXPECT_LE(strnlen(node.date, sizeof node.date), 23u);
  }
}

TEST_F(HostileFtp, ListingFromAnotherAddressIsNotRead) {
  std::atomic<int> connected{0};
  HostileServer server([&](HostileServer& s, int fd) {
    FtpBehaviour b;
    b.list = [&](HostileServer& s, const FtpSessionState& state) {
      const int data = s.ConnectTo(state.port, "127.0.0.9");
      if (data >= 0) {
        ++connected;
        s.Send(data, "-rw-r--r-- 1 ftp ftp 123456 Jan 12 10:30 injected.zip\r\n");
      }
      s.CloseData(data);
    };
    ServeFtp(s, fd, b);
  });
  auto entry = Explore(server);
  EXPECT_GE(connected, 1);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "No files");
  EXPECT_EQ(entry->testedFile.Get(), "");
  std::lock_guard<std::mutex> hold(ListingLock);
  EXPECT_TRUE(entry->listing.empty());
}

// A data connection that sends a byte every 300 ms stays inside each read's
// one-second time-out for ever; the listing as a whole still ends, with what
// arrived.
TEST_F(HostileFtp, TricklingListingIsBounded) {
  HostileServer server([](HostileServer& s, int fd) {
    FtpBehaviour b;
    b.list = [](HostileServer& s, const FtpSessionState& state) {
      const int data = s.ConnectTo(state.port);
      const std::string line = "drwxr-xr-x 2 ftp ftp 512 Jan 12 1999 a\r\n";
      for (std::size_t i = 0; s.Send(data, line.substr(i % line.size(), 1)) && s.Pause(300ms);
           ++i) {
      }
      s.CloseData(data);
    };
    ServeFtp(s, fd, b);
  });
  const auto start = std::chrono::steady_clock::now();
  auto entry = Explore(server, 30s);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  // About twenty bytes arrive: no complete line, so no name.
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "No files");
}

}  // namespace

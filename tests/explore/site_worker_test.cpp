#include "explore/site_worker.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "core/settings.h"
#include "core/site_table.h"
#include "explore/exploration_scheduler.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/wait.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;
using qbtest::FakeFtpServer;
using qbtest::FtpReply;
using qbtest::FtpScript;

// Worker unit tests shorten the pause unit; the real timings are exercised by
// the session and real-server tests.
class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSites();
    Settings.HttpTimeOut = 5;
    Settings.NbRetry = 1;
    Settings.VerifyTimeOut = 0;
    // The scripted servers connect back to PORT: active mode.
    Settings.DataMode = FtpDataMode::Active;
    VerifyTimeUnitMs = 100;
    ActiveSessions = 0;
    FinishedWorkers = 0;
  }
  void TearDown() override { ResetSites(); }

  std::shared_ptr<SiteEntry> Add(const std::string& url) {
    std::string text = url;
    bool added = false;
    AddUniqueSite(text, added, true);
    auto entry = SiteAt(SiteTable.count - 1);
    entry->status = Exploring;
    return entry;
  }
  // Runs the worker on its own thread, as the scheduler does.
  std::future<void> Start(std::shared_ptr<SiteEntry> entry) {
    return std::async(std::launch::async, [entry]() mutable { SiteWorker(std::move(entry)); });
  }
  static std::string ClosedPortUrl() {
    return "ftp://127.0.0.1:" + std::to_string(qbtest::ClosedLoopbackPort()) + "/pub/";
  }
};

TEST_F(WorkerTest, NoAttemptsEndsFailedWithEmptyText) {
  Settings.NbRetry = 0;
  FakeFtpServer server;
  auto entry = Add(server.Url("/pub/"));
  entry->statusText.Set("old text");
  SiteWorker(entry);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "");
  EXPECT_EQ(server.Sessions(), 0u);
  EXPECT_EQ(FinishedWorkers, 1);
  EXPECT_EQ(ActiveSessions, 0);
}

TEST_F(WorkerTest, RetriesWithAPauseAfterEveryAttempt) {
  Settings.NbRetry = 3;
  Settings.VerifyTimeOut = 2;  // 200 ms with the shortened unit
  FakeFtpServer server;
  server.AddSession(FtpScript().Greeting(FtpReply::Line("421 Busy").Close()));
  auto entry = Add(server.Url("/pub/"));
  const auto start = std::chrono::steady_clock::now();
  SiteWorker(entry);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 600ms);  // three pauses
  EXPECT_EQ(server.Sessions(), 3u);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "421 Busy");  // the greeting's own words
  EXPECT_EQ(entry->controlSocket, -1);
  EXPECT_EQ(FinishedWorkers, 1);
  EXPECT_EQ(ActiveSessions, 0);
}

TEST_F(WorkerTest, RefusedConnectionsEndWithConnect) {
  Settings.NbRetry = 2;
  auto entry = Add(ClosedPortUrl());
  SiteWorker(entry);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "connect");
}

TEST_F(WorkerTest, CwdRefusalEndsAfterOneAttemptWithItsLineCut) {
  Settings.NbRetry = 4;
  Settings.VerifyTimeOut = 100;  // would be noticed if it paused
  const std::string line = "550 " + std::string(300, 'x');
  FakeFtpServer server;
  server.AddSession(qbtest::LoginScript().On(FtpReply::Line(line)));
  auto entry = Add(server.Url("/pub/"));
  SiteWorker(entry);
  EXPECT_EQ(server.Sessions(), 1u);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), line.substr(0, 159));
}

TEST_F(WorkerTest, StatusTextIsCutAtACarriageReturn) {
  FakeFtpServer server;
  server.AddSession(qbtest::LoginScript().On(FtpReply::Raw("550 bad\rfolder\r\n")));
  auto entry = Add(server.Url("/pub/"));
  SiteWorker(entry);
  EXPECT_EQ(entry->statusText.Get(), "550 bad");
}

TEST_F(WorkerTest, ListingIsStoredWithFieldsCut) {
  const std::string longName(80, 'n');
  const std::string listing =
      "total 3\r\n"
      "-rw-r--r-- 1 ftp ftp 123456 Jan 12 10:30 file one.zip\r\n"
      "drwxr-xr-x 2 ftp ftp 512 Jan 12 1999 pub\r\n"
      "-rw-r--r-- 1 ftp ftp 7777 Jan 12 10:30:59:59:59:59:59:59 " +
      longName +
      "\r\n"
      "-rw-r--r-- 1 ftp ftp 2000 Jan 5 1999 .hidden\r\n";
  FakeFtpServer server;
  server.AddSession(qbtest::ListingScript(listing, FtpReply::Line("150 Opening")));
  auto entry = Add(server.Url("/pub/"));
  SiteWorker(entry);
  EXPECT_EQ(entry->status, Ok);
  EXPECT_EQ(entry->statusText.Get(), "ok");
  EXPECT_EQ(entry->testedFile.Get(), "file one.zip");
  std::lock_guard<std::mutex> hold(ListingLock);
  ASSERT_EQ(entry->listing.size(), 3u);
  EXPECT_STREQ(entry->listing[0].name, "file one.zip");
  EXPECT_STREQ(entry->listing[0].date, "Jan 12 10:30");
  EXPECT_EQ(entry->listing[0].size, 123456);
  EXPECT_EQ(entry->listing[0].isFolder, 0);
  EXPECT_STREQ(entry->listing[1].name, "pub");
  EXPECT_STREQ(entry->listing[1].date, "");  // folders keep no date or size
  EXPECT_EQ(entry->listing[1].size, 0);
  EXPECT_EQ(entry->listing[1].isFolder, 1);
  EXPECT_EQ(std::string(entry->listing[2].name), longName.substr(0, 59));
  EXPECT_STREQ(entry->listing[2].date, "Jan 12 10:30:59:59:59:5");
}

TEST_F(WorkerTest, StoredHookGetsTheOutcomeOutsideTheLocks) {
  FakeFtpServer server;
  server.AddSession(qbtest::ListingScript(
      "-rw-r--r-- 1 ftp ftp 42 Jan 12 10:30 a.txt\r\ndrwxr-xr-x 2 ftp ftp 512 Jan 12 1999 sub\r\n",
      FtpReply::Line("150 Opening")));
  auto entry = Add(server.Url("/pub/"));
  std::vector<SiteOutcome> seen;
  bool locksFree = false;
  int32_t statusMeanwhile = Ok;
  SetSiteStoredHook([&](SiteOutcome o) {
    // A reader that waits for the site to settle must find its listing too.
    statusMeanwhile = entry->status;
    std::unique_lock<std::mutex> table(SiteTableLock, std::try_to_lock);
    std::unique_lock<std::mutex> listing(ListingLock, std::try_to_lock);
    locksFree = table.owns_lock() && listing.owns_lock();
    seen.push_back(std::move(o));
  });
  SiteWorker(entry);
  SetSiteStoredHook(nullptr);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(locksFree);
  EXPECT_NE(statusMeanwhile, Ok);
  EXPECT_EQ(entry->status, Ok);
  EXPECT_EQ(seen[0].url, std::string(entry->url));
  EXPECT_EQ(seen[0].status, Ok);
  EXPECT_EQ(seen[0].statusText, "ok");
  EXPECT_EQ(seen[0].testedFile, "a.txt");
  EXPECT_GT(seen[0].exploredAt, 0);
  ASSERT_EQ(seen[0].entries.size(), 2u);
  EXPECT_STREQ(seen[0].entries[0].name, "a.txt");
  EXPECT_EQ(seen[0].entries[1].isFolder, 1);
}

TEST_F(WorkerTest, RefusedDownloadKeepsListingAndTheLine) {
  const std::string listing = "-rw-r--r-- 1 ftp ftp 123456 Jan 12 10:30 a.zip\r\n";
  FakeFtpServer server;
  server.AddSession(qbtest::ListingScript(listing, FtpReply::Line("550 Permission denied")));
  auto entry = Add(server.Url("/pub/"));
  SiteWorker(entry);
  EXPECT_EQ(entry->status, Refused);
  EXPECT_EQ(entry->statusText.Get(), "550 Permission denied");
  std::lock_guard<std::mutex> hold(ListingLock);
  ASSERT_EQ(entry->listing.size(), 1u);
  EXPECT_STREQ(entry->listing[0].name, "a.zip");
}

// The only folder replaces the entry under its own name: root's as vsftpd
// prints it with numeric owners, and a link without its target.
TEST_F(WorkerTest, SubFolderReplacementTakesTheFolderName) {
  const char* listings[] = {
      "drwxr-xr-x    2 0        0            4096 Jan 01  2019 docs\r\n",
      "lrwxrwxrwx    1 0        0              12 Jan 01  2019 docs -> /srv/ftp/doc\r\n",
  };
  for (const char* listing : listings) {
    SCOPED_TRACE(listing);
    ResetSites();
    FakeFtpServer server;
    server.AddSession(qbtest::ListingScript(listing, FtpReply::Line("999 never asked")));
    auto entry = Add(server.Url("/pub/"));
    SiteWorker(entry);
    EXPECT_TRUE(entry->dropped);
    ASSERT_EQ(SiteTable.count, 2);
    EXPECT_EQ(std::string(SiteAt(1)->url), server.Url("/pub/docs/"));
  }
}

TEST_F(WorkerTest, SubFolderReplacementDropsTheEntry) {
  Settings.NbRetry = 4;
  FakeFtpServer server;
  server.AddSession(qbtest::ListingScript("drwxr-xr-x 2 ftp ftp 512 Jan 12 1999 inner\r\n",
                                          FtpReply::Line("999 never asked")));
  auto entry = Add(server.Url("/pub/"));
  SiteWorker(entry);
  EXPECT_TRUE(entry->dropped);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "");
  EXPECT_TRUE(entry->listing.empty());
  EXPECT_EQ(server.Sessions(), 1u);
  ASSERT_EQ(SiteTable.count, 2);
  EXPECT_EQ(std::string(SiteAt(1)->url), server.Url("/pub/inner/"));
  EXPECT_EQ(SiteAt(1)->status, Waiting);
}

TEST_F(WorkerTest, ResetDuringAnAttemptEndsTheWorker) {
  Settings.HttpTimeOut = 60;
  Settings.NbRetry = 4;
  FakeFtpServer server;
  server.AddSession(FtpScript().Greeting(FtpReply::Silent()).Rest(FtpReply::Silent()));
  std::weak_ptr<SiteEntry> watch;
  std::future<void> done;
  {
    auto entry = Add(server.Url("/pub/"));
    watch = entry;
    done = Start(entry);
  }
  ASSERT_TRUE(server.WaitForSessions(1, 5s));
  ASSERT_TRUE(qbtest::WaitUntil([&] { return ActiveSessions == 1; }, 5s));
  auto entry = watch.lock();
  ResetSites();
  ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "");
  EXPECT_TRUE(entry->listing.empty());
  EXPECT_TRUE(entry->dropped);
  EXPECT_EQ(entry->controlSocket, -1);
  EXPECT_EQ(server.Sessions(), 1u);
  EXPECT_EQ(FinishedWorkers, 1);
  EXPECT_EQ(ActiveSessions, 0);
  entry.reset();
  EXPECT_TRUE(watch.expired());  // the worker let go of it
}

TEST_F(WorkerTest, ResetDuringThePauseEndsItEarly) {
  Settings.NbRetry = 3;
  Settings.VerifyTimeOut = 600;  // a minute with the shortened unit
  FakeFtpServer server;
  server.AddSession(FtpScript().Greeting(FtpReply::Line("421 Busy").Close()));
  auto entry = Add(server.Url("/pub/"));
  auto done = Start(entry);
  // The session was opened and the attempt has ended: the worker pauses.
  ASSERT_TRUE(server.WaitForSessions(1, 5s));
  ASSERT_TRUE(qbtest::WaitUntil([&] { return ActiveSessions == 0; }, 5s));
  const auto start = std::chrono::steady_clock::now();
  ResetSites();
  ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_EQ(server.Sessions(), 1u);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "");
  EXPECT_EQ(FinishedWorkers, 1);
}

// A server that refuses both passive commands is explored in active mode; one
// whose passive reply names no usable port fails clearly, connecting nowhere.
TEST_F(WorkerTest, PassiveModeFallsBackToActiveOnlyWhenRefused) {
  Settings.DataMode = FtpDataMode::Passive;
  const std::string listing = "-rw-r--r-- 1 ftp ftp 123456 Jan 12 10:30 a.zip\r\n";
  FakeFtpServer server;
  FtpScript refusing = qbtest::LoginScript();
  refusing.On(FtpReply::Line("250 CWD ok"))
      .On(FtpReply::Line("502 No PASV"))
      .On(FtpReply::Line("502 No EPSV"))
      .On(FtpReply::Line("200 PORT ok"))
      .OnTransfer("150 Opening data connection", {{"127.0.0.1", listing}}, "226 Transfer complete")
      .On(FtpReply::Line("200 PORT ok"))
      .On(FtpReply::Line("150 Opening"));
  server.AddSession(refusing);
  auto entry = Add(server.Url("/pub/"));
  SiteWorker(entry);
  EXPECT_EQ(entry->status, Ok);
  const auto commands = server.Commands(0);
  ASSERT_EQ(commands.size(), 11u);
  EXPECT_EQ(commands[0], "FEAT");
  EXPECT_EQ(commands[7].substr(0, 5), "PORT ");
  EXPECT_EQ(commands[10], "RETR a.zip");

  ResetSites();
  FakeFtpServer garbled;
  FtpScript bad = qbtest::LoginScript();
  bad.On(FtpReply::Line("250 CWD ok"))
      .On(FtpReply::Line("227 Entering Passive Mode (1,2,3,4,0,0)"));
  garbled.AddSession(bad);
  entry = Add(garbled.Url("/pub/"));
  SiteWorker(entry);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "getdatasocket");
  EXPECT_EQ(garbled.Commands(0).back(), "PASV");
}

// Out of descriptors the site fails with "socket" and may be tried again; the
// table and the session count stay whole.
TEST_F(WorkerTest, OutOfDescriptorsFailsTheSiteWithSocket) {
  // No server: the worker fails at socket(), and a server's thread starting
  // once the descriptors are gone could not start cleanly under sanitizers.
  auto entry = Add(ClosedPortUrl());
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  std::vector<int> hogs;
  rlimit low = saved;
  low.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  for (int fd; (fd = dup(0)) >= 0;) hogs.push_back(fd);
  SiteWorker(entry);
  for (const int fd : hogs) close(fd);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get(), "socket");
  EXPECT_EQ(SiteTable.count, 1);
  EXPECT_EQ(ActiveSessions, 0);
  EXPECT_EQ(entry->controlSocket, -1);
}

}  // namespace

#include <fcntl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "net/explore_site.h"
#include "net/ftp_session.h"
#include "net/ftp_url.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/loopback_listener.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;
using qbtest::FakeFtpServer;
using qbtest::FtpData;
using qbtest::FtpReply;
using qbtest::FtpScript;

const std::string Listing =
    "-rw-r--r-- 1 ftp ftp 123456 Jan 12 10:30 big.zip\r\n"
    "-rw-r--r-- 1 ftp ftp 2000 Jan 12 10:30 small.txt\r\n"
    "drwxr-xr-x 2 ftp ftp 512 Jan 12 1999 sub\r\n";

const std::string OneFolder = "drwxr-xr-x 2 ftp ftp 512 Jan 12 1999 pub\r\n";

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.HttpTimeOut = 5;
    Settings.DataMode = FtpDataMode::Active;  // the scripted server connects back
    ResetSites();
  }
  void TearDown() override { ResetSites(); }

  std::optional<std::string> Explore(const std::string& url) {
    entry_ = std::make_shared<SiteEntry>(url);
    auto listing = ExploreSite(entry_->url, *entry_, attempt_);
    // Still open: the entry closes it, and a second close could hit a reused descriptor.
    if (attempt_.controlFd >= 0) {
      EXPECT_NE(fcntl(attempt_.controlFd, F_GETFD), -1);
    }
    entry_->ReleaseSocket(attempt_.controlFd);
    return listing;
  }
  // Command verbs with PORT arguments dropped, for comparing whole dialogues.
  std::vector<std::string> Dialogue(std::size_t session = 0) const {
    std::vector<std::string> out;
    for (std::string c : server_.Commands(session)) {
      if (c.rfind("PORT 127,0,0,1,", 0) == 0) c = "PORT";
      out.push_back(c);
    }
    return out;
  }

  FakeFtpServer server_{"127.0.0.1"};
  std::shared_ptr<SiteEntry> entry_;
  SiteAttempt attempt_;
};

struct RetrCase {
  const char* name;
  const char* reply;
  bool refused;
};
void PrintTo(const RetrCase& c, std::ostream* os) { *os << c.name; }

class DownloadTest : public SessionTest, public ::testing::WithParamInterface<RetrCase> {};

TEST_P(DownloadTest, LargestFileIsTestedAndTheAnswerDecides) {
  const RetrCase& c = GetParam();
  server_.AddSession(qbtest::ListingScript(Listing, FtpReply::Line(c.reply)));
  const auto listing = Explore(server_.Url("/pub/"));
  ASSERT_TRUE(listing.has_value());
  EXPECT_EQ(*listing, Listing);
  EXPECT_EQ(Dialogue(),
            (std::vector<std::string>{"FEAT", "USER anonymous", "PASS qb@qb.org", "TYPE A",
                                      "CWD /pub/", "PORT", "LIST -a", "PORT", "RETR big.zip"}));
  EXPECT_EQ(entry_->testedFile.Get(), "big.zip");
  EXPECT_EQ(entry_->loginReply.Get(), "230 Welcome\r\n");
  EXPECT_EQ(attempt_.success, !c.refused);
  EXPECT_EQ(attempt_.retry, !c.refused);
  if (c.refused) {
    EXPECT_STREQ(attempt_.result, c.reply);
  }
}

INSTANTIATE_TEST_SUITE_P(Retr, DownloadTest,
                         ::testing::Values(RetrCase{"Refused550", "550 No such file", true},
                                           RetrCase{"Refused450", "450 File busy", true},
                                           RetrCase{"Accepted150", "150 Opening BINARY mode",
                                                    false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SessionTest, LoginAcceptedByUserSendsNoPassword) {
  server_.AddSession(FtpScript()
                         .On(FtpReply::Line("230 Welcome aboard"))
                         .On(FtpReply::Line("200 Type set"))
                         .On(FtpReply::Line("550 /pub/: No such directory")));
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_EQ(Dialogue(),
            (std::vector<std::string>{"FEAT", "USER anonymous", "TYPE A", "CWD /pub/"}));
  EXPECT_EQ(entry_->loginReply.Get(), "230 Welcome aboard\r\n");
  EXPECT_STREQ(attempt_.result, "550 /pub/: No such directory");
  EXPECT_FALSE(attempt_.retry);
}

TEST_F(SessionTest, RefusedAnonymousPasswordStillGoesOn) {
  server_.AddSession(FtpScript()
                         .On(FtpReply::Line("331 Password"))
                         .On(FtpReply::Line("530 Bad password"))
                         .On(FtpReply::Line("530 Please login")));
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_EQ(Dialogue(),
            (std::vector<std::string>{"FEAT", "USER anonymous", "PASS qb@qb.org", "TYPE A"}));
  EXPECT_STREQ(attempt_.result, "530 Please login");
  EXPECT_TRUE(attempt_.retry);
}

TEST_F(SessionTest, RefusedNamedLoginStops) {
  server_.AddSession(
      FtpScript().On(FtpReply::Line("331 Password")).On(FtpReply::Line("530 Login incorrect")));
  const std::string url = "ftp://bob:pw@127.0.0.1:" + std::to_string(server_.Port()) + "/pub/";
  EXPECT_FALSE(Explore(url).has_value());
  EXPECT_EQ(Dialogue(), (std::vector<std::string>{"FEAT", "USER bob", "PASS pw"}));
  EXPECT_STREQ(attempt_.result, "530 Login incorrect");
  EXPECT_TRUE(attempt_.retry);
}

TEST_F(SessionTest, CwdAnsweredOtherwiseKeepsRetry) {
  server_.AddSession(qbtest::LoginScript().On(FtpReply::Line("421 Too many users")));
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_STREQ(attempt_.result, "421 Too many users");
  EXPECT_TRUE(attempt_.retry);
}

TEST_F(SessionTest, MultiLineBannerIsKeptAsLoginReply) {
  const std::string banner = "230-Hello\r\n230-Mirror of everything\r\n230 Logged in\r\n";
  server_.AddSession(FtpScript()
                         .On(FtpReply::Line("331 Password"))
                         .On(FtpReply::Raw(banner))
                         .On(FtpReply::Line("200 Type set"))
                         .On(FtpReply::Line("550 No")));
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_EQ(entry_->loginReply.Get(), banner);
  EXPECT_STREQ(attempt_.result, "550 No");
}

TEST_F(SessionTest, DosListingAsksForUnixStyleOnce) {
  const std::string dos = "01-12-99  10:30AM       <DIR>          pub\r\n";
  FtpScript script = qbtest::BeforeListScript();
  script.OnTransfer("150 Opening", {{"127.0.0.1", dos}}, "226 Done")
      .On(FtpReply::Line("200 Ignored"))
      .On(FtpReply::Line("200 PORT ok"))
      .OnTransfer("150 Opening", {{"127.0.0.1", dos}}, "226 Done");
  server_.AddSession(script);
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_EQ(Dialogue(), (std::vector<std::string>{"FEAT", "USER anonymous", "PASS qb@qb.org",
                                                  "TYPE A", "CWD /pub/", "PORT", "LIST -a",
                                                  "SITE DIRSTYLE", "PORT", "LIST -a"}));
  EXPECT_STREQ(attempt_.result, "No files");
  EXPECT_FALSE(attempt_.retry);
}

TEST_F(SessionTest, SingleFolderIsReplacedByIt) {
  FtpScript script = qbtest::ListingScript(OneFolder, FtpReply::Line("999 never asked"));
  server_.AddSession(script);
  const std::string url = server_.Url("/a/");
  EXPECT_FALSE(Explore(url).has_value());
  EXPECT_STREQ(attempt_.result, "!delete");
  EXPECT_FALSE(attempt_.retry);
  EXPECT_EQ(Dialogue().back(), "LIST -a");
  auto added = SiteAt(0);
  ASSERT_NE(added, nullptr);
  EXPECT_STREQ(added->url, (url + "pub/").c_str());
}

TEST_F(SessionTest, NoAnswerToRetrIsNoReply) {
  Settings.HttpTimeOut = 1;
  server_.AddSession(qbtest::ListingScript(Listing, FtpReply::Silent()));
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_STREQ(attempt_.result, "NoReply");
  EXPECT_TRUE(attempt_.retry);
  EXPECT_EQ(entry_->testedFile.Get(), "big.zip");
}

// No answer to the listing is no verdict on the folder: the site is tried again.
TEST_F(SessionTest, NoAnswerToListIsNoReply) {
  Settings.HttpTimeOut = 1;
  FtpScript script = qbtest::BeforeListScript();
  script.On(FtpReply::Silent());
  server_.AddSession(script);
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_STREQ(attempt_.result, "NoReply");
  EXPECT_TRUE(attempt_.retry);
}

TEST_F(SessionTest, DataConnectionThatNeverComesIsAnEmptyListing) {
  Settings.HttpTimeOut = 1;
  FtpScript script = qbtest::BeforeListScript();
  script.On(FtpReply::Line("150 Opening"));
  server_.AddSession(script);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  EXPECT_STREQ(attempt_.result, "No files");
}

TEST_F(SessionTest, DataFromAnotherAddressIsNotRead) {
  server_.AddSession(qbtest::ListingScript(
      Listing, FtpReply::Line("150 Opening"),
      {{"127.0.0.9", "-rw-r--r-- 1 ftp ftp 999999 Jan 12 10:30 injected.exe\r\n"},
       {"127.0.0.1", Listing}}));
  const auto listing = Explore(server_.Url("/pub/"));
  ASSERT_TRUE(listing.has_value());
  EXPECT_EQ(*listing, Listing);
  EXPECT_EQ(server_.DataConnected(0), 2);
  EXPECT_EQ(entry_->testedFile.Get(), "big.zip");
}

TEST_F(SessionTest, ListingOnlyFromAnotherAddressGivesNoFiles) {
  Settings.HttpTimeOut = 1;
  FtpScript script = qbtest::BeforeListScript();
  script.OnTransfer("150 Opening", {{"127.0.0.9", Listing}}, "226 Done");
  server_.AddSession(script);
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_EQ(server_.DataConnected(0), 1);
  EXPECT_STREQ(attempt_.result, "No files");
}

TEST_F(SessionTest, ListingWithBareLineFeedsGivesNoFiles) {
  std::string bare = Listing;
  for (std::size_t at; (at = bare.find('\r')) != std::string::npos;) bare.erase(at, 1);
  FtpScript script = qbtest::BeforeListScript();
  script.OnTransfer("150 Opening", {{"127.0.0.1", bare}}, "226 Done");
  server_.AddSession(script);
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_STREQ(attempt_.result, "No files");
}

TEST_F(SessionTest, OversizedListingIsCut) {
  std::string big;
  while (big.size() < 70000) big += "-rw-r--r-- 1 ftp ftp 123456 Jan 12 10:30 file.bin\r\n";
  server_.AddSession(qbtest::ListingScript(big, FtpReply::Line("150 Opening")));
  const auto listing = Explore(server_.Url("/pub/"));
  ASSERT_TRUE(listing.has_value());
  // Only the complete lines before the cap are kept, and the entry says so.
  const std::string kept = big.substr(0, ListingCapacity);
  EXPECT_EQ(*listing, kept.substr(0, kept.rfind('\n') + 1));
  EXPECT_TRUE(entry_->listingCut);
}

TEST_F(SessionTest, ANulInsideANameDropsThatLineOnly) {
  std::string text = "-rw-r--r-- 1 ftp ftp 10 Jan 12 10:30 a.bin\r\n";
  text += std::string("-rw-r--r-- 1 ftp ftp 999 Jan 12 10:30 b") + '\0' + "ad.bin\r\n";
  text += "-rw-r--r-- 1 ftp ftp 500 Jan 12 10:30 c.bin\r\n";
  server_.AddSession(qbtest::ListingScript(text, FtpReply::Line("150 Opening")));
  const auto listing = Explore(server_.Url("/pub/"));
  ASSERT_TRUE(listing.has_value());
  EXPECT_EQ(*listing, text);  // the whole listing, past the NUL
  EXPECT_EQ(entry_->testedFile.Get(), "c.bin");
  EXPECT_FALSE(entry_->listingCut);
}

// "426" after the data: what came is shown, and said to be only part.
TEST_F(SessionTest, AListingTheServerAbortsIsCut) {
  const std::string text = "-rw-r--r-- 1 ftp ftp 10 Jan 12 10:30 a.bin\r\n";
  FtpScript script = qbtest::BeforeListScript();
  script.OnTransfer("150 Opening", {{"127.0.0.1", text}}, "426 Connection closed; transfer aborted")
      .On(FtpReply::Line("200 PORT ok"))
      .On(FtpReply::Line("150 Opening"));
  server_.AddSession(std::move(script));
  const auto listing = Explore(server_.Url("/pub/"));
  ASSERT_TRUE(listing.has_value());
  EXPECT_EQ(*listing, text);
  EXPECT_TRUE(entry_->listingCut);
}

TEST_F(SessionTest, SilentServerFailsWithinTheTimeOut) {
  Settings.HttpTimeOut = 1;
  server_.AddSession(FtpScript().Greeting(FtpReply::Silent()).Rest(FtpReply::Silent()));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Explore(server_.Url("/pub/")).has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_STREQ(attempt_.result, "");
  EXPECT_TRUE(attempt_.retry);
}

TEST_F(SessionTest, RefusedConnectionIsConnect) {
  const uint16_t port = qbtest::ClosedLoopbackPort();  // nothing listens there
  EXPECT_FALSE(Explore("ftp://127.0.0.1:" + std::to_string(port) + "/").has_value());
  EXPECT_STREQ(attempt_.result, "connect");
  EXPECT_TRUE(attempt_.retry);
  EXPECT_EQ(entry_->controlSocket, -1);
}

TEST_F(SessionTest, ConnectionSetUpIsBoundedByTheTimeOut) {
  Settings.HttpTimeOut = 1;
  // A listener that never accepts: once its queue is full, further handshakes
  // get no answer at all.
  const qbtest::FullLoopbackListener full;
  ASSERT_TRUE(full.Ok());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Explore("ftp://127.0.0.1:" + std::to_string(full.Port()) + "/").has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_STREQ(attempt_.result, "connect");
}

TEST_F(SessionTest, PortOutOfRangeIsConnectNotAnotherPort) {
  EXPECT_FALSE(
      Explore("ftp://127.0.0.1:" + std::to_string(65536 + server_.Port()) + "/").has_value());
  EXPECT_STREQ(attempt_.result, "connect");
  EXPECT_EQ(server_.Sessions(), 0u);
}

// A retrieve stopped by its sink on a kept session: what the server says
// after our ABOR must not be left for the next command to read.
class StoppedRetrieveTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    Settings.Tls = TlsMode::WhenOffered;  // the scripted server offers none
  }

  // Logs in, then RETR answered by "150", a few bytes and retrEnd; the ABOR
  // that the stop sends is answered by abor, and "SIZE /next" by "213 7".
  void Script(const std::string& retrEnd, FtpReply abor) {
    FtpScript script = qbtest::LoginScript();  // USER, PASS, then TYPE I here
    script.On(FtpReply::Line("200 PORT ok"))
        .OnTransfer("150 Opening data connection", {{"127.0.0.1", "bytes"}}, retrEnd)
        .On(std::move(abor))
        .On(FtpReply::Line("213 7"));
    server_.AddSession(std::move(script));
  }

  // The retrieve, stopped at its first bytes; then the next command's reply.
  bool StopThenAsk(qb::FtpReply& next) {
    FtpUrlParts parts;
    ParseFtpUrl(server_.Url("/").c_str(), parts);
    FtpSession session(SessionOptionsFor(parts, nullptr));
    std::string loginText;
    qb::FtpReply reply;
    EXPECT_TRUE(session.Open(parts, loginText)) << session.Result();
    EXPECT_TRUE(session.Command("TYPE I", '2', reply)) << session.Result();
    int64_t from = 0;
    int pieces = 0;
    EXPECT_FALSE(session.Retrieve("/file", from, [&](const char*, std::size_t) {
      ++pieces;
      return false;
    }));
    EXPECT_EQ(pieces, 1);
    return session.Quietly("SIZE /next", next);
  }
};

TEST_F(StoppedRetrieveTest, NextCommandGetsItsOwnReply) {
  struct Case {
    const char* what;
    const char* retrEnd;
    const char* abor;
  };
  const Case cases[] = {
      // The file was all sent before the ABOR came: the ABOR's reply follows
      // the transfer's "226".
      {"sent before the ABOR", "226 Transfer complete", "225 No transfer to ABOR"},
      {"sent before the ABOR, 226 twice", "226 Transfer complete", "226 ABOR successful"},
      {"cut by the ABOR", "426 Transfer aborted", "226 ABOR successful"},
      {"failed on its own", "451 Local error", "225 No transfer to ABOR"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Script(c.retrEnd, FtpReply::Line(c.abor));  // for the next session
    qb::FtpReply next;
    EXPECT_TRUE(StopThenAsk(next));
    EXPECT_EQ(next.code, 213) << next.line;
  }
}

TEST_F(StoppedRetrieveTest, UnansweredAborLeavesNoSessionToMisread) {
  Settings.HttpTimeOut = 2;
  Script("226 Transfer complete", FtpReply::Silent());
  qb::FtpReply next;
  const auto start = std::chrono::steady_clock::now();
  // No command goes out on a session whose replies may still be in flight.
  EXPECT_FALSE(StopThenAsk(next));
  EXPECT_EQ(next.code, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  // FEAT, USER, PASS, TYPE I, PORT, RETR, ABOR.
  ASSERT_TRUE(server_.WaitForCommands(0, 7, 5s));
  const std::vector<std::string> dialogue = Dialogue();
  EXPECT_EQ(dialogue.back(), "ABOR");
}

}  // namespace

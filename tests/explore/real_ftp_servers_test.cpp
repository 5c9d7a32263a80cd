// The exploration against vsftpd and ProFTPD as Debian ships them, in both data
// modes and over IPv6.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "core/trusted_certificates.h"
#include "explore/host_slots.h"
#include "explore/site_worker.h"
#include "net/ftp_url.h"
#include "net/tls_stream.h"
#include "tests/support/pyftpd_fixture.h"
#include "tests/support/real_ftpd.h"

using namespace qb;
using qbtest::Ftpd;

namespace {

constexpr int ManyFiles = 1500;  // their listing is longer than the listing cap

std::string ManyName(int i) {
  return "a-file-whose-name-is-long-enough-to-fill-" + std::to_string(i) + ".bin";
}

// The server, the data mode, and whether the server offers TLS (the client
// then uses it, trusting the test authority).
using ServerCase = std::tuple<Ftpd, FtpDataMode, bool>;

class RealFtpServersTest : public ::testing::TestWithParam<ServerCase> {
 protected:
  static void SetUpTestSuite() {
    tree_ = new qbtest::TempDir;
    tree_->File("pub/small.bin", 1000);
    tree_->File("pub/big.bin", 200000);
    tree_->Folder("pub/docs");
    tree_->File("locked/small.bin", 2000);
    tree_->File("locked/huge.bin", 100000);
    chmod((tree_->Path() + "/locked/huge.bin").c_str(), 0);
    tree_->Folder("empty");
    tree_->File("only/inner/a.bin", 10);
    for (int i = 0; i < ManyFiles; ++i) tree_->File("many/" + ManyName(i), 1);
  }
  static void TearDownTestSuite() {
    delete tree_;
    tree_ = nullptr;
  }

  void SetUp() override {
    ResetSites();
    Settings.DataMode = std::get<1>(GetParam());
    Settings.HttpTimeOut = 10;
    Settings.NbRetry = 1;
    Settings.VerifyTimeOut = 0;  // no pause after a failed attempt
  }
  void TearDown() override {
    ResetSites();
    SetExtraTrustFile("");
  }

  bool Tls() const { return std::get<2>(GetParam()); }
  // The dates a listing shows: MLSD's where the server offers it.
  bool Mlsd() const { return std::get<0>(GetParam()) != Ftpd::Vsftpd; }

  // Starts the server of this run on address; false (and the test skipped) where
  // it cannot run, unless CI asks for every server.
  bool Serve(const char* address = "127.0.0.1") {
    qbtest::FtpdOptions options;
    options.tls = Tls();
    server_ = std::make_unique<qbtest::RealFtpd>(std::get<0>(GetParam()), tree_->Path(), address,
                                                 options);
    if (server_->Unavailable().empty()) {
      if (Tls()) SetExtraTrustFile(server_->CaFile());
      return true;
    }
    if (const char* required = std::getenv("QB_REQUIRE_FTPD"); required && *required == '1') {
      ADD_FAILURE() << server_->Unavailable();
    }
    return false;
  }

  std::shared_ptr<SiteEntry> Explore(std::string url) {
    bool added = false;
    AddUniqueSite(url, added, true);
    auto entry = SiteAt(0);
    entry->status = Exploring;
    SiteWorker(entry);
    return entry;
  }

  static std::vector<std::string> Names(const SiteEntry& entry) {
    std::lock_guard<std::mutex> hold(ListingLock);
    std::vector<std::string> names;
    for (const ListingEntry& e : entry.listing) names.emplace_back(e.name);
    return names;
  }

  static qbtest::TempDir* tree_;
  std::unique_ptr<qbtest::RealFtpd> server_;
};

qbtest::TempDir* RealFtpServersTest::tree_ = nullptr;

#define SERVE_OR_SKIP(...)                                         \
  if (!Serve(__VA_ARGS__)) GTEST_SKIP() << server_->Unavailable(); \
  SCOPED_TRACE(server_->Log())

TEST_P(RealFtpServersTest, ReadableFolderIsListedAndItsLargestFileAccepted) {
  SERVE_OR_SKIP();
  auto entry = Explore(server_->Url("/pub/"));
  EXPECT_EQ(entry->status, Ok);
  EXPECT_EQ(entry->statusText.Get(), "ok");
  EXPECT_EQ(entry->testedFile.Get(), "big.bin");
  EXPECT_EQ(entry->loginReply.Get().substr(0, 3), "230");
  const std::vector<std::string> expected = {"big.bin", "docs", "small.bin"};
  EXPECT_EQ(Names(*entry), expected);
  EXPECT_EQ(entry->tls, Tls() ? SiteTls::Verified : SiteTls::None);
  std::lock_guard<std::mutex> hold(ListingLock);
  ASSERT_FALSE(entry->listing.empty());
  const ListingEntry& big = entry->listing.front();
  EXPECT_EQ(big.size, 200000);
  // MLSD's modification time is UTC, "YYYY-MM-DD HH:MM"; LIST's as the server writes it.
  EXPECT_EQ(std::isdigit(static_cast<unsigned char>(big.date[0])) != 0, Mlsd()) << big.date;
}

TEST_P(RealFtpServersTest, UnreadableLargestFileIsRefusedWithTheServersLine) {
  SERVE_OR_SKIP();
  auto entry = Explore(server_->Url("/locked/"));
  EXPECT_EQ(entry->status, Refused);
  EXPECT_EQ(entry->statusText.Get().substr(0, 4), "550 ") << entry->statusText.Get();
  EXPECT_EQ(entry->testedFile.Get(), "huge.bin");
  const std::vector<std::string> expected = {"huge.bin", "small.bin"};
  EXPECT_EQ(Names(*entry), expected);
}

TEST_P(RealFtpServersTest, FoldersWithoutAFileEndAsTheyShould) {
  SERVE_OR_SKIP();
  auto empty = Explore(server_->Url("/empty/"));
  EXPECT_EQ(empty->status, Failed);
  EXPECT_EQ(empty->statusText.Get(), "No files");

  ResetSites();
  auto missing = Explore(server_->Url("/nothere/"));
  EXPECT_EQ(missing->status, Failed);
  EXPECT_EQ(missing->statusText.Get().substr(0, 4), "550 ") << missing->statusText.Get();

  // A folder that only leads to another is replaced by it.
  ResetSites();
  auto only = Explore(server_->Url("/only/"));
  EXPECT_TRUE(only->dropped);
  ASSERT_EQ(SiteTable.count, 2);
  EXPECT_EQ(std::string(SiteAt(1)->url), server_->Url("/only/inner/"));
}

TEST_P(RealFtpServersTest, WrongLoginFailsWithTheServersLine) {
  SERVE_OR_SKIP();
  std::string url = server_->Url("/pub/");
  url.insert(6, "bob:wrong@");
  auto entry = Explore(url);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get().substr(0, 4), "530 ") << entry->statusText.Get();
  EXPECT_TRUE(Names(*entry).empty());
}

TEST_P(RealFtpServersTest, ListingLongerThanTheCapKeepsOnlyWholeLines) {
  SERVE_OR_SKIP();
  auto entry = Explore(server_->Url("/many/"));
  EXPECT_EQ(entry->status, Ok);
  EXPECT_TRUE(entry->listingCut);
  const std::vector<std::string> names = Names(*entry);
  EXPECT_GT(names.size(), 100u);
  EXPECT_LT(names.size(), static_cast<std::size_t>(ManyFiles));
  for (const std::string& name : names) {
    EXPECT_EQ(name.rfind("a-file-whose-name", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".bin") << name;
  }
}

TEST_P(RealFtpServersTest, SiteOnIpv6Loopback) {
  SERVE_OR_SKIP("::1");
  auto entry = Explore(server_->Url("/pub/"));
  EXPECT_EQ(entry->status, Ok);
  EXPECT_EQ(entry->testedFile.Get(), "big.bin");
  EXPECT_EQ(Names(*entry).size(), 3u);
}

std::string CaseName(const ::testing::TestParamInfo<ServerCase>& p) {
  std::string name = qbtest::FtpdName(std::get<0>(p.param));
  std::erase(name, '-');
  return name + "_" + DataModeText(std::get<1>(p.param)) + (std::get<2>(p.param) ? "_tls" : "");
}

INSTANTIATE_TEST_SUITE_P(
    ServersAndModes, RealFtpServersTest,
    ::testing::Combine(::testing::Values(Ftpd::Vsftpd, Ftpd::Proftpd, Ftpd::PureFtpd),
                       ::testing::Values(FtpDataMode::Passive, FtpDataMode::Active),
                       ::testing::Bool()),
    CaseName);

}  // namespace

// The certificate decides only where a password is at stake.
class TlsTrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSites();
    Settings.DataMode = FtpDataMode::Passive;
    Settings.HttpTimeOut = 10;
    Settings.NbRetry = 1;
    Settings.VerifyTimeOut = 0;
    Settings.Tls = TlsMode::WhenOffered;
    tree_.File("pub/a.bin", 100);
    savedExeDir_ = ExeDir;
    ExeDir = config_.Path() + "/";  // where the accepted certificates are kept
  }
  void TearDown() override {
    ResetSites();
    ExeDir = savedExeDir_;
    Settings.Tls = TlsMode::WhenOffered;
  }

  bool Serve(bool tls) {
    qbtest::FtpdOptions options;
    options.tls = tls;
    server_ = std::make_unique<qbtest::RealFtpd>(Ftpd::Vsftpd, tree_.Path(), "127.0.0.1", options);
    return server_->Unavailable().empty();
  }
  std::shared_ptr<SiteEntry> Explore(std::string url) {
    ResetSites();
    bool added = false;
    AddUniqueSite(url, added, true);
    auto entry = SiteAt(0);
    entry->status = Exploring;
    SiteWorker(entry);
    return entry;
  }

  qbtest::TempDir tree_;
  qbtest::TempDir config_;
  std::string savedExeDir_;
  std::unique_ptr<qbtest::RealFtpd> server_;
};

TEST_F(TlsTrustTest, UnverifiedCertificateServesAnonymousButNotAPassword) {
  if (!Serve(true)) GTEST_SKIP() << server_->Unavailable();
  auto anonymous = Explore(server_->Url("/pub/"));
  EXPECT_EQ(anonymous->status, Ok) << anonymous->statusText.Get();
  EXPECT_EQ(anonymous->tls, SiteTls::Unverified);
  EXPECT_EQ(anonymous->certificate.Get(), server_->CertificateSha256());

  std::string named = server_->Url("/pub/");
  named.insert(6, "bob:secret@");
  auto refused = Explore(named);
  EXPECT_EQ(refused->status, Failed);
  EXPECT_EQ(refused->statusText.Get(), "TLS: certificate not trusted");
  EXPECT_EQ(refused->certificate.Get(), server_->CertificateSha256());

  // Accepted by the user, the same certificate lets the login be tried: the
  // server itself then turns bob away.
  FtpUrlParts parts;
  ParseFtpUrl(named.c_str(), parts);
  ASSERT_TRUE(
      TrustCertificate(CertificateHost(parts.host, parts.port), server_->CertificateSha256()));
  auto trusted = Explore(named);
  EXPECT_EQ(trusted->statusText.Get().substr(0, 4), "530 ") << trusted->statusText.Get();
  EXPECT_EQ(trusted->tls, SiteTls::Verified);
}

TEST_F(TlsTrustTest, RequiredTlsFailsAPlainServerAndNeverSpeaksPlainToATlsOne) {
  if (!Serve(false)) GTEST_SKIP() << server_->Unavailable();
  Settings.Tls = TlsMode::Required;
  auto plain = Explore(server_->Url("/pub/"));
  EXPECT_EQ(plain->status, Failed);
  EXPECT_EQ(plain->statusText.Get(), "TLS: not offered");

  if (!Serve(true)) GTEST_SKIP() << server_->Unavailable();
  Settings.Tls = TlsMode::Never;
  auto never = Explore(server_->Url("/pub/"));
  EXPECT_EQ(never->status, Ok) << never->statusText.Get();
  EXPECT_EQ(never->tls, SiteTls::None);
}

// Names written in a legacy charset are shown in UTF-8, while the commands
// use the server's bytes: the largest file, so the download test asks for it.
TEST(LegacyCharsetTest, NamesAreShownConvertedAndFetchedByTheirBytes) {
  ResetSites();
  Settings.DataMode = FtpDataMode::Passive;
  Settings.HttpTimeOut = 10;
  Settings.NbRetry = 1;
  qbtest::TempDir tree;
  tree.File("latin/caf\xE9.bin", 5000);  // "café" in Latin-1
  tree.File("latin/plain.bin", 10);
  tree.File("cyr/\xCF\xF0\xE8\xE2\xE5\xF2.bin", 5000);  // "Привет" in CP1251
  tree.File("cyr/\xEC\xE8\xF0.txt", 10);                // "мир"
  tree.File("cyr/\xE4\xE0.txt", 10);                    // "да"
  qbtest::RealFtpd server(Ftpd::Vsftpd, tree.Path());
  if (!server.Unavailable().empty()) GTEST_SKIP() << server.Unavailable();
  struct Case {
    const char* path;
    const char* charset;  // as set for the site; empty: detected
    const char* shown;
    const char* bytes;
  };
  for (const Case& c :
       {Case{"/latin/", "", "caf\xC3\xA9.bin", "caf\xE9.bin"},
        Case{"/cyr/", "CP1251", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.bin",
             "\xCF\xF0\xE8\xE2\xE5\xF2.bin"}}) {
    SCOPED_TRACE(c.path);
    ResetSites();
    std::string url = server.Url(c.path);
    bool added = false;
    AddUniqueSite(url, added, true);
    auto entry = SiteAt(0);
    entry->charset.Set(c.charset);
    entry->status = Exploring;
    SiteWorker(entry);
    EXPECT_EQ(entry->status, Ok) << entry->statusText.Get();
    EXPECT_EQ(entry->testedFile.Get(), c.bytes);
    std::lock_guard<std::mutex> hold(ListingLock);
    bool found = false;
    for (const ListingEntry& e : entry->listing) {
      if (e.serverName != c.bytes) continue;
      found = true;
      EXPECT_STREQ(e.name, c.shown);
    }
    EXPECT_TRUE(found);
  }
}

// Eight sessions at once against a server that allows two from one address:
// the sites wait their turn and every one ends Ok.
TEST(ConnectionLimitTest, EverySiteEndsOkBehindATwoSessionLimit) {
  ResetSites();
  Settings.DataMode = FtpDataMode::Passive;
  Settings.HttpTimeOut = 10;
  Settings.NbRetry = 1;
  Settings.VerifyTimeOut = 0;
  LimitPauseUnitMs = 10;
  qbtest::TempDir tree;
  constexpr int Sites = 8;
  for (int i = 0; i < Sites; ++i) tree.File("f" + std::to_string(i) + "/a.bin", 100 + i);
  qbtest::FtpdOptions options;
  options.maxPerHost = 2;
  qbtest::RealFtpd server(Ftpd::Proftpd, tree.Path(), "127.0.0.1", options);
  if (!server.Unavailable().empty()) GTEST_SKIP() << server.Unavailable();
  std::vector<std::shared_ptr<SiteEntry>> entries;
  for (int i = 0; i < Sites; ++i) {
    std::string url = server.Url("/f" + std::to_string(i) + "/");
    bool added = false;
    AddUniqueSite(url, added, true);
    entries.push_back(SiteAt(i));
  }
  std::vector<std::thread> workers;
  for (auto& entry : entries) {
    entry->status = Exploring;
    workers.emplace_back([entry] { SiteWorker(entry); });
  }
  for (std::thread& t : workers) t.join();
  for (auto& entry : entries) {
    EXPECT_EQ(entry->status, Ok) << entry->url << ": " << entry->statusText.Get();
  }
  SessionsPerHost.Clear();
  LimitPauseUnitMs = 1000;
  ResetSites();
}

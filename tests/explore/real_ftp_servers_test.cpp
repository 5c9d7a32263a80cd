// The exploration against vsftpd and ProFTPD as Debian ships them, in both data
// modes and over IPv6.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "explore/site_worker.h"
#include "tests/support/pyftpd_fixture.h"
#include "tests/support/real_ftpd.h"

using namespace qb;
using qbtest::Ftpd;

namespace {

constexpr int ManyFiles = 1500;  // their listing is longer than the listing cap

std::string ManyName(int i) {
  return "a-file-whose-name-is-long-enough-to-fill-" + std::to_string(i) + ".bin";
}

class RealFtpServersTest : public ::testing::TestWithParam<std::tuple<Ftpd, FtpDataMode>> {
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
  void TearDown() override { ResetSites(); }

  // Starts the server of this run on address; false (and the test skipped) where
  // it cannot run, unless CI asks for every server.
  bool Serve(const char* address = "127.0.0.1") {
    server_ = std::make_unique<qbtest::RealFtpd>(std::get<0>(GetParam()), tree_->Path(), address);
    if (server_->Unavailable().empty()) return true;
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

INSTANTIATE_TEST_SUITE_P(ServersAndModes, RealFtpServersTest,
                         ::testing::Combine(::testing::Values(Ftpd::Vsftpd, Ftpd::Proftpd),
                                            ::testing::Values(FtpDataMode::Passive,
                                                              FtpDataMode::Active)),
                         [](const auto& p) {
                           return std::string(std::get<0>(p.param) == Ftpd::Vsftpd ? "vsftpd"
                                                                                   : "proftpd") +
                                  "_" + DataModeText(std::get<1>(p.param));
                         });

}  // namespace

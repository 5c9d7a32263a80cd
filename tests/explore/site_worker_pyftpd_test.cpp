// The site worker against a real FTP server, with the real timings, in both
// data modes.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "explore/exploration_scheduler.h"
#include "explore/site_worker.h"
#include "tests/support/pyftpd_fixture.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;

const std::string LongTarget = "the-middle-sized-file-in-this-folder.bin";  // longer than any day

class RealServerTest : public ::testing::TestWithParam<FtpDataMode> {
 protected:
  void SetUp() override {
    ResetSites();
    Settings.DataMode = GetParam();
    Settings.HttpTimeOut = 10;
    Settings.NbRetry = 4;
    Settings.VerifyTimeOut = 15;
    tree_.File("pub/small.bin", 1000);
    tree_.File("pub/" + LongTarget, 50000);
    tree_.File("pub/big.bin", 200000);
    tree_.File("pub/.hidden", 3000);
    tree_.Folder("pub/docs");
    tree_.Folder("pub/home");
    tree_.Link("pub/latest", LongTarget);
    tree_.File("locked/small.bin", 2000);
    tree_.File("locked/huge.refused", 100000);
    server_ = std::make_unique<qbtest::PyFtpd>(tree_.Path());
    ASSERT_TRUE(server_->Ready());
  }
  void TearDown() override { ResetSites(); }

  std::shared_ptr<SiteEntry> Explore(const std::string& path) {
    std::string url = server_->Url(path);
    bool added = false;
    AddUniqueSite(url, added, true);
    auto entry = SiteAt(0);
    entry->status = Exploring;
    SiteWorker(entry);
    return entry;
  }

  struct Node {
    std::string name;
    int64_t size;
    bool folder;
    bool operator==(const Node&) const = default;
  };
  static std::vector<Node> Nodes(const SiteEntry& entry) {
    std::lock_guard<std::mutex> hold(ListingLock);
    std::vector<Node> out;
    for (const ListingEntry& e : entry.listing) {
      out.push_back({e.name, e.size, e.isFolder != 0});
      if (!e.isFolder) {
        EXPECT_NE(e.date[0], '\0') << e.name;
      }
    }
    return out;
  }

  qbtest::TempDir tree_;
  std::unique_ptr<qbtest::PyFtpd> server_;
};

TEST_P(RealServerTest, FolderIsListedAndItsLargestFileAccepted) {
  auto entry = Explore("/pub/");
  EXPECT_EQ(entry->status, Ok);
  EXPECT_EQ(entry->statusText.Get(), "ok");
  EXPECT_EQ(entry->testedFile.Get(), "big.bin");
  EXPECT_NE(entry->loginReply.Get().find("230"), std::string::npos);
  // Listed by MLSD, which this server offers: a link shows as what it leads to.
  const std::vector<Node> expected = {
      {"big.bin", 200000, false}, {"docs", 0, true},          {"latest", 50000, false},
      {"small.bin", 1000, false}, {LongTarget, 50000, false},
  };
  EXPECT_EQ(Nodes(*entry), expected);
}

TEST_P(RealServerTest, RefusedLargestFileEndsRefusedWithTheServersLine) {
  auto entry = Explore("/locked/");
  EXPECT_EQ(entry->status, Refused);
  EXPECT_EQ(entry->statusText.Get(), "550 Permission denied.");
  EXPECT_EQ(entry->testedFile.Get(), "huge.refused");
  const std::vector<Node> expected = {{"huge.refused", 100000, false}, {"small.bin", 2000, false}};
  EXPECT_EQ(Nodes(*entry), expected);
}

TEST_P(RealServerTest, MissingFolderFailsAfterOneAttempt) {
  const auto start = std::chrono::steady_clock::now();
  auto entry = Explore("/nothere/");
  // A second attempt would first pause VerifyTimeOut (15 s).
  EXPECT_LT(std::chrono::steady_clock::now() - start, 14s);
  EXPECT_EQ(entry->status, Failed);
  EXPECT_EQ(entry->statusText.Get().rfind("550 ", 0), 0u) << entry->statusText.Get();
  EXPECT_TRUE(Nodes(*entry).empty());
}

INSTANTIATE_TEST_SUITE_P(DataModes, RealServerTest,
                         ::testing::Values(FtpDataMode::Passive, FtpDataMode::Active),
                         [](const auto& mode) { return std::string(DataModeText(mode.param)); });

}  // namespace

#include "core/site_table.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

using namespace qb;

namespace {

class SiteTableTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetSites(); }
  void TearDown() override {
    ResetSites();
    SetClearSitesHook(nullptr);
  }
  static bool Add(std::string url, bool contained) {
    bool added = false;
    AddUniqueSite(url, added, contained);
    return added;
  }
};

TEST_F(SiteTableTest, AppendsSlashToStoredUrlAndCallersText) {
  std::string url = "ftp://h/pub";
  bool added = false;
  AddUniqueSite(url, added, true);
  EXPECT_TRUE(added);
  EXPECT_EQ(url, "ftp://h/pub/");
  ASSERT_EQ(SiteTable.count, 1);
  auto e = SiteAt(0);
  EXPECT_STREQ(e->url, "ftp://h/pub/");
  EXPECT_EQ(e->status, Waiting);
  EXPECT_FALSE(e->dropped);
  EXPECT_EQ(e->controlSocket, -1);
  EXPECT_EQ(e->statusText.Get(), "");
}

TEST_F(SiteTableTest, ContainedMatchRejectsEqualAndBelowButNotAbove) {
  ASSERT_TRUE(Add("ftp://h/pub/", true));
  EXPECT_FALSE(Add("ftp://H/PUB/sub/", true));
  EXPECT_FALSE(Add("ftp://h/pub/", true));
  EXPECT_TRUE(Add("ftp://h/", true));
  EXPECT_EQ(SiteTable.count, 2);
  EXPECT_STREQ(SiteAt(1)->url, "ftp://h/");
}

TEST_F(SiteTableTest, ExactMatchRejectsOnlyEqualIgnoringCase) {
  ASSERT_TRUE(Add("ftp://h/pub/", false));
  EXPECT_TRUE(Add("ftp://h/pub/sub/", false));
  EXPECT_FALSE(Add("FTP://H/PUB/", false));
  EXPECT_STREQ(SiteAt(1)->url, "ftp://h/pub/sub/");
}

TEST_F(SiteTableTest, KeepsLetterCaseOfTheUrlAsGiven) {
  ASSERT_TRUE(Add("ftp://Host.Example/Pub/", true));
  EXPECT_STREQ(SiteAt(0)->url, "ftp://Host.Example/Pub/");
}

TEST_F(SiteTableTest, DroppedEntriesStillBlockTheirUrls) {
  ASSERT_TRUE(Add("ftp://h/pub/", true));
  SiteAt(0)->dropped = true;
  EXPECT_FALSE(Add("ftp://h/pub/x/", true));
}

TEST_F(SiteTableTest, LongUrlIsCutTo449CharactersForStoreAndCompare) {
  std::string longUrl = "ftp://h/" + std::string(500, 'a');
  ASSERT_TRUE(Add(longUrl, true));
  auto e = SiteAt(0);
  EXPECT_EQ(strlen(e->url), 449u);
  EXPECT_NE(e->url[448], '/');
  // The same first 449 characters with a different tail is a duplicate.
  EXPECT_FALSE(Add("ftp://h/" + std::string(441, 'a') + "zzz/", true));
}

TEST_F(SiteTableTest, FullTableRefusesNewUrls) {
  for (int i = 0; i < SiteCapacity; ++i)
    ASSERT_TRUE(Add("ftp://h" + std::to_string(i) + ".x/", false));
  EXPECT_EQ(SiteTable.count, SiteCapacity);
  EXPECT_FALSE(Add("ftp://one.more/", false));
  EXPECT_EQ(SiteTable.count, SiteCapacity);
}

TEST_F(SiteTableTest, ResetKeepsHeldEntryAliveAndAbortsItsSession) {
  ASSERT_TRUE(Add("ftp://h/pub/", true));
  ASSERT_TRUE(Add("ftp://g/pub/", true));
  std::shared_ptr<SiteEntry> held = SiteAt(0);
  std::weak_ptr<SiteEntry> idle = SiteAt(1);

  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  held->AttachSocket(pair[0]);
  auto blocked = std::async(std::launch::async, [&] {
    char c;
    return recv(pair[0], &c, 1, 0);  // wakes only through the reset
  });

  ResetSites();
  EXPECT_EQ(SiteTable.count, 0);
  EXPECT_TRUE(idle.expired());
  EXPECT_TRUE(held->dropped);
  EXPECT_EQ(held->controlSocket, -1);
  EXPECT_STREQ(held->url, "ftp://h/pub/");
  ASSERT_EQ(blocked.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_LE(blocked.get(), 0);
  held->ReleaseSocket(pair[0]);
  close(pair[1]);
}

TEST_F(SiteTableTest, SocketAttachedAfterDropIsShutDownAtOnce) {
  ASSERT_TRUE(Add("ftp://h/pub/", true));
  auto e = SiteAt(0);
  ResetSites();
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  e->AttachSocket(pair[0]);
  EXPECT_EQ(e->controlSocket, -1);
  char c;
  EXPECT_EQ(recv(pair[0], &c, 1, 0), 0);
  e->ReleaseSocket(pair[0]);
  close(pair[1]);
}

TEST_F(SiteTableTest, ClearSitesEmptiesTableThenCallsHook) {
  int calls = 0;
  int countSeen = -1;
  SetClearSitesHook([&] {
    ++calls;
    countSeen = SiteTable.count;
  });
  ASSERT_TRUE(Add("ftp://h/pub/", true));
  ClearSites();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(countSeen, 0);
  EXPECT_EQ(SiteAt(0), nullptr);
}

TEST_F(SiteTableTest, ConcurrentAddersNeitherLoseNorDoubleEntries) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 5; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 300; ++i) {
        std::string url = "ftp://h" + std::to_string(i) + "/";
        bool added;
        AddUniqueSite(url, added, true);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(SiteTable.count, 300);
}

}  // namespace

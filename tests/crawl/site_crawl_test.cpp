// Crawls of real servers into a store kept in memory: what is listed, what is
// left alone, and that a stopped crawl goes on without listing a folder twice.
#include "crawl/site_crawl.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/settings.h"
#include "crawl/crawl_runs.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/pyftpd_fixture.h"
#include "tests/support/real_ftpd.h"

using namespace qb;

namespace {

// The store's contract as the index keeps it, in memory; it counts how often
// each folder came back listed.
class MemoryStore final : public CrawlStore {
 public:
  std::optional<CrawlState> Begin(const std::string& url, std::string&) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (!running_) {
      running_ = true;
      queue_ = {CrawlFolder{"", "", 0}};
      known_ = {""};
    }
    CrawlState state;
    state.crawlId = 1;
    state.url = url;
    state.foldersListed = static_cast<int64_t>(listed_.size());
    state.foldersQueued = static_cast<int64_t>(queue_.size());
    return state;
  }
  std::vector<CrawlFolder> Queued(int64_t, int max, std::string&) override {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<CrawlFolder> out(queue_.begin(),
                                 queue_.begin() + std::min<std::size_t>(max, queue_.size()));
    std::stable_sort(out.begin(), out.end(),
                     [](const CrawlFolder& a, const CrawlFolder& b) { return a.depth < b.depth; });
    return out;
  }
  bool Store(int64_t, std::vector<ListedFolder> batch, std::string&) override {
    std::lock_guard<std::mutex> hold(lock_);
    for (ListedFolder& f : batch) {
      ++times_[f.path];
      std::erase_if(queue_, [&](const CrawlFolder& q) { return q.path == f.path; });
      for (CrawlFolder& child : f.children)
        if (known_.insert(child.path).second) queue_.push_back(child);
      listed_[f.path] = std::move(f);
    }
    return true;
  }
  bool Finish(int64_t, const SiteOutcome& outcome, std::string&) override {
    std::lock_guard<std::mutex> hold(lock_);
    running_ = false;
    finished_ = outcome;
    return true;
  }

  std::map<std::string, ListedFolder> listed_;
  std::map<std::string, int> times_;
  SiteOutcome finished_;

 private:
  std::mutex lock_;
  bool running_ = false;
  std::vector<CrawlFolder> queue_;
  std::set<std::string> known_;
};

// Crawls of several sites, each kept as MemoryStore keeps one, counting how
// many crawls of each server run at once.
class ServersStore final : public CrawlStore {
 public:
  std::optional<CrawlState> Begin(const std::string& url, std::string& error) override {
    int64_t id = 0;
    {
      std::lock_guard<std::mutex> hold(lock_);
      id = static_cast<int64_t>(servers_.size()) + 1;
      const std::string server = url.substr(0, url.find('/', 6));
      servers_[id] = server;
      mostAtOnce_[server] = std::max(mostAtOnce_[server], ++atOnce_[server]);
    }
    std::optional<CrawlState> state = Site(id).Begin(url, error);
    if (state) state->crawlId = id;
    return state;
  }
  std::vector<CrawlFolder> Queued(int64_t id, int max, std::string& error) override {
    return Site(id).Queued(1, max, error);
  }
  bool Store(int64_t id, std::vector<ListedFolder> batch, std::string& error) override {
    return Site(id).Store(1, std::move(batch), error);
  }
  bool Finish(int64_t id, const SiteOutcome& outcome, std::string& error) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      --atOnce_[servers_[id]];
    }
    return Site(id).Finish(1, outcome, error);
  }
  int MostAtOnce(const std::string& server) {
    std::lock_guard<std::mutex> hold(lock_);
    return mostAtOnce_[server];
  }

 private:
  MemoryStore& Site(int64_t id) {
    std::lock_guard<std::mutex> hold(lock_);
    return sites_[id];
  }
  std::mutex lock_;
  std::map<int64_t, MemoryStore> sites_;
  std::map<int64_t, std::string> servers_;
  std::map<std::string, int> atOnce_, mostAtOnce_;
};

std::vector<std::string> Names(const ListedFolder& folder) {
  std::vector<std::string> names;
  for (const ListingEntry& e : folder.entries) names.emplace_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

// A tree with every trap a crawl must see through.
void MakeTree(const qbtest::TempDir& tree) {
  tree.File("pub/a/b/c/deep.bin", 40);  // four levels below the site's folder
  tree.File("pub/a/one.txt", 1);
  tree.File("pub/x/two.txt", 2);
  tree.Link("pub/x/up", "..");                   // a link back up
  tree.File("pub/pub/pub/pub/pub/trap.txt", 3);  // one name over and over
  // Unreadable: the real servers drop to an account that cannot read it, the
  // Python one refuses it by name.
  tree.Folder("pub/refused/inner");
  chmod((tree.Path() + "/pub/refused").c_str(), 0);
}

class SiteCrawlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.HttpTimeOut = 10;
    Settings.DataMode = FtpDataMode::Passive;
  }
};

TEST(FolderPaths, RepeatsAndEscapesAreNotEntered) {
  EXPECT_TRUE(FolderPathEnterable("pub/linux/"));
  EXPECT_TRUE(FolderPathEnterable("pub/pub/"));
  EXPECT_FALSE(FolderPathEnterable("pub/pub/pub/"));
  EXPECT_TRUE(FolderPathEnterable("a/pub/pub/b/pub/"));
  EXPECT_FALSE(FolderPathEnterable("a/../b/"));
  EXPECT_FALSE(FolderPathEnterable("a//b/"));
}

TEST_F(SiteCrawlTest, WholeSiteIsListedOnceAndItsTrapsLeftAlone) {
  qbtest::TempDir tree;
  MakeTree(tree);
  qbtest::PyFtpd server(tree.Path());
  ASSERT_TRUE(server.Ready());
  MemoryStore store;
  CrawlProgress progress;
  const CrawlOutcome outcome = CrawlSite(server.Url("/pub/"), store, CrawlLimits{}, progress);
  EXPECT_TRUE(outcome.finished) << outcome.text;

  ASSERT_TRUE(store.listed_.count("a/b/c/"));
  EXPECT_EQ(Names(store.listed_["a/b/c/"]), std::vector<std::string>{"deep.bin"});
  EXPECT_EQ(store.listed_["a/b/c/"].entries[0].size, 40);
  // The link is not followed (MLSD may show it as a folder: then its listing,
  // the site's own, ends it); the third "pub" in a row is not entered.
  if (store.listed_.count("x/up/")) {
    EXPECT_EQ(store.listed_["x/up/"].state, CrawlFolderState::Skipped);
    EXPECT_TRUE(store.listed_["x/up/"].entries.empty());
  }
  EXPECT_EQ(store.listed_.count("x/up/x/"), 0u);
  // Counted from the server's root: /pub/pub/ is listed, /pub/pub/pub/ is not.
  EXPECT_TRUE(store.listed_.count("pub/"));
  EXPECT_EQ(store.listed_.count("pub/pub/"), 0u);
  // An unreadable folder is kept as failed with the server's words.
  ASSERT_TRUE(store.listed_.count("refused/"));
  EXPECT_EQ(store.listed_["refused/"].state, CrawlFolderState::Failed);
  EXPECT_EQ(store.listed_["refused/"].failure.substr(0, 3), "550");
  for (const auto& [path, times] : store.times_) EXPECT_EQ(times, 1) << path;
  EXPECT_EQ(progress.listed, static_cast<int64_t>(store.listed_.size()));
  EXPECT_EQ(store.finished_.status, Ok);
  EXPECT_EQ(store.finished_.statusText, outcome.text);
  chmod((tree.Path() + "/pub/refused").c_str(), 0755);
}

TEST_F(SiteCrawlTest, StoppedCrawlGoesOnWhereItWasAndBoundsHold) {
  qbtest::TempDir tree;
  for (int i = 0; i < 6; ++i) tree.File("pub/f" + std::to_string(i) + "/g/h.txt", 1);
  qbtest::PyFtpd server(tree.Path());
  ASSERT_TRUE(server.Ready());
  MemoryStore store;
  CrawlProgress first;
  // Stopped once three folders are listed: the batch in hand is kept, the
  // rest waits in the store.
  int seen = 0;
  const CrawlOutcome stopped =
      CrawlSite(server.Url("/pub/"), store, CrawlLimits{}, first, [&](const ListedFolder&) {
        if (++seen == 3) first.stop = true;
      });
  EXPECT_FALSE(stopped.finished);
  EXPECT_TRUE(stopped.stopped) << stopped.text;
  const std::size_t before = store.listed_.size();
  EXPECT_LT(before, 13u);

  CrawlProgress second;
  const CrawlOutcome done = CrawlSite(server.Url("/pub/"), store, CrawlLimits{}, second);
  EXPECT_TRUE(done.finished) << done.text;
  EXPECT_EQ(store.listed_.size(), 13u);  // the folder, six below it, six below those
  for (const auto& [path, times] : store.times_) EXPECT_EQ(times, 1) << path;

  // The entry bound holds within a batch: the site's folder alone has six.
  MemoryStore few;
  CrawlLimits three;
  three.entries = 3;
  CrawlProgress fourth;
  const CrawlOutcome bounded = CrawlSite(server.Url("/pub/"), few, three, fourth);
  EXPECT_TRUE(bounded.finished) << bounded.text;
  std::size_t stored = 0;
  for (const auto& [path, folder] : few.listed_) stored += folder.entries.size();
  EXPECT_EQ(stored, 3u) << bounded.text;

  // A site folder the server refuses is no finished crawl: finishing would
  // empty what the site had stored.
  MemoryStore none;
  CrawlProgress fifth;
  const CrawlOutcome refused = CrawlSite(server.Url("/nosuch/"), none, CrawlLimits{}, fifth);
  EXPECT_FALSE(refused.finished) << refused.text;
  EXPECT_TRUE(none.finished_.url.empty()) << refused.text;

  // A depth of one lists the site's folder and its children only.
  MemoryStore shallow;
  CrawlLimits limits;
  limits.depth = 1;
  limits.sessions = 3;
  CrawlProgress third;
  EXPECT_TRUE(CrawlSite(server.Url("/pub/"), shallow, limits, third).finished);
  EXPECT_EQ(shallow.listed_.size(), 7u);
  EXPECT_EQ(shallow.listed_.count("f0/g/"), 0u);
}

// A folder whose every listing the server cuts off ("451") fails alone after a
// few tries on the same connection; the crawl goes on and finishes.
TEST_F(SiteCrawlTest, AFolderAlwaysCutOffFailsAndTheCrawlFinishes) {
  Settings.DataMode = FtpDataMode::Active;  // the scripted server connects back
  const std::string root =
      "drwxr-xr-x 2 ftp ftp 512 Jan 12  2020 b\r\n"
      "-rw-r--r-- 1 ftp ftp 10 Jan 12  2020 a.txt\r\n";
  const std::string part = "-rw-r--r-- 1 ftp ftp 10 Jan 12  2020 c.t";
  qbtest::FtpScript script = qbtest::LoginScript();
  script.On(qbtest::FtpReply::Line("200 PORT ok"))
      .OnTransfer("150 Here", {{"127.0.0.1", root}}, "226 Done");
  for (int i = 0; i < 3; ++i) {
    script.On(qbtest::FtpReply::Line("200 PORT ok"))
        .OnTransfer("150 Here", {{"127.0.0.1", part}}, "451 Error reading directory");
  }
  qbtest::FakeFtpServer server;
  ASSERT_TRUE(server.Listening());
  server.AddSession(script);
  MemoryStore store;
  CrawlProgress progress;
  const CrawlOutcome outcome = CrawlSite(server.Url("/pub/"), store, CrawlLimits{}, progress);
  EXPECT_TRUE(outcome.finished) << outcome.text;
  ASSERT_TRUE(store.listed_.count("b/"));
  EXPECT_EQ(store.listed_["b/"].state, CrawlFolderState::Failed);
  EXPECT_TRUE(store.listed_["b/"].entries.empty());  // no part stored
  EXPECT_EQ(server.Sessions(), 1u);
}

// Two crawls of one server take turns, so that its session bound holds for
// the server; a crawl of another server is not held up by them.
TEST_F(SiteCrawlTest, CrawlsOfOneServerTakeTurns) {
  qbtest::TempDir tree;
  for (const char* file : {"a/1/x", "a/2/x", "a/3/x", "b/1/x", "b/2/x", "b/3/x"})
    tree.File(file, 1);
  qbtest::PyFtpd one(tree.Path()), two(tree.Path());
  ASSERT_TRUE(one.Ready());
  ASSERT_TRUE(two.Ready());
  struct Saved {
    int32_t connect = Settings.MinConnect;
    ~Saved() { Settings.MinConnect = connect; }
  } saved;
  Settings.MinConnect = 8;
  ServersStore store;
  CrawlLimits limits;
  limits.sessions = 1;
  limits.pauseMs = 100;  // long enough for crawls of one server to meet
  {
    CrawlRuns runs(store);
    for (const std::string& url : {one.Url("/a/"), one.Url("/b/"), two.Url("/a/")})
      runs.Start(url, limits);
    ASSERT_TRUE(runs.WaitIdle(std::chrono::seconds(60)));
    for (const auto& run : runs.Runs())
      EXPECT_EQ(run->Outcome().text, "crawled: 4 folders, 3 files") << run->url;
  }
  for (const qbtest::PyFtpd* server : {&one, &two}) {
    const std::string url = server->Url("/");
    EXPECT_EQ(store.MostAtOnce(url.substr(0, url.find('/', 6))), 1) << url;
  }
}

// The servers users meet, by LIST (vsftpd) and by MLSD (ProFTPD, Pure-FTPd).
class RealServerCrawlTest : public ::testing::TestWithParam<qbtest::Ftpd> {};

TEST_P(RealServerCrawlTest, NameFourLevelsDownIsFound) {
  Settings.HttpTimeOut = 10;
  Settings.DataMode = FtpDataMode::Passive;
  qbtest::TempDir tree;
  MakeTree(tree);
  qbtest::RealFtpd server(GetParam(), tree.Path());
  if (!server.Unavailable().empty()) GTEST_SKIP() << server.Unavailable();
  MemoryStore store;
  CrawlProgress progress;
  const CrawlOutcome outcome = CrawlSite(server.Url("/pub/"), store, CrawlLimits{}, progress);
  EXPECT_TRUE(outcome.finished) << outcome.text << "\n" << server.Log();
  ASSERT_TRUE(store.listed_.count("a/b/c/"));
  EXPECT_EQ(Names(store.listed_["a/b/c/"]), std::vector<std::string>{"deep.bin"});
  EXPECT_EQ(store.listed_.count("x/up/x/"), 0u);
  EXPECT_EQ(store.listed_.count("pub/pub/pub/"), 0u);
  for (const auto& [path, times] : store.times_) EXPECT_EQ(times, 1) << path;
  chmod((tree.Path() + "/pub/refused").c_str(), 0755);
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServerCrawlTest,
                         ::testing::Values(qbtest::Ftpd::Vsftpd, qbtest::Ftpd::Proftpd),
                         [](const auto& p) {
                           std::string name = qbtest::FtpdName(p.param);
                           std::erase(name, '-');
                           return name;
                         });

}  // namespace

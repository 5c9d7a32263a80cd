// A crawl lists a whole site into the index: what it finds stays apart until
// it ends, its queue outlives the process, and no folder is listed twice.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "index/local_index.h"
#include "tests/index/listed_entry.h"
#include "tests/index/temp_folder.h"

using namespace qb;

namespace {

using qbtest::ListedEntry;

const std::string Url = "ftp://a.example/";

ListedFolder Listed(const std::string& path, std::vector<ListingEntry> entries,
                    std::vector<CrawlFolder> children = {}) {
  ListedFolder f;
  f.path = path;
  f.entries = std::move(entries);
  f.children = std::move(children);
  return f;
}

std::vector<std::string> Paths(const std::vector<CrawlFolder>& folders) {
  std::vector<std::string> paths;
  for (const CrawlFolder& f : folders) paths.push_back(f.path);
  return paths;
}

// Name and folder of each hit, as "folder" + "name".
std::vector<std::string> Hits(IndexDb& db, const std::string& text) {
  std::string error;
  std::vector<std::string> hits;
  for (const FoundEntry& f : db.Find({text, "", 0, FindKind::All}, 0, -1, error)) {
    hits.push_back(f.folder + f.name);
  }
  EXPECT_EQ(error, "");
  EXPECT_EQ(db.Count({text, "", 0, FindKind::All}, error), static_cast<int64_t>(hits.size()));
  return hits;
}

std::string IntegrityProblem(const std::string& path) {
  sqlite3* raw = nullptr;
  sqlite3_open(path.c_str(), &raw);
  const int rc = sqlite3_exec(raw, "INSERT INTO names(names, rank) VALUES ('integrity-check', 1)",
                              nullptr, nullptr, nullptr);
  std::string problem = rc == SQLITE_OK ? "" : sqlite3_errmsg(raw);
  sqlite3_close(raw);
  return problem;
}

class IndexCrawlTest : public ::testing::Test {
 protected:
  void SetUp() override { Reopen(); }
  void Reopen() {
    db_.reset();
    db_ = IndexDb::Open(path_, error_);
    ASSERT_TRUE(db_) << error_;
  }
  int64_t Begin() {
    const auto crawl = db_->BeginCrawl(Url, error_);
    EXPECT_TRUE(crawl) << error_;
    return crawl ? crawl->crawlId : 0;
  }
  void Store(int64_t id, const std::vector<ListedFolder>& batch) {
    ASSERT_TRUE(db_->StoreCrawlBatch(id, batch, error_)) << error_;
  }
  std::vector<std::string> Queued(int64_t id, int max = 100,
                                  const std::vector<std::string>& besides = {}) {
    auto queued = Paths(db_->QueuedFolders(id, max, error_, besides));
    EXPECT_EQ(error_, "");
    return queued;
  }
  qbtest::TempFolder folder_;
  std::string path_ = folder_.path() + "index.db";
  std::string error_;
  std::unique_ptr<IndexDb> db_;
};

using V = std::vector<std::string>;

TEST_F(IndexCrawlTest, OldEntriesAreFoundUntilTheCrawlEndsThenOnlyTheNewWithTheirFolders) {
  ASSERT_TRUE(db_->Store({Url, Ok, "ok", "", 100, "gcc", {ListedEntry("old-gcc.tgz", 1)}}, error_));
  const int64_t id = Begin();
  ListingEntry odd = ListedEntry("caf\xc3\xa9.txt", 3);
  odd.serverName = "caf\xe9.txt";
  ListedFolder pub = Listed("pub/", {ListedEntry("new-gcc.tgz", 2), odd});
  pub.serverPath = "pub/";  // the same as shown: nothing kept for it
  Store(id, {Listed("", {ListedEntry("pub", 0, true), ListedEntry("root-gcc.txt", 1)},
                    {{"pub/", "", 1}}),
             pub});
  // Meanwhile the site is as it was, wherever it is read.
  EXPECT_EQ(Hits(*db_, "gcc"), (V{"old-gcc.tgz"}));
  EXPECT_EQ(db_->EntriesOf(Url, error_).size(), 1u);
  EXPECT_EQ(db_->Last(error_)->sites.size(), 1u);
  EXPECT_EQ(db_->Site(Url, error_)->exploredAt, 100);

  SiteOutcome done{Url, Ok, "crawled", "", 200, "", {}};
  ASSERT_TRUE(db_->FinishCrawl(id, done, error_)) << error_;
  EXPECT_EQ(Hits(*db_, "gcc"), (V{"root-gcc.txt", "pub/new-gcc.tgz"}));
  const auto found = db_->Find({"caf", "", 0, FindKind::All}, 0, 10, error_);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].siteUrl, Url);
  EXPECT_EQ(found[0].serverName, "caf\xe9.txt");
  EXPECT_EQ(found[0].serverFolder, "");
  const auto own = db_->EntriesOf(Url, error_);
  ASSERT_EQ(own.size(), 2u);
  EXPECT_STREQ(own[1].name, "root-gcc.txt");
  EXPECT_EQ(db_->EntriesOf(Url, error_, "pub/")[1].serverName, "caf\xe9.txt");
  const auto site = db_->Site(Url, error_);
  ASSERT_TRUE(site);
  EXPECT_EQ(site->statusText, "crawled");
  EXPECT_EQ(site->term, "gcc");  // kept from the search that found it
  EXPECT_EQ(db_->Last(error_)->sites.size(), 1u);
  EXPECT_TRUE(db_->UnfinishedCrawls(error_).empty());
  EXPECT_FALSE(db_->Crawl(id, error_));
  EXPECT_EQ(IntegrityProblem(path_), "");
}

// The process dies mid-crawl: reopened, the crawl is resumed where it was.
TEST_F(IndexCrawlTest, AResumedCrawlListsOnlyTheFoldersStillQueued) {
  const int64_t id = Begin();
  EXPECT_EQ(Queued(id), (V{""}));
  Store(id, {Listed("", {ListedEntry("a", 0, true), ListedEntry("b", 0, true)},
                    {{"a/", "", 1}, {"b/", "", 1}, {"c/", "", 1}})});
  // d/ is reached by a link from deeper down, yet listed before a/deep/.
  Store(id, {Listed("a/", {ListedEntry("deep", 0, true)}, {{"a/deep/", "", 2}, {"d/", "", 1}})});
  Reopen();
  const auto unfinished = db_->UnfinishedCrawls(error_);
  ASSERT_EQ(unfinished.size(), 1u);
  EXPECT_EQ(unfinished[0].url, Url);
  EXPECT_EQ(unfinished[0].foldersListed, 2);
  EXPECT_EQ(unfinished[0].foldersQueued, 4);
  EXPECT_EQ(unfinished[0].entries, 3);
  EXPECT_EQ(Begin(), id);  // resumed, not begun again
  EXPECT_EQ(Queued(id), (V{"b/", "c/", "d/", "a/deep/"}));
  EXPECT_EQ(Queued(id, 2, {"b/"}), (V{"c/", "d/"}));  // b/ is being listed
  // A batch given again after a lost answer is kept once; a refused folder is not retried.
  ListedFolder refused = Listed("c/", {});
  refused.state = CrawlFolderState::Failed;
  refused.failure = "550 Permission denied";
  Store(id, {Listed("a/", {ListedEntry("deep", 0, true)}), refused});
  EXPECT_EQ(Queued(id), (V{"b/", "d/", "a/deep/"}));
  const auto state = db_->Crawl(id, error_);
  ASSERT_TRUE(state);
  EXPECT_EQ(state->entries, 3);
  EXPECT_EQ(state->foldersFailed, 1);
  EXPECT_EQ(state->foldersQueued, 3);
  // Ended early: what was found replaces the site, the rest of the queue goes.
  ASSERT_TRUE(db_->FinishCrawl(id, {Url, Ok, "stopped", "", 300, "t", {}}, error_)) << error_;
  EXPECT_EQ(Hits(*db_, "deep"), (V{"a/deep"}));
  EXPECT_TRUE(db_->UnfinishedCrawls(error_).empty());
  EXPECT_NE(Begin(), 0);  // a new crawl begins from the top
  EXPECT_EQ(Queued(db_->UnfinishedCrawls(error_)[0].crawlId), (V{""}));
}

TEST_F(IndexCrawlTest, AFolderReachedTwiceIsQueuedOnce) {
  const int64_t id = Begin();
  // Reached from two folders in one batch, and from a later one (a link back).
  Store(id, {Listed("", {}, {{"x/", "", 1}, {"y/", "", 1}, {"x/", "", 1}})});
  Store(id, {Listed("x/", {}, {{"shared/", "", 2}, {"", "", 2}}),
             Listed("y/", {}, {{"shared/", "", 2}})});
  Store(id, {Listed("shared/", {ListedEntry("once.txt", 1)}, {{"x/", "", 3}})});
  EXPECT_EQ(Queued(id), V{});
  EXPECT_EQ(db_->Crawl(id, error_)->foldersQueued, 0);
  EXPECT_EQ(db_->Crawl(id, error_)->foldersListed, 4);
  ASSERT_TRUE(db_->FinishCrawl(id, {Url, Ok, "ok", "", 1, "t", {}}, error_));
  EXPECT_EQ(Hits(*db_, "once"), (V{"shared/once.txt"}));
}

// A crawled site found again by a search lists its own folder only: the
// folders below stay. A crawl given up leaves the site as it was.
TEST_F(IndexCrawlTest, ExploringACrawledSiteKeepsItsDeeperFoldersAndAnAbandonedCrawlLeavesIt) {
  const int64_t id = Begin();
  Store(id,
        {Listed("", {ListedEntry("top-1.txt", 1), ListedEntry("sub", 0, true)}, {{"sub/", "", 1}}),
         Listed("sub/", {ListedEntry("below.txt", 1)})});
  ASSERT_TRUE(db_->FinishCrawl(id, {Url, Ok, "ok", "", 1, "t", {}}, error_));
  for (const char* name : {"top-2.txt", "top-3.txt"}) {
    ASSERT_TRUE(db_->Store({Url, Ok, "ok", "", 2, "t", {ListedEntry(name, 1)}}, error_)) << error_;
  }
  EXPECT_EQ(Hits(*db_, ".txt"), (V{"sub/below.txt", "top-3.txt"}));
  ASSERT_EQ(db_->EntriesOf(Url, error_).size(), 1u);

  const int64_t again = Begin();
  Store(again, {Listed("", {ListedEntry("dropped.txt", 1)})});
  ASSERT_TRUE(db_->AbandonCrawl(again, error_)) << error_;
  EXPECT_EQ(Hits(*db_, ".txt"), (V{"sub/below.txt", "top-3.txt"}));
  EXPECT_FALSE(db_->Crawl(again, error_));
  EXPECT_FALSE(db_->StoreCrawlBatch(again, {Listed("", {})}, error_));
  EXPECT_EQ(IntegrityProblem(path_), "");
}

// The crawler asks the writer's thread; the answer comes back in turn with
// the sites given before, and comes even when the index could not be opened.
TEST(IndexWriterJobs, RunInTurnWithSitesAndAnswerWithoutAnIndex) {
  qbtest::TempFolder folder;
  std::string error;
  auto index = LocalIndex::Open(folder.path(), nullptr, error);
  ASSERT_TRUE(index) << error;
  index->writer().Submit({Url, Ok, "ok", "", 1, "t", {ListedEntry("before.iso", 1)}});
  auto counted = index->writer().Ask([](IndexDb* db) {
    std::string e;
    return db ? db->Count({"before", "", 0, FindKind::All}, e) : -1;
  });
  EXPECT_EQ(counted.get(), 1);

  IndexWriter closed(
      [](std::string& e) {
        e = "no disk";
        return std::unique_ptr<IndexDb>();
      },
      nullptr);
  auto answer = closed.Ask([](IndexDb* db) { return db == nullptr; });
  EXPECT_TRUE(answer.get());
  auto thrown = closed.Ask([](IndexDb*) -> int { throw std::runtime_error("x"); });
  EXPECT_THROW(thrown.get(), std::runtime_error);
}

}  // namespace

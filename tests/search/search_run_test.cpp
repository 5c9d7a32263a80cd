#include "search/search_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "core/text_helpers.h"
#include "index/index_db.h"
#include "search/engine.h"
#include "search/explored_sites.h"
#include "search/search_view.h"
#include "tests/index/listed_entry.h"
#include "tests/index/listed_folder.h"
#include "tests/index/temp_folder.h"
#include "tests/support/http_test_server.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using qbtest::HttpReply;
using qbtest::HttpTestServer;

struct PrepareCase {
  const char* name;
  const char* term;
  const char* prepared;
};

TEST(PrepareQuery, EscapesEverythingOutsideDotToZAndJoinsWordsWithPlus) {
  const PrepareCase cases[] = {
      {"two words", "mp3 player", "mp3+player"},
      {"quoted phrase", "\"mp3 player\"", "%22mp3+player%22"},
      {"accented byte", "caf\xE9", "caf%E9"},
      {"utf-8 bytes", "caf\xC3\xA9", "caf%C3%A9"},
      {"only spaces", "   ", "+++"},
      {"ampersand and plus", "a&b+c", "a%26b%2Bc"},
      {"just below the range", "a-b,c", "a%2Db%2Cc"},
      {"inside the range", "./09:@[\\]^_`az", "./09:@[\\]^_`az"},
      {"just above the range", "{|}~\x7F", "%7B%7C%7D%7E%7F"},
      {"control bytes", "a\tb", "a%09b"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PrepareQuery(std::string(c.term)), c.prepared) << c.name;
    char buffer[PreparedTermSize];
    CopyText(buffer, sizeof buffer, c.term);
    PrepareQuery(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, c.prepared) << c.name << " (in place)";
  }
}

TEST(PrepareQuery, LongestTermFillsItsBufferAndNeverOverrunsASmallerOne) {
  char buffer[PreparedTermSize + 8];
  std::memset(buffer, '#', sizeof buffer);
  std::memset(buffer, '\xE9', TermMaxChars);
  buffer[TermMaxChars] = '\0';
  PrepareQuery(buffer, PreparedTermSize);
  EXPECT_EQ(std::strlen(buffer), PreparedTermSize - 1);
  EXPECT_EQ(std::string(buffer, 6), "%E9%E9");
  EXPECT_EQ(buffer[PreparedTermSize], '#');

  // An escape that does not fit is left out whole.
  char small[11];
  std::memset(small, '#', sizeof small);
  CopyText(small, 10, "ab\xE9\xE9\xE9");
  PrepareQuery(small, 10);
  EXPECT_STREQ(small, "ab%E9%E9");
  EXPECT_EQ(small[10], '#');
}

// Points the settings file at a private folder whose [Hosts] section the test writes.
class HostsFolder {
 public:
  HostsFolder() {
    char pattern[] = "/tmp/qb_search_run_XXXXXX";
    dir_ = mkdtemp(pattern);
    ExeDir = dir_ + "/";
  }
  ~HostsFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  void Write(const std::string& hostsLines) {
    std::ofstream(ExeDir + SettingsFileName) << "[Hosts]\n" << hostsLines;
  }

 private:
  std::string dir_;
};

TEST(QueryReport, UrlDropsLeadingQuoteAndCutsAtTheNext) {
  HostsFolder folder;
  const std::pair<const char*, const char*> cases[] = {
      {"mp3+player", "mp3+player"}, {"%22mp3+player%22", "mp3+player"},
      {"mp3%22player", "mp3"},      {"%22%22", ""},
      {"caf%E9", "caf%E9"},         {"+++", "+++"},
  };
  for (const auto& [prepared, reported] : cases) {
    EXPECT_EQ(QueryReportUrl(prepared),
              std::string("http://www.quillbrook.invalid/addtop10.php3?requete=") + reported)
        << prepared;
  }
  folder.Write("ReportHost=127.0.0.1:8123\n");
  EXPECT_EQ(QueryReportUrl("%22a+b%22"), "http://127.0.0.1:8123/addtop10.php3?requete=a+b");
}

TEST(QueryReport, SendsOneRequestAfterItsDelay) {
  HostsFolder folder;
  HttpTestServer server;
  ASSERT_TRUE(server.Listening());
  server.SetFallback(HttpReply::Page("<html><body>ok</body></html>"));
  folder.Write("ReportHost=" + server.HostPort() + "\n");
  SetSearchRunTimings({600000ms, 1000ms, 300ms});
  const auto start = Clock::now();
  QueryReport("%22mp3+player%22");
  EXPECT_GE(Clock::now() - start, 300ms);
  ASSERT_TRUE(server.WaitForRequests(1, 5s));
  EXPECT_EQ(server.Targets(), std::vector<std::string>{"/addtop10.php3?requete=mp3+player"});
}

// Records what the run and the engines show; answers questions as told.
class RecorderView : public SearchView {
 public:
  struct Shown {
    int id;
    std::string caption;
    MessageStyle style;
  };

  void SetNumber(int id, int value) override {
    std::lock_guard<std::mutex> hold(lock_);
    numbers_[id] = value;
  }
  void ClearText(int id) override {
    std::lock_guard<std::mutex> hold(lock_);
    numbers_.erase(id);
    cleared_.insert(id);
  }
  void AddFound(int listId, const std::string& url) override {
    std::lock_guard<std::mutex> hold(lock_);
    found_[listId].push_back(url);
  }
  void ShowMark(int id) override {
    std::lock_guard<std::mutex> hold(lock_);
    marks_.insert(id);
    changed_.notify_all();
  }
  void ExplainMark(int id, const std::string& why) override {
    std::lock_guard<std::mutex> hold(lock_);
    explained_[id] = why;
  }
  bool IsChecked(int id) override {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = boxes_.find(id);
    return it == boxes_.end() ? id != AutoContinueBox : it->second;
  }
  std::string ReadTerm(int maxChars) override {
    std::lock_guard<std::mutex> hold(lock_);
    return term_.substr(0, maxChars);
  }
  bool Message(int id, const char* caption, MessageStyle style) override {
    std::lock_guard<std::mutex> hold(lock_);
    messages_.push_back({id, caption ? caption : "(none)", style});
    return answer_;
  }
  void PlayAnimation() override {
    std::lock_guard<std::mutex> hold(lock_);
    ++plays_;
  }
  void StopAnimation() override {
    std::lock_guard<std::mutex> hold(lock_);
    ++stops_;
    stoppedAt_ = Clock::now();
  }
  void PostOk() override {
    std::lock_guard<std::mutex> hold(lock_);
    okPosts_.push_back(Clock::now());
  }

  void SetTerm(std::string term) { term_ = std::move(term); }
  void SetBox(int id, bool ticked) { boxes_[id] = ticked; }
  void SetAnswer(bool yes) { answer_ = yes; }
  bool WaitForMark(int id, std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, bound, [&] { return marks_.count(id) > 0; });
  }

  std::vector<Shown> Messages() {
    std::lock_guard<std::mutex> hold(lock_);
    return messages_;
  }
  std::map<int, int> Numbers() {
    std::lock_guard<std::mutex> hold(lock_);
    return numbers_;
  }
  std::set<int> Cleared() {
    std::lock_guard<std::mutex> hold(lock_);
    return cleared_;
  }
  std::set<int> Marks() {
    std::lock_guard<std::mutex> hold(lock_);
    return marks_;
  }
  std::vector<std::string> Found(int listId) {
    std::lock_guard<std::mutex> hold(lock_);
    return found_[listId];
  }
  std::string Explained(int id) {
    std::lock_guard<std::mutex> hold(lock_);
    return explained_.count(id) ? explained_[id] : "(none)";
  }
  int Plays() {
    std::lock_guard<std::mutex> hold(lock_);
    return plays_;
  }
  int Stops() {
    std::lock_guard<std::mutex> hold(lock_);
    return stops_;
  }
  std::vector<Clock::time_point> OkPosts() {
    std::lock_guard<std::mutex> hold(lock_);
    return okPosts_;
  }
  Clock::time_point StoppedAt() {
    std::lock_guard<std::mutex> hold(lock_);
    return stoppedAt_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::string term_;
  std::map<int, bool> boxes_;
  bool answer_ = true;
  std::vector<Shown> messages_;
  std::map<int, int> numbers_;
  std::set<int> cleared_;
  std::set<int> marks_;
  std::map<int, std::vector<std::string>> found_;
  std::map<int, std::string> explained_;
  int plays_ = 0;
  int stops_ = 0;
  Clock::time_point stoppedAt_;
  std::vector<Clock::time_point> okPosts_;
};

const std::set<int> CounterIds = {1200, 1300, 1400, 1500, 1600, 106, 123, 124, 116, 117};

// Every engine asks one loopback server, which answers empty pages unless told.
class SearchRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.EnginePause = 0;  // one local server stands for every engine host
    ASSERT_TRUE(server_.Listening());
    server_.SetFallback(HttpReply::Page("<html><body>no results</body></html>"));
    std::string hosts;
    for (int i = 0; i < EngineCount; ++i)
      hosts += std::string(BuiltinEngines()[i].name) + "=" + server_.HostPort() + "\n";
    folder_.Write(hosts);
    ClearSites();
    for (auto& enabled : EngineEnabled) enabled = true;
    AutoContinue = false;
    SearchRunActive = false;
    SearchRunning = true;
    SetSearchRunTimings({});
    SetSearchDialog(view_);
  }
  void TearDown() override {
    SearchRunning = false;
    SetSearchDialog(nullptr);
    ClearSites();
  }
  // The first page request of engine i for a prepared term.
  static std::string FirstPage(int i, const std::string& term) {
    const std::string url =
        EngineRequestFor(BuiltinEngines()[i], "h", term, BuiltinEngines()[i].firstPage).url;
    return url.substr(std::strlen("http://h"));
  }
  void AddSite(const char* url) {
    std::string text = url;
    bool added = false;
    AddUniqueSite(text, added, true);
    ASSERT_TRUE(added);
  }

  HostsFolder folder_;
  HttpTestServer server_;
  std::shared_ptr<RecorderView> view_ = std::make_shared<RecorderView>();
};

TEST_F(SearchRunTest, EmptyTermShowsMessage106AndStartsNothing) {
  view_->SetTerm("");
  RunSearch();
  ASSERT_EQ(view_->Messages().size(), 1u);
  EXPECT_EQ(view_->Messages()[0].id, TermNeededMessage);
  EXPECT_EQ(view_->Messages()[0].caption, "(none)");
  EXPECT_EQ(view_->Messages()[0].style, MessageStyle::Information);
  EXPECT_EQ(view_->Cleared(), CounterIds);
  EXPECT_EQ(view_->Plays(), 0);
  EXPECT_FALSE(SearchRunActive);
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(SearchRunTest, SitesPresentAskQuestion105AndNoEmptiesTheTable) {
  for (bool yes : {true, false}) {
    ClearSites();
    AddSite("ftp://127.0.0.2/keep/");
    view_ = std::make_shared<RecorderView>();
    SetSearchDialog(view_);
    view_->SetAnswer(yes);
    view_->SetTerm("");
    RunSearch();
    const auto shown = view_->Messages();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].id, KeepSitesQuestion);
    EXPECT_EQ(shown[0].caption, "Quillbrook");
    EXPECT_EQ(shown[0].style, MessageStyle::Question);
    EXPECT_EQ(shown[1].id, TermNeededMessage);
    EXPECT_EQ(SiteTable.count, yes ? 1 : 0) << (yes ? "Yes" : "No");
  }
}

TEST_F(SearchRunTest, RunThatFindsNothingShows107AndKeepsTheTerms) {
  view_->SetTerm("MP3 Player");
  RunSearch();
  EXPECT_EQ(GetLastTerm(), "mp3 player");
  EXPECT_EQ(GetQueryTerm(), "mp3+player");
  EXPECT_EQ(GetReportTerm(), "mp3+player");
  EXPECT_FALSE(SearchRunActive);
  EXPECT_EQ(view_->Plays(), 1);
  EXPECT_EQ(view_->Stops(), 1);
  const auto shown = view_->Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].id, NothingFoundMessage);
  EXPECT_EQ(shown[0].caption, "FTP-ZEVO");
  EXPECT_EQ(shown[0].style, MessageStyle::Exclamation);
  EXPECT_TRUE(view_->OkPosts().empty());
  std::set<std::string> targets;
  for (const auto& t : server_.Targets()) targets.insert(t);
  for (int i = 0; i < EngineCount; ++i) {
    EXPECT_EQ(targets.count(FirstPage(i, "mp3+player")), 1u) << BuiltinEngines()[i].name;
    EXPECT_EQ(view_->Marks().count(EngineControlIds[i].doneMark), 1u) << BuiltinEngines()[i].name;
  }
}

TEST_F(SearchRunTest, UntickedEnginesAreNotStartedAndStayUnticked) {
  view_->SetTerm("zevo");
  view_->SetBox(EngineControlIds[1].checkBox, false);
  view_->SetBox(EngineControlIds[3].checkBox, false);
  RunSearch();
  const std::vector<bool> expected = {true, false, true, false, true};
  std::set<std::string> targets;
  for (const auto& t : server_.Targets()) targets.insert(t);
  for (int i = 0; i < EngineCount; ++i) {
    EXPECT_EQ(EngineEnabled[i].load(), expected[i]) << BuiltinEngines()[i].name;
    EXPECT_EQ(targets.count(FirstPage(i, "zevo")), expected[i] ? 1u : 0u)
        << BuiltinEngines()[i].name;
  }
}

TEST_F(SearchRunTest, AutoContinuePostsOkAboutOneSecondAfterARunWithSites) {
  for (bool ticked : {false, true}) {
    ClearSites();
    view_ = std::make_shared<RecorderView>();
    SetSearchDialog(view_);
    view_->SetTerm("zevo");
    view_->SetBox(AutoContinueBox, ticked);
    server_.Serve(FirstPage(0, "zevo"),
                  HttpReply::Page("<html><body><a href=\"ftp://127.0.0.2/pub/zevo.zip\">z</a>"
                                  "</body></html>"));
    RunSearch();
    EXPECT_TRUE(view_->Messages().empty());
    EXPECT_EQ(view_->Found(EngineControlIds[0].foundList),
              std::vector<std::string>{"ftp://127.0.0.2/pub/"});
    EXPECT_EQ(AutoContinue.load(), ticked);
    const auto posts = view_->OkPosts();
    ASSERT_EQ(posts.size(), ticked ? 1u : 0u);
    if (ticked) {
      EXPECT_GE(posts[0] - view_->StoppedAt(), 1000ms);
      EXPECT_LT(posts[0] - view_->StoppedAt(), 5000ms);
    }
  }
}

TEST_F(SearchRunTest, ClosedDialogDuringTheRunEndsItQuietly) {
  view_->SetTerm("zevo");
  view_->SetBox(AutoContinueBox, true);
  // Pages come once the dialog has closed while the engines wait.
  const auto closed = std::make_shared<qbtest::HttpGate>();
  server_.SetFallback(
      HttpReply::Raw(
          "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>none</body></html>")
          .After(closed));
  std::thread closer([this, closed] {
    server_.WaitForRequests(1, 5s);
    SetSearchDialog(nullptr);
    closed->Open();
  });
  RunSearch();
  closer.join();
  EXPECT_EQ(view_->Stops(), 0);
  EXPECT_TRUE(view_->Messages().empty());
  EXPECT_TRUE(view_->OkPosts().empty());
  EXPECT_FALSE(AutoContinue);
}

TEST_F(SearchRunTest, EngineStillRunningAfterItsWaitIsLeftToRun) {
  view_->SetTerm("zevo");
  for (int i = 1; i < EngineCount; ++i) view_->SetBox(EngineControlIds[i].checkBox, false);
  server_.Serve(FirstPage(0, "zevo"), HttpReply::Silent());
  SetSearchRunTimings({200ms, 1000ms, 40000ms});
  const auto start = Clock::now();
  RunSearch();
  EXPECT_LT(Clock::now() - start, 5s);
  EXPECT_FALSE(SearchRunActive);
  EXPECT_EQ(view_->Stops(), 1);
  EXPECT_TRUE(view_->Marks().empty());
  // The engine ends once its server goes away: fetch failed, retried, failed.
  server_.Stop();
  EXPECT_TRUE(view_->WaitForMark(EngineControlIds[0].failMark, 30s));
}

// An index of three sites: one refused, one never finished, one crawled whose
// folder cafe holds a name the server spells in Latin-1.
void MakeExploredIndex(const std::string& path) {
  using qbtest::ListedEntry;
  std::string error;
  {
    auto db = IndexDb::Open(path, error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->Store({"ftp://127.0.0.2/",
                           Refused,
                           "421 Too many users",
                           "",
                           1700000000,
                           "x",
                           {ListedEntry("zevo-a.zip", 1)}},
                          error))
        << error;
    ASSERT_TRUE(db->Store(
        {"ftp://127.0.0.4/", Exploring, "", "", 1700000000, "x", {ListedEntry("ZEVO-c.zip", 1)}},
        error));
    const auto crawl = db->BeginCrawl("ftp://127.0.0.3/", error);
    ASSERT_TRUE(crawl) << error;
    const ListedFolder root =
        qbtest::ListedFolderOf("", {ListedEntry("caf\xC3\xA9", 0, true), ListedEntry("x", 0, true),
                                    ListedEntry("y", 0, true)});
    ASSERT_TRUE(db->StoreCrawlBatch(crawl->crawlId, {root}, error)) << error;
    ASSERT_TRUE(db->StoreCrawlBatch(
        crawl->crawlId,
        {qbtest::ListedFolderOf(
             "caf\xC3\xA9/", {ListedEntry("zevo-1.zip", 1), ListedEntry("other", 2)}, "caf\xE9/"),
         qbtest::ListedFolderOf("x/", {ListedEntry("zevo-2.zip", 1)}),
         qbtest::ListedFolderOf("y/", {ListedEntry("zevo-3.zip", 1)})},
        error))
        << error;
    ASSERT_TRUE(db->FinishCrawl(
        crawl->crawlId, {"ftp://127.0.0.3/", Ok, "ok", "big.iso", 1700000001, "", {}}, error))
        << error;
  }
}

// The index asked directly: each folder holding the term once, up to the
// bound, with the outcome its site was stored with (one never finished counts
// as failed), its listing, and the server's bytes in its URL; a folder the
// table holds already is not added again.
TEST_F(SearchRunTest, ExploredSitesTakeEachFolderOnceUpToTheBound) {
  qbtest::TempFolder index;
  const std::string path = index.path() + "index.db";
  ASSERT_NO_FATAL_FAILURE(MakeExploredIndex(path));
  SetIndexReaderSource([path](std::string& failure) {
    IndexDb::Options options;
    options.readOnly = true;
    return IndexDb::Open(path, failure, options);
  });
  AddSite("ftp://127.0.0.3/x/");
  AskExploredSites("\"zevo\"", CurrentSearchSession(), 4);
  SetIndexReaderSource(nullptr);

  const EngineControls& c = ExploredSitesControls;
  EXPECT_EQ(view_->Found(c.foundList),
            (std::vector<std::string>{"ftp://127.0.0.2/", "ftp://127.0.0.4/",
                                      "ftp://127.0.0.3/caf\xC3\xA9/"}));
  auto numbers = view_->Numbers();
  EXPECT_EQ(numbers[c.resultsCounter], 4);
  EXPECT_EQ(numbers[c.newSitesCounter], 3);
  EXPECT_EQ(numbers[SiteCountField], 4);
  EXPECT_EQ(view_->Marks(), std::set<int>{c.doneMark});
  EXPECT_EQ(view_->Explained(c.doneMark), "Only the first 4 folders holding the term were taken.");

  std::vector<std::string> table;
  for (int slot = 0; slot < SiteTable.count; ++slot) {
    const auto entry = SiteAt(slot);
    std::string row = std::string(entry->url) + " " + std::to_string(entry->status.load()) + " " +
                      entry->statusText.Get();
    std::lock_guard<std::mutex> hold(ListingLock);
    for (const ListingEntry& e : entry->listing) row += std::string(" ") + e.name;
    table.push_back(row);
  }
  EXPECT_EQ(table, (std::vector<std::string>{
                       "ftp://127.0.0.3/x/ 0 ",
                       "ftp://127.0.0.2/ 4 421 Too many users zevo-a.zip",
                       "ftp://127.0.0.4/ 2  ZEVO-c.zip",
                       "ftp://127.0.0.3/caf\xE9/ 1 ok zevo-1.zip other",
                   }));
}

}  // namespace

// A folder is found at its own site or below the nearest crawled site above
// it; one the index holds no entry of is not.
TEST(StoredFolderAt, TakesTheNearestSiteHoldingTheFolder) {
  qbtest::TempFolder index;
  const std::string path = index.path() + "index.db";
  ASSERT_NO_FATAL_FAILURE(MakeExploredIndex(path));
  std::string error;
  IndexDb::Options options;
  options.readOnly = true;
  const auto reader = IndexDb::Open(path, error, options);
  ASSERT_TRUE(reader) << error;
  const auto names = [&](const std::string& url) {
    const std::optional<StoredFolder> f = StoredFolderAt(*reader, url);
    if (!f) return std::string("none");
    std::string out = std::to_string(f->status) + " " + f->statusText + " [" + f->testedFile + "]";
    for (const ListingEntry& e : f->listing) out += std::string(" ") + e.name;
    return out;
  };
  EXPECT_EQ(names("ftp://127.0.0.3/x/"), "1 ok [] zevo-2.zip");
  EXPECT_EQ(names("ftp://127.0.0.3/caf\xE9/"), "1 ok [] zevo-1.zip other") << "server's bytes";
  EXPECT_EQ(names("ftp://127.0.0.3/"), "1 ok [big.iso] caf\xC3\xA9 x y");
  EXPECT_EQ(names("ftp://127.0.0.2/"), "4 421 Too many users [] zevo-a.zip");
  EXPECT_EQ(names("ftp://127.0.0.4/"), "2  [] ZEVO-c.zip") << "never finished: failed";
  for (const char* url :
       {"ftp://127.0.0.3/caf\xC3\xA9/", "ftp://127.0.0.3/z/", "ftp://127.0.0.3/x/deeper/",
        "ftp://127.0.0.9/x/", "ftp://127.0.0.3/x", "ftp://127.0.0.3", "127.0.0.3/x/"})
    EXPECT_EQ(names(url), "none") << url;
}

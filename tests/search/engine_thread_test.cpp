#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>
#include <atomic>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "search/engine.h"
#include "search/search_view.h"
#include "tests/support/http_test_server.h"

using namespace qb;

namespace {

using qbtest::HttpReply;
using qbtest::HttpTestServer;

enum { Anchor, ClassLs, Form, Advanced, Path };

// Records what the engines show; engine threads call it concurrently.
class RecorderView : public SearchView {
 public:
  void SetNumber(int id, int value) override {
    std::lock_guard<std::mutex> hold(lock_);
    numbers_[id].push_back(value);
  }
  void ClearText(int) override {}
  void AddFound(int listId, const std::string& url) override {
    std::function<void()> hook;
    {
      std::lock_guard<std::mutex> hold(lock_);
      found_[listId].push_back(url);
      hook = onFound;
    }
    if (hook) hook();
  }
  void ShowMark(int id) override {
    std::lock_guard<std::mutex> hold(lock_);
    marks_.insert(id);
  }
  void ExplainMark(int id, const std::string& why) override {
    std::lock_guard<std::mutex> hold(lock_);
    why_[id] = why;
  }
  std::string Why(int id) {
    std::lock_guard<std::mutex> hold(lock_);
    return why_[id];
  }
  bool IsChecked(int boxId) override {
    if (closeOnAsk) {
      // The dialog closes while the question is on its way: the answer is "not ticked".
      SetSearchDialog(nullptr);
      return false;
    }
    std::lock_guard<std::mutex> hold(lock_);
    return !unticked_.count(boxId);
  }
  std::atomic<bool> closeOnAsk{false};
  std::string ReadTerm(int) override { return {}; }
  bool Message(int, const char*, MessageStyle) override { return false; }
  void PlayAnimation() override {}
  void StopAnimation() override {}
  void PostOk() override {}

  void Untick(int boxId) {
    std::lock_guard<std::mutex> hold(lock_);
    unticked_.insert(boxId);
  }
  std::vector<int> Numbers(int id) {
    std::lock_guard<std::mutex> hold(lock_);
    return numbers_[id];
  }
  std::vector<std::string> Found(int id) {
    std::lock_guard<std::mutex> hold(lock_);
    return found_[id];
  }
  bool Marked(int id) {
    std::lock_guard<std::mutex> hold(lock_);
    return marks_.count(id) > 0;
  }

  std::function<void()> onFound;  // set before the engine starts

 private:
  std::mutex lock_;
  std::map<int, std::vector<int>> numbers_;
  std::map<int, std::vector<std::string>> found_;
  std::set<int> marks_;
  std::map<int, std::string> why_;
  std::set<int> unticked_;
};

// One result in the engine's own page format, for a URL text after "ftp://".
std::string Result(int engine, const std::string& text) {
  switch (engine) {
    case Anchor:
      return "<li><a href=\"ftp://" + text + "\">" + text + "</a></li>\n";
    case ClassLs:
      return "<tr><td class=ls><a href=/cgi-bin/d?q=" + text + " class=dir>x</a></td></tr>\n";
    case Form:
      return "<TR><TD><A HREF=\"ftp://" + text + "\">x</A></TD></TR>\n";
    case Advanced:
      return "<tr><td><a href=\"/swadv/B.asp?form=dir;oquery=" + text + "\">x</a>\n";
    default:
      return "<li><a href=\"/get?path=" + text + "&v=1\"><img src=/img/folder.gif></a>\n";
  }
}

std::string Page(int engine, const std::vector<std::string>& texts) {
  std::string body = "<html><body>\n";
  if (engine == Form) body += "<FORM>\n";
  for (const std::string& t : texts) body += Result(engine, t);
  if (engine == Form) body += "</FORM>\n";
  if (engine == Advanced) body += "Copyright\n";
  return body + "</body></html>\n";
}

const std::string Term = "qb+term";

std::string Target(int engine, int page) {
  return EngineRequestFor(BuiltinEngines()[engine], "", Term, page).url.substr(7);
}

int PageValue(int engine, int n) {
  return BuiltinEngines()[engine].firstPage + n * BuiltinEngines()[engine].pageStep;
}

class EngineThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.EnginePause = 0;  // one local server stands for every engine host
    ASSERT_TRUE(server_.Listening());
    char dir[] = "/tmp/qb-engines-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    savedExeDir_ = ExeDir;
    ExeDir = dir_ + "/";
    std::ofstream ini(ExeDir + SettingsFileName);
    ini << "[Config]\nHttpTimeOut=5\n[Hosts]\n";
    for (int i = 0; i < EngineCount; ++i)
      ini << BuiltinEngines()[i].name << "=" << server_.HostPort() << "\n";
    ini.close();
    ResetSites();
    SetQueryTerm(Term);
    SearchRunning = true;
    for (auto& flag : EngineEnabled) flag = true;
    view_ = std::make_shared<RecorderView>();
    SetSearchDialog(view_);
  }
  void TearDown() override {
    SetSearchDialog(nullptr);
    SearchRunning = false;
    for (auto& flag : EngineEnabled) flag = true;
    ResetSites();
    ExeDir = savedExeDir_;
    std::filesystem::remove_all(dir_);
  }

  static void Run(int engine) { std::thread(EngineThread, engine).join(); }

  void ServePage(int engine, int n, std::vector<HttpReply> replies) {
    server_.Serve(Target(engine, PageValue(engine, n)), std::move(replies));
  }

  std::vector<std::string> ExpectedTargets(int engine, std::vector<int> pages) {
    std::vector<std::string> out;
    for (int n : pages) out.push_back(Target(engine, PageValue(engine, n)));
    return out;
  }

  HttpTestServer server_;
  std::shared_ptr<RecorderView> view_;
  std::string dir_;
  std::string savedExeDir_;
};

// Every engine: pages until one without results, counters after each page, new
// sites only in the found list, a URL below a known site counted but not added.
TEST_F(EngineThreadTest, EachEngineWalksPagesUntilNoResult) {
  for (int e = 0; e < EngineCount; ++e) {
    SCOPED_TRACE(BuiltinEngines()[e].name);
    ResetSites();
    ServePage(e, 0,
              {HttpReply::Page(Page(e, {"h1.test/pub/", "h2.test/a%20b/", "H1.test/PUB/sub/"}))});
    ServePage(e, 1, {HttpReply::Page(Page(e, {"h3.test/x/"}))});
    ServePage(e, 2, {HttpReply::Page("<html><body>No results</body></html>")});
    const std::size_t before = server_.Targets().size();
    Run(e);
    const EngineControls& engine = EngineControlIds[e];
    const std::vector<std::string> targets = server_.Targets();
    EXPECT_EQ(std::vector<std::string>(targets.begin() + before, targets.end()),
              ExpectedTargets(e, {0, 1, 2}));
    EXPECT_EQ(
        view_->Found(engine.foundList),
        (std::vector<std::string>{"ftp://h1.test/pub/", "ftp://h2.test/a b/", "ftp://h3.test/x/"}));
    // Each page shows the totals before it when its scan ends, then with it.
    EXPECT_EQ(view_->Numbers(engine.resultsCounter), (std::vector<int>{0, 3, 3, 4, 4}));
    EXPECT_EQ(view_->Numbers(engine.newSitesCounter), (std::vector<int>{2, 2, 3, 3, 3}));
    EXPECT_EQ(SiteTable.count, 3);
    EXPECT_TRUE(view_->Marked(engine.doneMark));
    EXPECT_FALSE(view_->Marked(engine.failMark));
  }
  EXPECT_EQ(view_->Numbers(SiteCountField), (std::vector<int>{2, 3, 2, 3, 2, 3, 2, 3, 2, 3}));
}

TEST_F(EngineThreadTest, WorkedExamplesOverHttp) {
  struct Case {
    int engine;
    std::vector<std::string> texts;
    std::vector<std::string> found;
  } cases[] = {
      {Anchor,
       {"h/pub/file.zip", "g/pub/", "k/pub%20x/a.txt"},
       {"ftp://h/pub/", "ftp://g/pub/", "ftp://k/pub x/"}},
      {ClassLs, {"h/pub/f.zip"}, {"ftp://h/pub/f.zip/"}},
      {Form, {"h/d/f.zip", "h"}, {"ftp://h/d/", "ftp://h/"}},
      {Advanced, {"h/pub/f.zip", "g/a%20b/"}, {"ftp://h/pub/f.zip/", "ftp://g/a b/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(BuiltinEngines()[c.engine].name);
    ResetSites();
    ServePage(c.engine, 0, {HttpReply::Page(Page(c.engine, c.texts))});
    ServePage(c.engine, 1, {HttpReply::Page("<html></html>")});
    Run(c.engine);
    EXPECT_EQ(view_->Found(EngineControlIds[c.engine].foundList), c.found);
  }
  // Path: a file ("file." comes next on the page) is cut back, a folder is not.
  ResetSites();
  ServePage(Path, 0,
            {HttpReply::Page("path=h/dir/f.txt&v=1 <img src=file.gif> path=g/dir/f.txt&v=1 "
                             "<img src=folder.gif> <img src=file.gif>")});
  ServePage(Path, 1, {HttpReply::Page("<html></html>")});
  Run(Path);
  EXPECT_EQ(view_->Found(EngineControlIds[Path].foundList),
            (std::vector<std::string>{"ftp://h/dir/", "ftp://g/dir/f.txt/"}));
}

TEST_F(EngineThreadTest, PageWithoutResultsEndsAtOnceWithZeroCounters) {
  ServePage(Anchor, 0, {HttpReply::Page("<html><body>Nothing</body></html>")});
  Run(Anchor);
  EXPECT_EQ(server_.Targets(), ExpectedTargets(Anchor, {0}));
  EXPECT_EQ(view_->Numbers(1200), (std::vector<int>{0}));
  EXPECT_EQ(view_->Numbers(1300), (std::vector<int>{0}));
  EXPECT_TRUE(view_->Found(104).empty());
  EXPECT_TRUE(view_->Marked(240));
  EXPECT_FALSE(view_->Marked(110));
}

TEST_F(EngineThreadTest, OneFailureIsRetriedTwoInARowEndTheEngine) {
  const HttpReply failed = HttpReply::Page("<html>error</html>", 500);
  // failure, success, failure, success: never two in a row.
  ServePage(ClassLs, 0, {failed, HttpReply::Page(Page(ClassLs, {"h/a/"}))});
  ServePage(ClassLs, 1, {failed, HttpReply::Page("<html>none</html>")});
  Run(ClassLs);
  EXPECT_EQ(server_.Targets(), ExpectedTargets(ClassLs, {0, 0, 1, 1}));
  EXPECT_TRUE(view_->Marked(242));
  EXPECT_FALSE(view_->Marked(112));
  EXPECT_EQ(view_->Why(112), "");
  EXPECT_EQ(view_->Found(121), (std::vector<std::string>{"ftp://h/a/"}));

  // Two failures of the same page end the engine with its failure mark only.
  ServePage(Form, 0, {failed});
  Run(Form);
  EXPECT_EQ(server_.Targets().size(), 6u);
  EXPECT_TRUE(view_->Marked(111));
  EXPECT_EQ(view_->Why(111), "40x from http://" + server_.HostPort() + Target(Form, 0));
  EXPECT_FALSE(view_->Marked(241));
  EXPECT_TRUE(view_->Numbers(1600).empty());
}

TEST_F(EngineThreadTest, StopEndsTheEngineAfterTheCurrentPage) {
  ServePage(Path, 0, {HttpReply::Page(Page(Path, {"h/a/", "h/b/"}))});
  ServePage(Path, 1, {HttpReply::Page(Page(Path, {"h/c/"}))});
  view_->onFound = [] { SearchRunning = false; };
  Run(Path);
  EXPECT_EQ(server_.Targets(), ExpectedTargets(Path, {0}));
  // The page is finished: both its sites are taken and its counters shown.
  EXPECT_EQ(view_->Found(122), (std::vector<std::string>{"ftp://h/a/", "ftp://h/b/"}));
  EXPECT_EQ(view_->Numbers(116).back(), 2);
  EXPECT_TRUE(view_->Marked(125));
  EXPECT_TRUE(EngineEnabled[Path]);
}

TEST_F(EngineThreadTest, ABoxReadAsTheDialogClosesKeepsTheUsersChoice) {
  ServePage(Anchor, 0, {HttpReply::Page(Page(Anchor, {"h/a/"}))});
  ServePage(Anchor, 1, {HttpReply::Page(Page(Anchor, {"h/c/"}))});
  view_->closeOnAsk = true;
  Run(Anchor);
  EXPECT_EQ(server_.Targets(), ExpectedTargets(Anchor, {0}));  // the closed run ends
  EXPECT_TRUE(EngineEnabled[Anchor]);  // and the next dialog shows the box ticked
}

TEST_F(EngineThreadTest, UntickEndsTheEngineAfterTheCurrentPageAndStays) {
  ServePage(Advanced, 0, {HttpReply::Page(Page(Advanced, {"h/a/"}))});
  ServePage(Advanced, 1, {HttpReply::Page(Page(Advanced, {"h/c/"}))});
  view_->Untick(187);
  Run(Advanced);
  EXPECT_EQ(server_.Targets(), ExpectedTargets(Advanced, {0}));
  EXPECT_FALSE(EngineEnabled[Advanced]);
  EXPECT_TRUE(EngineEnabled[Anchor]);
  EXPECT_TRUE(view_->Marked(108));
  // A disabled engine fetches nothing.
  Run(Advanced);
  EXPECT_EQ(server_.Targets().size(), 1u);
}

TEST_F(EngineThreadTest, RunsWithoutAnOpenDialog) {
  SetSearchDialog(nullptr);
  ServePage(Anchor, 0, {HttpReply::Page(Page(Anchor, {"h/a/f", "g/b/"}))});
  ServePage(Anchor, 1, {HttpReply::Page("")});
  Run(Anchor);
  EXPECT_EQ(SiteTable.count, 2);
  EXPECT_EQ(server_.Targets(), ExpectedTargets(Anchor, {0, 1}));
  EXPECT_TRUE(view_->Numbers(1200).empty());
}

// All five at once on overlapping results: each site enters the table once, and
// the engines' new-site counts add up to the table.
TEST_F(EngineThreadTest, FiveEnginesTogetherShareTheTable) {
  std::vector<std::string> texts;
  for (int i = 0; i < 30; ++i)
    texts.push_back("site" + std::to_string(i % 12) + ".test/d" + std::to_string(i % 7) + "/");
  for (int e = 0; e < EngineCount; ++e) {
    ServePage(e, 0, {HttpReply::Page(Page(e, texts))});
    ServePage(e, 1, {HttpReply::Page(Page(e, {"late" + std::to_string(e) + ".test/"}))});
    ServePage(e, 2, {HttpReply::Page("<html></html>")});
  }
  std::vector<std::thread> threads;
  for (int e = 0; e < EngineCount; ++e) threads.emplace_back(EngineThread, e);
  for (std::thread& t : threads) t.join();
  int newSites = 0;
  std::set<std::string> found;
  for (int e = 0; e < EngineCount; ++e) {
    newSites += view_->Numbers(EngineControlIds[e].newSitesCounter).back();
    EXPECT_EQ(view_->Numbers(EngineControlIds[e].resultsCounter).back(), 31);
    for (const std::string& url : view_->Found(EngineControlIds[e].foundList)) {
      EXPECT_TRUE(found.insert(url).second) << url;
    }
    EXPECT_TRUE(view_->Marked(EngineControlIds[e].doneMark));
  }
  std::set<std::string> distinct;
  for (const std::string& t : texts) distinct.insert(t);
  EXPECT_EQ(SiteTable.count, static_cast<int>(distinct.size()) + EngineCount);
  EXPECT_EQ(newSites, SiteTable.count.load());
  EXPECT_EQ(found.size(), static_cast<std::size_t>(SiteTable.count));
}

}  // namespace

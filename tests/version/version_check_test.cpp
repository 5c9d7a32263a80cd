#include "version/version_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings.h"
#include "tests/support/http_test_server.h"

using namespace qb;

namespace {

struct NoticeCase {
  const char* name;
  std::string body;
  std::string text;
};

std::string Repeat(const std::string& piece, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += piece;
  return all;
}

TEST(NoticeText, BuildsCrLfLinesAndDropsTheUnfinishedOne) {
  const NoticeCase cases[] = {
      {"lf lines", "\r\nline one\nline two\n", "line one\r\nline two\r\n"},
      {"crlf lines keep their cr", "\r\nline one\r\nline two\r\n", "line one\r\r\nline two\r\r\n"},
      {"last line without end is lost", "\r\nkept\nlost", "kept\r\n"},
      {"no line end at all", "\r\nonly text", ""},
      {"leading line ends of any mix skipped", "\n\r\n\r\rtext\n", "text\r\n"},
      {"empty lines inside stay", "\r\na\n\nb\n", "a\r\n\r\nb\r\n"},
      {"only line ends", "\r\n\n\r\n", ""},
      {"empty body", "", ""},
      {"many lines", "\r\n" + Repeat("v 0.32 is out\n", 500), Repeat("v 0.32 is out\r\n", 500)},
  };
  for (const NoticeCase& c : cases) {
    EXPECT_EQ(BuildNoticeText(c.body), c.text) << c.name;
  }
}

// A page of nothing but short lines nearly doubles in size; every byte must land.
TEST(NoticeText, HugeBodyOfShortLinesFitsWhole) {
  const std::string body = "\r\n" + Repeat("x\n", 49000);
  const std::string text = BuildNoticeText(body);
  ASSERT_EQ(text.size(), 49000u * 3);
  EXPECT_EQ(text, Repeat("x\r\n", 49000));
}

TEST(Counter, ReadsTheNumberAfterTheLeadingLineEnd) {
  const struct {
    const char* body;
    int32_t users;
  } cases[] = {
      {"\r\n42", 42}, {"\r\n  17 users", 17}, {"\r\n0", 0}, {"\r\nabc", 0},
      {"42", 0},      {"\r\n-3", -3},         {"\r\n", 0},  {"\r", 0},
      {"", 0},        {nullptr, 0},           {"xx9", 9},   {"\r\n99999999999", INT32_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadCounter(c.body), c.users) << (c.body ? c.body : "(null)");
  }
}

using namespace std::chrono_literals;
using qbtest::HttpReply;
using qbtest::HttpTestServer;

class RecorderView : public VersionCheckView {
 public:
  void ShowNotice(const std::string& text) override {
    std::lock_guard<std::mutex> hold(lock_);
    notices_.push_back(text);
  }
  void ShowCounter(int32_t users) override {
    std::lock_guard<std::mutex> hold(lock_);
    counters_.push_back(users);
    changed_.notify_all();
  }
  // The counter is fetched only after the notice step, so a shown number means
  // the notice step is over.
  bool WaitForCounters(std::size_t count) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, 10s, [&] { return counters_.size() >= count; });
  }
  std::vector<std::string> Notices() {
    std::lock_guard<std::mutex> hold(lock_);
    return notices_;
  }
  std::vector<int32_t> Counters() {
    std::lock_guard<std::mutex> hold(lock_);
    return counters_;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::string> notices_;
  std::vector<int32_t> counters_;
};

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

class VersionCheckRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qb_version_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ExeDir = dir_.string() + "/";
    Settings.HttpTimeOut = 5;
    ASSERT_TRUE(server_.Listening());
    server_.Serve(CounterPath, HttpReply::Page("42"));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  VersionCheckConfig Config(const std::string& noticeUrl) {
    VersionCheckConfig config;
    config.noticeUrl = noticeUrl;
    config.counterUrl = server_.Url(CounterPath);
    config.noticeFile = NoticePath().string();
    config.period = 10ms;
    return config;
  }
  std::filesystem::path NoticePath() const { return dir_ / NoticeFileName; }

  // One start of the program: runs until the first counter has been shown.
  std::vector<std::string> RunOnce(const std::string& noticeUrl) {
    auto view = std::make_shared<RecorderView>();
    VersionCheck check(Config(noticeUrl), view);
    check.Start();
    EXPECT_TRUE(view->WaitForCounters(1));
    check.Stop();
    return view->Notices();
  }

  std::filesystem::path dir_;
  HttpTestServer server_;
};

TEST_F(VersionCheckRun, SavedNoticeComparesExactly) {
  const std::string big = Repeat("0123456789abcdef", 1000);  // several read chunks
  std::string bigChangedLate = big;
  bigChangedLate[big.size() - 1] = 'F';
  const struct {
    const char* name;
    std::string saved;
    std::string notice;
    bool changed;
  } cases[] = {
      {"same", "News\r\n", "News\r\n", false},
      {"case counts", "news\r\n", "News\r\n", true},
      {"saved is shorter", "News", "News\r\n", true},
      {"saved is longer", "News\r\nmore", "News\r\n", true},
      {"both empty", "", "", false},
      {"same over several chunks", big, big, false},
      {"differs in the last chunk", bigChangedLate, big, true},
      {"saved has a chunk more", big + big, big, true},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(SaveNotice(NoticePath().string(), c.saved)) << c.name;
    EXPECT_EQ(ReadFile(NoticePath()), c.saved) << c.name;
    EXPECT_EQ(NoticeChanged(NoticePath().string(), c.notice), c.changed) << c.name;
  }
  std::filesystem::remove(NoticePath());
  EXPECT_TRUE(NoticeChanged(NoticePath().string(), "")) << "missing file";
  const std::string fresh = (dir_ / "not-yet" / NoticeFileName).string();
  ASSERT_TRUE(SaveNotice(fresh, "News\r\n")) << "its folder is made on the first write";
  EXPECT_FALSE(NoticeChanged(fresh, "News\r\n"));
}

TEST_F(VersionCheckRun, ShowsANoticeOnlyWhenItChanged) {
  server_.Serve("/notice.txt", {HttpReply::Page("Version 0.32\nis out\n"),
                                HttpReply::Page("Version 0.32\nis out\n"),
                                HttpReply::Page("Version 0.33\nis out\n")});
  const std::string url = server_.Url("/notice.txt");
  const std::string first = "Version 0.32\r\nis out\r\n";

  EXPECT_EQ(RunOnce(url), std::vector<std::string>{first}) << "first start";
  EXPECT_EQ(ReadFile(NoticePath()), first);

  EXPECT_TRUE(RunOnce(url).empty()) << "same notice again";
  EXPECT_EQ(ReadFile(NoticePath()), first);

  const std::string changed = "Version 0.33\r\nis out\r\n";
  EXPECT_EQ(RunOnce(url), std::vector<std::string>{changed}) << "one character changed";
  EXPECT_EQ(ReadFile(NoticePath()), changed);
}

TEST_F(VersionCheckRun, AnUnreadableSavedNoticeCountsAsChanged) {
  server_.Serve("/notice.txt", HttpReply::Page("News\n"));
  std::filesystem::create_directory(NoticePath());  // opens, but cannot be read
  EXPECT_EQ(RunOnce(server_.Url("/notice.txt")), std::vector<std::string>{"News\r\n"});
}

TEST_F(VersionCheckRun, AFailedNoticeFetchShowsNothingAndTouchesNoFile) {
  HttpTestServer gone;
  gone.Stop();  // nothing listens on its port any more
  server_.Serve("/missing.txt", HttpReply::Page("gone\n", 404));

  for (const std::string& url : {gone.Url("/notice.txt"), server_.Url("/missing.txt")}) {
    EXPECT_TRUE(RunOnce(url).empty()) << url;
    EXPECT_FALSE(std::filesystem::exists(NoticePath())) << url;
  }
}

TEST_F(VersionCheckRun, CounterShowsOnlyNonZeroNumbers) {
  server_.Serve(CounterPath, {HttpReply::Page("42"), HttpReply::Page("0"), HttpReply::Page("abc"),
                              HttpReply::Page("7")});
  server_.Serve("/notice.txt", HttpReply::Page("x\n"));
  auto view = std::make_shared<RecorderView>();
  VersionCheck check(Config(server_.Url("/notice.txt")), view);
  check.Start();
  ASSERT_TRUE(view->WaitForCounters(2));
  check.Stop();

  const std::vector<int32_t> counters = view->Counters();
  EXPECT_EQ(std::vector<int32_t>(counters.begin(), counters.begin() + 2),
            (std::vector<int32_t>{42, 7}));
  std::size_t counterRequests = 0;
  for (const std::string& target : server_.Targets()) counterRequests += target == CounterPath;
  EXPECT_GE(counterRequests, 4u);
}

TEST_F(VersionCheckRun, StopEndsTheWaitBetweenTwoCounts) {
  auto view = std::make_shared<RecorderView>();
  VersionCheckConfig config = Config(server_.Url("/none.txt"));
  config.period = CounterPeriod;
  VersionCheck check(config, view);
  check.Start();
  ASSERT_TRUE(view->WaitForCounters(1));
  const auto before = std::chrono::steady_clock::now();
  check.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
}

}  // namespace

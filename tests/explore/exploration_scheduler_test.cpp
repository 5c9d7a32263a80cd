#include "explore/exploration_scheduler.h"

#include <gtest/gtest.h>

#include <system_error>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/controls.h"
#include "core/settings.h"
#include "core/site_table.h"
#include "explore/exploration_view.h"
#include "tests/support/wait.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Shown {
  std::string what;  // "number", "progress", "play", "stop"
  int id;
  int value;
  bool operator==(const Shown&) const = default;
};

class RecordingView : public ExplorationView {
 public:
  void SetNumber(int controlId, int value) override { Add({"number", controlId, value}); }
  void SetProgress(int percent) override { Add({"progress", 0, percent}); }
  void PlayAnimation() override { Add({"play", 0, 0}); }
  void StopAnimation() override { Add({"stop", 0, 0}); }

  std::vector<Shown> Events() const {
    std::lock_guard<std::mutex> hold(lock_);
    return events_;
  }
  int Count(const Shown& e) const {
    int n = 0;
    for (const Shown& s : Events()) n += s == e;
    return n;
  }
  int CountOf(const std::string& what, int id = 0) const {
    int n = 0;
    for (const Shown& s : Events()) n += s.what == what && s.id == id;
    return n;
  }

 private:
  void Add(Shown e) {
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back(std::move(e));
  }
  mutable std::mutex lock_;
  std::vector<Shown> events_;
};

// Stands in for the workers: a started entry counts as a session in progress
// until the test finishes it.
class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSites();
    ASSERT_TRUE(qbtest::WaitUntil([] { return LiveSchedulers() == 0; }, 2s));
    Settings.MinConnect = 8;
    view_ = std::make_shared<RecordingView>();
    SetExplorationView(view_);
    SetWorkerLauncher([this](std::shared_ptr<SiteEntry> entry) {
      ++ActiveSessions;
      std::lock_guard<std::mutex> hold(lock_);
      started_.push_back({entry->url, Clock::now()});
    });
  }
  void TearDown() override {
    SetSchedulerThreadStarter(nullptr);
    ResetSites();
    EXPECT_TRUE(qbtest::WaitUntil([] { return LiveSchedulers() == 0; }, 2s));
    SetWorkerLauncher(nullptr);
    SetExplorationView(nullptr);
  }

  static void Add(const std::string& url) {
    std::string text = url;
    bool added = false;
    AddUniqueSite(text, added, true);
    ASSERT_TRUE(added);
  }
  static void Finish(int slot) {
    SiteAt(slot)->status = Ok;
    --ActiveSessions;
    ++FinishedWorkers;
  }
  std::vector<std::string> Started() {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<std::string> urls;
    for (const auto& s : started_) urls.push_back(s.url);
    return urls;
  }
  bool WaitStarted(std::size_t n, std::chrono::milliseconds bound = 3s) {
    return qbtest::WaitUntil([&] { return Started().size() >= n; }, bound);
  }
  // Ticks pass without a start: four ticks are long enough to see one.
  void QuietTicks() { std::this_thread::sleep_for(450ms); }

  struct Start {
    std::string url;
    Clock::time_point at;
  };
  std::mutex lock_;
  std::vector<Start> started_;
  std::shared_ptr<RecordingView> view_;
};

TEST(ExplorationPercent, TruncatesWithinBounds) {
  struct Case {
    int finished, waiting, exploring, percent;
  };
  const Case cases[] = {{4, 4, 2, 40},  {0, 0, 0, 0}, {1, 2, 0, 33},   {2, 1, 0, 66},
                        {3, 0, 0, 100}, {0, 5, 1, 0}, {199, 1, 0, 99}, {9, 0, 0, 100}};
  for (const Case& c : cases) {
    EXPECT_EQ(ExplorationPercent(c.finished, c.waiting, c.exploring), c.percent)
        << c.finished << "/" << c.waiting << "/" << c.exploring;
  }
}

TEST_F(SchedulerTest, StartsOnePerTickUpToTheSessionBound) {
  Settings.MinConnect = 3;
  for (int i = 0; i < 6; ++i) Add("ftp://host" + std::to_string(i) + ".example/pub/");
  StartExplorationScheduler();
  ASSERT_TRUE(WaitStarted(3));
  QuietTicks();
  ASSERT_EQ(Started().size(), 3u);
  EXPECT_EQ(Started()[0], "ftp://host0.example/pub/");
  EXPECT_EQ(Started()[2], "ftp://host2.example/pub/");
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (std::size_t i = 1; i < started_.size(); ++i) {
      EXPECT_GE(started_[i].at - started_[i - 1].at, 90ms);
    }
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(SiteAt(i)->status, Exploring);
  EXPECT_EQ(SiteAt(3)->status, Waiting);

  Finish(1);
  ASSERT_TRUE(WaitStarted(4));
  EXPECT_EQ(Started()[3], "ftp://host3.example/pub/");
  QuietTicks();
  EXPECT_EQ(Started().size(), 4u);
}

TEST_F(SchedulerTest, FastStartFillsEveryFreeSlotAtOnce) {
  Settings.MinConnect = 3;
  Settings.FastStart = 1;
  for (int i = 0; i < 5; ++i) Add("ftp://host" + std::to_string(i) + ".example/pub/");
  StartExplorationScheduler();
  ASSERT_TRUE(WaitStarted(3));
  QuietTicks();
  EXPECT_EQ(Started().size(), 3u);
  // Started in one tick, not one a tick: the session count never showed 1 or 2.
  EXPECT_EQ(view_->Count({"number", IdSessions, 3}), 1);
  EXPECT_EQ(view_->Count({"number", IdSessions, 1}), 0);
  Finish(0);
  Finish(1);
  ASSERT_TRUE(WaitStarted(5));
  Settings.FastStart = 0;
}

TEST_F(SchedulerTest, SitesOnOneServerWaitForEachOther) {
  Add("ftp://same.host.example/a/");
  Add("ftp://user:pw@SAME.host.example:21/b/");  // the same server, with a user part
  Add("ftp://ftp.univ-lyon1.fr/");
  Add("ftp://ftp.univ-paris.fr/");         // a common prefix, another server
  Add("ftp://same.host.example:2121/c/");  // another port, another server
  StartExplorationScheduler();
  ASSERT_TRUE(WaitStarted(4));
  QuietTicks();
  EXPECT_EQ(Started(), (std::vector<std::string>{
                           "ftp://same.host.example/a/", "ftp://ftp.univ-lyon1.fr/",
                           "ftp://ftp.univ-paris.fr/", "ftp://same.host.example:2121/c/"}));
  Finish(0);
  ASSERT_TRUE(WaitStarted(5));
  EXPECT_EQ(Started()[4], "ftp://user:pw@SAME.host.example:21/b/");
}

TEST_F(SchedulerTest, DroppedEntriesAreNeitherStartedNorCounted) {
  Settings.MinConnect = 0;
  Add("ftp://a.example/");
  Add("ftp://b.example/");
  Add("ftp://c.example/");
  SiteAt(0)->dropped = true;
  StartExplorationScheduler();
  ASSERT_TRUE(qbtest::WaitUntil([&] { return view_->CountOf("number", 11103) > 0; }, 2s));
  EXPECT_EQ(view_->Count({"number", 11103, 2}), 1);

  ExplorationLimit = 8;
  ASSERT_TRUE(WaitStarted(2));
  QuietTicks();
  EXPECT_EQ(Started(), (std::vector<std::string>{"ftp://b.example/", "ftp://c.example/"}));
}

TEST_F(SchedulerTest, NoBoundStartsNothingAndShowsOnlyChanges) {
  Settings.MinConnect = 0;
  Add("ftp://a.example/");
  Add("ftp://b.example/");
  Add("ftp://c.example/");
  StartExplorationScheduler();
  EXPECT_EQ(ExplorationLimit, 0);
  ASSERT_TRUE(qbtest::WaitUntil([&] { return view_->CountOf("play") > 0; }, 2s));
  QuietTicks();
  EXPECT_TRUE(Started().empty());
  // The percentage is left out: the last one shown survives from earlier runs.
  std::vector<Shown> counters;
  for (const Shown& e : view_->Events()) {
    if (e.what != "progress" && e.id != 101) counters.push_back(e);
  }
  EXPECT_EQ(counters, (std::vector<Shown>{{"number", 11103, 3}, {"play", 0, 0}}));
}

TEST_F(SchedulerTest, PauseHoldsStartsButCountsGoOn) {
  Settings.MinConnect = 0;
  Add("ftp://a.example/");
  Add("ftp://b.example/");
  StartExplorationScheduler();
  EXPECT_FALSE(ExplorationPaused);
  ExplorationPaused = true;
  ExplorationLimit = 8;
  FinishedWorkers = 1;  // a worker of this run ends meanwhile
  ASSERT_TRUE(qbtest::WaitUntil([&] { return view_->Count({"number", 11104, 1}) == 1; }, 2s));
  QuietTicks();
  EXPECT_TRUE(Started().empty());
  ExplorationPaused = false;
  ASSERT_TRUE(WaitStarted(2));
}

TEST_F(SchedulerTest, ShowsThePercentageOfFinishedSites) {
  Settings.MinConnect = 0;
  for (int i = 0; i < 10; ++i) Add("ftp://host" + std::to_string(i) + ".example/");
  StartExplorationScheduler();
  // 4 finished, 2 exploring, 4 waiting.
  for (int i = 0; i < 4; ++i) SiteAt(i)->status = Ok;
  SiteAt(4)->status = Exploring;
  SiteAt(5)->status = Exploring;
  FinishedWorkers = 4;
  ASSERT_TRUE(qbtest::WaitUntil([&] { return view_->Count({"progress", 0, 40}) == 1; }, 2s));
  EXPECT_EQ(view_->Count({"number", 101, 40}), 1);
  EXPECT_EQ(view_->Count({"number", 11103, 4}), 1);
}

TEST_F(SchedulerTest, EndsOnceTheTableEmpties) {
  Add("ftp://a.example/");
  StartExplorationScheduler();
  ASSERT_TRUE(WaitStarted(1));
  Finish(0);
  QuietTicks();
  EXPECT_EQ(LiveSchedulers(), 1);  // keeps ticking after the last site
  ResetSites();
  ASSERT_TRUE(qbtest::WaitUntil([] { return LiveSchedulers() == 0; }, 5s));
  EXPECT_EQ(view_->Events().back(), (Shown{"stop", 0, 0}));
}

TEST_F(SchedulerTest, NewRunEndsTheOldOne) {
  Settings.MinConnect = 0;
  Add("ftp://a.example/");
  StartExplorationScheduler();
  ResetSites();
  Add("ftp://b.example/");  // refilled before the old run saw the table empty
  Settings.MinConnect = 8;
  StartExplorationScheduler();
  ASSERT_TRUE(qbtest::WaitUntil([] { return LiveSchedulers() == 1; }, 5s));
  ASSERT_TRUE(WaitStarted(1));
  QuietTicks();
  EXPECT_EQ(Started(), (std::vector<std::string>{"ftp://b.example/"}));
  EXPECT_EQ(LiveSchedulers(), 1);
}

// A thread that cannot be created leaves its site waiting for a later tick;
// nothing is lost and the run goes on.
TEST_F(SchedulerTest, SiteWhoseThreadCannotStartWaitsForALaterTick) {
  std::atomic<int> refusals{2};
  SetWorkerLauncher([this, &refusals](std::shared_ptr<SiteEntry> entry) {
    if (refusals-- > 0)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    ++ActiveSessions;
    std::lock_guard<std::mutex> hold(lock_);
    started_.push_back({entry->url, Clock::now()});
  });
  Add("ftp://only.example/pub/");
  StartExplorationScheduler();
  ASSERT_TRUE(WaitStarted(1));
  EXPECT_LE(refusals, 0);
  EXPECT_EQ(Started(), (std::vector<std::string>{"ftp://only.example/pub/"}));
  EXPECT_EQ(SiteAt(0)->status, Exploring);
}

void RefuseThread(std::function<void()>) {
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

// No thread for the run at all: after its retries the sites wait and say why,
// and the next start that gets one explores them.
TEST_F(SchedulerTest, RunWithoutAThreadLeavesItsSitesWaitingAndSaysSo) {
  std::atomic<int> tries{0};
  SetSchedulerThreadStarter([&tries](std::function<void()> body) {
    ++tries;
    RefuseThread(std::move(body));
  });
  Add("ftp://a.example/");
  EXPECT_FALSE(StartExplorationScheduler());
  EXPECT_EQ(tries, 3);
  EXPECT_EQ(LiveSchedulers(), 0);
  QuietTicks();
  EXPECT_TRUE(Started().empty());
  EXPECT_EQ(SiteAt(0)->status, Waiting);
  EXPECT_EQ(SiteAt(0)->statusText.Get(), NoThreadNote);

  SetSchedulerThreadStarter(nullptr);
  EXPECT_TRUE(StartExplorationScheduler());
  EXPECT_EQ(SiteAt(0)->statusText.Get(), "");
  ASSERT_TRUE(WaitStarted(1));
  EXPECT_EQ(Started(), (std::vector<std::string>{"ftp://a.example/"}));
}

TEST_F(SchedulerTest, RunWhoseThreadIsRefusedTwiceStartsOnTheThirdTry) {
  std::atomic<int> refusals{2};
  SetSchedulerThreadStarter([&refusals](std::function<void()> body) {
    if (refusals-- > 0) RefuseThread(std::move(body));
    std::thread(std::move(body)).detach();
  });
  Add("ftp://a.example/");
  EXPECT_TRUE(StartExplorationScheduler());
  ASSERT_TRUE(WaitStarted(1));
  EXPECT_EQ(SiteAt(0)->statusText.Get(), "");
}

// A new run that gets no thread must not end the one already going on: that
// one takes the new sites instead.
TEST_F(SchedulerTest, RunWithoutAThreadLeavesTheRunningOneInCharge) {
  Add("ftp://a.example/");
  ASSERT_TRUE(StartExplorationScheduler());
  ASSERT_TRUE(WaitStarted(1));
  SetSchedulerThreadStarter(RefuseThread);
  Add("ftp://b.example/");
  EXPECT_FALSE(StartExplorationScheduler());
  EXPECT_EQ(LiveSchedulers(), 1);
  ASSERT_TRUE(WaitStarted(2));
  EXPECT_EQ(Started()[1], "ftp://b.example/");
  EXPECT_EQ(SiteAt(1)->statusText.Get(), "");
}

}  // namespace

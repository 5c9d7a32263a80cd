#include "core/ui_door.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

using namespace qb;

namespace {

// A stand-in UI thread that drains a queue of tasks.
class FakeUiThread {
 public:
  FakeUiThread() : thread_([this] { Run(); }) {
    SetUiPoster([this](UiTask t) { Post(std::move(t)); },
                [this] { return std::this_thread::get_id() == thread_.get_id(); });
  }
  ~FakeUiThread() {
    SetUiPoster(nullptr, nullptr);
    Post(nullptr);
    thread_.join();
  }
  std::thread::id Id() const { return thread_.get_id(); }

 private:
  void Post(UiTask t) {
    std::lock_guard<std::mutex> hold(lock_);
    queue_.push_back(std::move(t));
    ready_.notify_one();
  }
  void Run() {
    for (;;) {
      std::unique_lock<std::mutex> hold(lock_);
      ready_.wait(hold, [this] { return !queue_.empty(); });
      UiTask t = std::move(queue_.front());
      queue_.pop_front();
      hold.unlock();
      if (!t) return;
      t();
    }
  }
  std::mutex lock_;
  std::condition_variable ready_;
  std::deque<UiTask> queue_;
  std::thread thread_;
};

TEST(UiDoor, WithoutPosterTasksRunAtOnce) {
  int ran = 0;
  PostToUi([&] { ++ran; });
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(AskOnUi([] { return true; }));
}

TEST(UiDoor, QuestionsRunOnTheUiThreadAndAnswerTheCaller) {
  FakeUiThread ui;
  std::thread::id where;
  EXPECT_FALSE(AskOnUi([&] {
    where = std::this_thread::get_id();
    return false;
  }));
  EXPECT_EQ(where, ui.Id());
  std::thread::id posted;
  bool asked = AskOnUi([&] {
    // A question asked from the UI thread itself must not wait on itself.
    return AskOnUi([&] {
      posted = std::this_thread::get_id();
      return true;
    });
  });
  EXPECT_TRUE(asked);
  EXPECT_EQ(posted, ui.Id());
}

TEST(UiDoor, AQuestionTheUiThreadNeverRunsAnswersNoInsteadOfEndingTheProgram) {
  // A loop that has gone drops what it is handed, as the toolkit does at exit.
  SetUiPoster([](UiTask) {}, [] { return false; });
  bool asked = false;
  EXPECT_FALSE(AskOnUi([&] {
    asked = true;
    return true;
  }));
  EXPECT_FALSE(asked);

  CloseUiDoor();
  int ran = 0;
  PostToUi([&] { ++ran; });
  EXPECT_FALSE(AskOnUi([&] { return ++ran > 0; }));
  EXPECT_EQ(ran, 0);
  SetUiPoster(nullptr, nullptr);
  EXPECT_TRUE(AskOnUi([] { return true; }));
}

}  // namespace

// The download queue against vsftpd and a scripted server: bounds per server,
// pause and cancel mid-file, a kept queue that goes on, folders queued as
// trees. Every wait is on what the queue tells.
#include "transfer/transfer_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "explore/host_slots.h"
#include "explore/site_worker.h"
#include "index/index_db.h"
#include "index/index_writer.h"
#include "tests/support/fake_ftp_server.h"
#include "tests/support/pyftpd_fixture.h"
#include "tests/support/real_ftpd.h"
#include "tests/transfer/fetch_script.h"
#include "tests/transfer/file_bytes.h"
#include "transfer/index_transfer_store.h"

namespace {

using qb::Transfer;
using qb::TransferQueue;
using qb::TransferState;

constexpr auto Bound = std::chrono::seconds(60);

using qbtest::RandomBytes;
using qbtest::Read;
using qbtest::Write;

// a becomes v when v is less (more, with greater).
template <class Compare = std::less<int64_t>>
void Keep(std::atomic<int64_t>& a, int64_t v, Compare better = {}) {
  int64_t now = a;
  while (better(v, now) && !a.compare_exchange_weak(now, v)) {
  }
}

// Every file below folder, as paths relative to it.
std::vector<std::string> Tree(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    if (e.is_regular_file()) names.push_back(std::filesystem::relative(e.path(), folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The store's contract, in memory.
class MemoryStore final : public qb::TransferStore {
 public:
  std::vector<Transfer> LoadTransfers(std::string& /*error*/) override {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<Transfer> out;
    for (const auto& [id, row] : rows_) out.push_back(row);
    return out;
  }
  int64_t AddTransfer(const Transfer& transfer, std::string& /*error*/) override {
    std::lock_guard<std::mutex> hold(lock_);
    Transfer row = transfer;
    row.id = next_++;
    rows_[row.id] = row;
    return row.id;
  }
  bool UpdateTransfer(const Transfer& transfer, std::string& /*error*/) override {
    std::lock_guard<std::mutex> hold(lock_);
    if (auto found = rows_.find(transfer.id); found != rows_.end()) found->second = transfer;
    return true;
  }
  bool RemoveTransfers(const std::vector<int64_t>& ids, std::string& /*error*/) override {
    std::lock_guard<std::mutex> hold(lock_);
    for (const int64_t id : ids) rows_.erase(id);
    return true;
  }
  std::map<int64_t, Transfer> Rows() {
    std::lock_guard<std::mutex> hold(lock_);
    return rows_;
  }

 private:
  std::mutex lock_;
  std::map<int64_t, Transfer> rows_;
  int64_t next_ = 1;
};

// What the queue told, for the test to wait on. onChanged runs first on
// every change, on the thread that told it.
class Told {
 public:
  qb::TransferEvents Events(int progressEveryMs = 0) {
    qb::TransferEvents events;
    events.progressEveryMs = progressEveryMs;
    events.changed = [this] {
      std::function<void()> first;
      {
        std::lock_guard<std::mutex> hold(hookLock_);
        first = onChanged_;
      }
      if (first) first();
      Note([] {});
    };
    events.drained = [this](int done, int failed) {
      Note([&] { drained.emplace_back(done, failed); });
    };
    events.folderQueued = [this](const qb::FolderQueued& f) {
      Note([&] { folders.push_back(f); });
    };
    return events;
  }
  template <class Condition>
  bool WaitFor(Condition condition) {
    std::unique_lock<std::mutex> hold(lock);
    return seen.wait_for(hold, Bound, condition);
  }

  void OnChanged(std::function<void()> hook) {
    std::lock_guard<std::mutex> hold(hookLock_);
    onChanged_ = std::move(hook);
  }

  std::mutex lock;
  std::condition_variable seen;
  std::vector<std::pair<int, int>> drained;
  std::vector<qb::FolderQueued> folders;

 private:
  template <class Change>
  void Note(Change change) {
    {
      std::lock_guard<std::mutex> hold(lock);
      change();
    }
    seen.notify_all();
  }

  std::mutex hookLock_;
  std::function<void()> onChanged_;
};

std::optional<Transfer> Find(const TransferQueue& queue, int64_t id) {
  for (const Transfer& t : queue.Snapshot())
    if (t.id == id) return t;
  return std::nullopt;
}

bool InState(const TransferQueue& queue, int64_t id, TransferState state) {
  const std::optional<Transfer> t = Find(queue, id);
  return t && t->state == state;
}

class TransferQueueTest : public ::testing::Test {
 protected:
  static constexpr std::size_t BigSize = 6 * 1024 * 1024 + 5;
  static constexpr int64_t MidFile = 512 * 1024;

  void SetUp() override {
    qb::Settings.HttpTimeOut = 10;
    qb::Settings.DataMode = qb::FtpDataMode::Passive;
    qb::Settings.Tls = qb::TlsMode::WhenOffered;
    big_ = RandomBytes(BigSize, 3);
    std::filesystem::create_directories(tree_.Path() + "/pub");
    Write(tree_.Path() + "/pub/data.bin", big_);
    server_ = std::make_unique<qbtest::RealFtpd>(qbtest::Ftpd::Vsftpd, tree_.Path());
    if (!server_->Unavailable().empty()) {
      if (const char* required = std::getenv("QB_REQUIRE_FTPD"); required && *required == '1')
        ADD_FAILURE() << server_->Unavailable();
      GTEST_SKIP() << server_->Unavailable();
    }
  }

  // Calls act once, from the fetching thread, when the only transfer has
  // more than MidFile bytes: the next piece sees it.
  void MidFetch(TransferQueue*& queue, const std::function<void(const Transfer&)>& act) {
    told_.OnChanged([&queue, act, once = std::make_shared<std::atomic<bool>>(false)] {
      const std::vector<Transfer> all = queue->Snapshot();
      if (all.size() == 1 && all[0].state == TransferState::Fetching && all[0].bytes > MidFile &&
          !once->exchange(true))
        act(all[0]);
    });
  }

  qbtest::TempDir tree_;
  qbtest::TempDir into_;
  std::string big_;
  std::unique_ptr<qbtest::RealFtpd> server_;
  MemoryStore store_;
  Told told_;
};

TEST_F(TransferQueueTest, SeveralFilesKeepToTheBoundPerServerAndDrainOnce) {
  constexpr int Files = 8;
  for (int i = 0; i < Files; ++i)
    Write(tree_.Path() + "/pub/f" + std::to_string(i), RandomBytes(1024 * 1024, i));
  TransferQueue* q = nullptr;
  std::atomic<int64_t> most{0};
  std::atomic<bool> allAdded{false};
  std::atomic<bool> released{false};
  const std::thread::id main = std::this_thread::get_id();
  const auto fetching = [&q] {
    const std::vector<Transfer> all = q->Snapshot();
    return static_cast<int>(std::count_if(all.begin(), all.end(), [](const Transfer& t) {
      return t.state == TransferState::Fetching;
    }));
  };
  // The fetching threads wait until every file is queued and two fetch at
  // once: the bound is then met for certain, and no file ends before the last is queued.
  told_.OnChanged([&] {
    Keep(most, fetching(), std::greater<int64_t>());
    if (std::this_thread::get_id() == main || released) return;
    told_.WaitFor([&] { return released || (allAdded && fetching() >= 2); });
    released = true;
  });
  TransferQueue queue(&store_, {2, 4}, told_.Events());
  q = &queue;
  std::vector<int64_t> ids;
  for (int i = 0; i < Files; ++i)
    ids.push_back(queue.Add(server_->Url("/pub/f" + std::to_string(i)), into_.Path(), -1));
  {
    std::lock_guard<std::mutex> hold(told_.lock);
    allAdded = true;
  }
  told_.seen.notify_all();
  ASSERT_TRUE(told_.WaitFor([&] { return !told_.drained.empty(); }));
  EXPECT_EQ(most, 2);
  EXPECT_EQ(server_->Connections(), 2) << "one login a session, not one a file";
  for (int i = 0; i < Files; ++i) {
    const std::optional<Transfer> t = Find(queue, ids[i]);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->state, TransferState::Done) << t->text;
    EXPECT_EQ(t->path, into_.Path() + "/f" + std::to_string(i));
    EXPECT_EQ(t->size, 1024 * 1024);
    EXPECT_TRUE(Read(t->path) == RandomBytes(1024 * 1024, i)) << i;
    EXPECT_EQ(store_.Rows().at(ids[i]).state, TransferState::Done);
  }
  EXPECT_EQ(queue.Totals().fetching, 0);
  queue.RemoveFinished();
  EXPECT_TRUE(queue.Snapshot().empty());
  EXPECT_TRUE(store_.Rows().empty());
  // The files stay: only the rows went.
  EXPECT_EQ(Tree(into_.Path()).size(), static_cast<std::size_t>(Files));
  std::lock_guard<std::mutex> hold(told_.lock);
  EXPECT_EQ(told_.drained, (std::vector<std::pair<int, int>>{{Files, 0}}));
}

TEST_F(TransferQueueTest, PausedMidFileResumesFromItsPartToTheSameBytes) {
  TransferQueue* q = nullptr;
  MidFetch(q, [&q](const Transfer& t) { q->Pause(t.id); });
  TransferQueue queue(&store_, {2, 4}, told_.Events());
  q = &queue;
  const int64_t id = queue.Add(server_->Url("/pub/data.bin"), into_.Path(), -1);
  // Told after the row is kept.
  ASSERT_TRUE(told_.WaitFor(
      [&] { return InState(queue, id, TransferState::Paused) && !told_.drained.empty(); }));
  const Transfer paused = *Find(queue, id);
  EXPECT_EQ(paused.path, into_.Path() + "/data.bin.part");
  EXPECT_GT(paused.bytes, MidFile);
  ASSERT_LT(paused.bytes, static_cast<int64_t>(BigSize));
  EXPECT_EQ(paused.size, static_cast<int64_t>(BigSize));
  const std::string part = Read(paused.path);
  EXPECT_EQ(static_cast<int64_t>(part.size()), paused.bytes);
  EXPECT_TRUE(big_.compare(0, part.size(), part) == 0);
  EXPECT_EQ(store_.Rows().at(id).state, TransferState::Paused);
  {
    std::lock_guard<std::mutex> hold(told_.lock);
    // Paused is not fetching: the queue ran dry with nothing done.
    EXPECT_EQ(told_.drained, (std::vector<std::pair<int, int>>{{0, 0}}));
  }

  // Going on, it never shows fewer bytes than it stopped at: REST kept them.
  std::atomic<int64_t> least{INT64_MAX};
  told_.OnChanged([&] {
    for (const Transfer& t : q->Snapshot())
      if (t.state == TransferState::Fetching) Keep(least, t.bytes);
  });
  queue.Resume(id);
  ASSERT_TRUE(told_.WaitFor([&] { return InState(queue, id, TransferState::Done); }));
  EXPECT_GE(least, paused.bytes);
  EXPECT_TRUE(Read(into_.Path() + "/data.bin") == big_);
  EXPECT_EQ(Tree(into_.Path()), std::vector<std::string>{"data.bin"});
}

TEST_F(TransferQueueTest, CancelRemovesTheRowAndOnlyItsOwnPart) {
  Write(tree_.Path() + "/pub/keep.part", "arrived");
  TransferQueue* q = nullptr;
  MidFetch(q, [&q](const Transfer& t) { q->Cancel(t.id); });
  TransferQueue queue(&store_, {2, 4}, told_.Events());
  q = &queue;
  // Cancelled while fetching: its .part goes with it.
  queue.Add(server_->Url("/pub/data.bin"), into_.Path(), -1);
  ASSERT_TRUE(told_.WaitFor([&] {
    return queue.Snapshot().empty() && store_.Rows().empty() && Tree(into_.Path()).empty();
  }));

  // Cancelled while paused: the same.
  MidFetch(q, [&q](const Transfer& t) { q->Pause(t.id); });
  const int64_t paused = queue.Add(server_->Url("/pub/data.bin"), into_.Path(), -1);
  ASSERT_TRUE(told_.WaitFor([&] {
    return InState(queue, paused, TransferState::Paused) &&
           store_.Rows().at(paused).state == TransferState::Paused;
  }));
  EXPECT_EQ(Tree(into_.Path()), std::vector<std::string>{"data.bin.part"});
  queue.Cancel(paused);
  EXPECT_TRUE(queue.Snapshot().empty());
  EXPECT_TRUE(Tree(into_.Path()).empty());
  EXPECT_TRUE(store_.Rows().empty());

  // Arrived, the file is the user's whatever its name: only the row goes.
  told_.OnChanged(nullptr);
  const int64_t done = queue.Add(server_->Url("/pub/keep.part"), into_.Path(), -1);
  ASSERT_TRUE(told_.WaitFor([&] { return InState(queue, done, TransferState::Done); }));
  queue.Cancel(done);
  EXPECT_TRUE(queue.Snapshot().empty());
  EXPECT_EQ(Read(into_.Path() + "/keep.part"), "arrived");
  EXPECT_TRUE(store_.Rows().empty());
}

TEST_F(TransferQueueTest, KeptAsFetchingItGoesOnFromItsPartWhenLoaded) {
  // As a crash leaves it: the row fetching, half the file in its .part.
  const std::size_t half = BigSize / 2;
  Write(into_.Path() + "/data.bin.part", big_.substr(0, half));
  Transfer row;
  row.url = server_->Url("/pub/data.bin");
  row.folder = into_.Path();
  row.size = static_cast<int64_t>(BigSize);
  row.bytes = static_cast<int64_t>(half);
  row.state = TransferState::Fetching;
  row.path = into_.Path() + "/data.bin.part";
  std::string error;
  const int64_t id = store_.AddTransfer(row, error);
  TransferQueue* q = nullptr;
  std::atomic<int64_t> least{INT64_MAX};
  told_.OnChanged([&] {
    for (const Transfer& t : q->Snapshot())
      if (t.state == TransferState::Fetching) Keep(least, t.bytes);
  });
  TransferQueue queue(&store_, {2, 4}, told_.Events());
  q = &queue;
  ASSERT_TRUE(queue.Load(error)) << error;
  ASSERT_TRUE(told_.WaitFor([&] { return !told_.drained.empty(); }));
  EXPECT_TRUE(InState(queue, id, TransferState::Done));
  EXPECT_GE(least, static_cast<int64_t>(half));
  EXPECT_TRUE(Read(into_.Path() + "/data.bin") == big_);
  EXPECT_EQ(Tree(into_.Path()), std::vector<std::string>{"data.bin"});
  EXPECT_EQ(store_.Rows().at(id).state, TransferState::Done);
  // Loaded again, nothing is taken twice.
  ASSERT_TRUE(queue.Load(error)) << error;
  EXPECT_EQ(queue.Snapshot().size(), 1u);
}

TEST_F(TransferQueueTest, KeptInTheIndexAQueueStoppedMidFileFinishesAfterARestart) {
  qbtest::TempDir data;
  const std::string file = data.Path() + "/index.db";
  qb::IndexWriter writer([&file](std::string& error) { return qb::IndexDb::Open(file, error); },
                         [](const std::string& fault) { ADD_FAILURE() << fault; });
  qb::IndexTransferStore store(writer);
  {
    auto queue = std::make_unique<TransferQueue>(&store, qb::FetchLimits{2, 4}, told_.Events());
    TransferQueue* q = queue.get();
    // As at exit, from the fetching thread mid-file: the next piece stops it.
    MidFetch(q, [&q](const Transfer&) { q->Stop(); });
    queue->Add(server_->Url("/pub/data.bin"), into_.Path(), -1);
    ASSERT_TRUE(told_.WaitFor([&] {
      const std::vector<Transfer> all = q->Snapshot();
      return all.size() == 1 && all[0].bytes > MidFile;
    }));
    queue.reset();
  }
  std::string error;
  {
    std::vector<Transfer> kept = store.LoadTransfers(error);
    ASSERT_EQ(kept.size(), 1u) << error;
    EXPECT_EQ(kept[0].state, TransferState::Queued);
    EXPECT_EQ(kept[0].path, into_.Path() + "/data.bin.part");
    EXPECT_GT(kept[0].bytes, MidFile);
    EXPECT_LT(kept[0].bytes, static_cast<int64_t>(BigSize));
    EXPECT_EQ(Tree(into_.Path()), std::vector<std::string>{"data.bin.part"});
    std::lock_guard<std::mutex> hold(told_.lock);
    EXPECT_TRUE(told_.drained.empty());
  }

  Told again;
  TransferQueue queue(&store, {2, 4}, again.Events());
  ASSERT_TRUE(queue.Load(error)) << error;
  ASSERT_TRUE(again.WaitFor([&] { return !again.drained.empty(); }));
  EXPECT_EQ(again.drained[0], std::make_pair(1, 0));
  EXPECT_TRUE(Read(into_.Path() + "/data.bin") == big_);
  EXPECT_EQ(Tree(into_.Path()), std::vector<std::string>{"data.bin"});
  const std::vector<Transfer> kept = store.LoadTransfers(error);
  ASSERT_EQ(kept.size(), 1u) << error;
  EXPECT_EQ(kept[0].state, TransferState::Done);
  EXPECT_EQ(kept[0].path, into_.Path() + "/data.bin");
}

TEST_F(TransferQueueTest, FolderLandsAsATreeOfHarmlessNames) {
  const std::string pub = tree_.Path() + "/pub/";
  const std::string escape = "\x1b[1mbold";
  std::filesystem::create_directories(pub + "tree/" + escape);
  std::filesystem::create_directories(pub + "tree/sp ace");
  Write(pub + "tree/a.txt", "top");
  Write(pub + "tree/-rf *", "dash");
  Write(pub + "tree/" + escape + "/" + escape + ".txt", "escaped");
  Write(pub + "tree/sp ace/b c.bin", RandomBytes(200000, 9));
  std::string deep = pub + "deep";
  for (int i = 1; i <= 9; ++i) deep += "/d" + std::to_string(i);
  std::filesystem::create_directories(deep);
  Write(deep + "/below.txt", "too deep");
  Write(std::filesystem::path(deep).parent_path().string() + "/at8.txt", "deep enough");

  TransferQueue queue(&store_, {2, 4}, told_.Events(200));
  queue.AddFolder(server_->Url("/pub/tree/"), into_.Path());
  ASSERT_TRUE(
      told_.WaitFor([&] { return told_.folders.size() == 1 && told_.drained.size() == 1; }));
  {
    std::lock_guard<std::mutex> hold(told_.lock);
    EXPECT_EQ(told_.folders[0].files, 4);
    EXPECT_FALSE(told_.folders[0].cut);
    EXPECT_EQ(told_.folders[0].error, "");
    EXPECT_EQ(told_.drained[0], std::make_pair(4, 0));
  }
  for (const Transfer& t : queue.Snapshot())
    EXPECT_EQ(t.state, TransferState::Done) << t.url << ": " << t.text;
  const std::string tree = into_.Path() + "/tree/";
  EXPECT_EQ(Tree(tree), (std::vector<std::string>{"-rf *", "_[1mbold/_[1mbold.txt", "a.txt",
                                                  "sp ace/b c.bin"}));
  EXPECT_EQ(Read(tree + "_[1mbold/_[1mbold.txt"), "escaped");
  EXPECT_EQ(Read(tree + "-rf *"), "dash");
  EXPECT_TRUE(Read(tree + "sp ace/b c.bin") == RandomBytes(200000, 9));

  // Eight folders down and no further: the rest is said to be cut.
  queue.AddFolder(server_->Url("/pub/deep"), into_.Path());
  ASSERT_TRUE(
      told_.WaitFor([&] { return told_.folders.size() == 2 && told_.drained.size() == 2; }));
  {
    std::lock_guard<std::mutex> hold(told_.lock);
    EXPECT_EQ(told_.folders[1].files, 1);
    EXPECT_TRUE(told_.folders[1].cut);
    EXPECT_EQ(told_.folders[1].error, "");
  }
  EXPECT_EQ(Tree(into_.Path() + "/deep"),
            std::vector<std::string>{"d1/d2/d3/d4/d5/d6/d7/d8/at8.txt"});

  // A server not there is an error, not an empty success.
  queue.AddFolder("ftp://127.0.0.1:1/pub/", into_.Path());
  ASSERT_TRUE(told_.WaitFor([&] { return told_.folders.size() == 3; }));
  std::lock_guard<std::mutex> hold(told_.lock);
  EXPECT_EQ(told_.folders[2].files, 0);
  EXPECT_NE(told_.folders[2].error, "");
}

// A server that says it is full: the queue lets in fewer sessions and tries
// again, and the file arrives.
TEST(ScriptedTransferQueueTest, AServerFullOfSessionsIsWaitedFor) {
  qb::Settings.HttpTimeOut = 10;
  qb::Settings.DataMode = qb::FtpDataMode::Active;
  qb::LimitPauseUnitMs = 1;
  qbtest::FakeFtpServer server("127.0.0.3");
  qbtest::FtpScript full;
  full.Greeting(qbtest::FtpReply::Line("421 Too many connections (2) from this IP").Close());
  server.AddSession(full);
  qbtest::FtpScript script = qbtest::FetchScriptUpToPort("10");
  script.OnTransfer("150 Opening", {{"127.0.0.3", "0123456789"}}, "226 Done");
  server.AddSession(script);
  qbtest::TempDir into;
  Told told;
  std::vector<std::string> texts;
  TransferQueue* q = nullptr;
  told.OnChanged([&] {
    const std::vector<Transfer> all = q->Snapshot();
    std::lock_guard<std::mutex> hold(told.lock);
    for (const Transfer& t : all) texts.push_back(t.text);
  });
  TransferQueue queue(nullptr, {2, 4}, told.Events());
  q = &queue;
  const int64_t id = queue.Add(server.Url("/n.txt"), into.Path(), -1);
  ASSERT_TRUE(told.WaitFor([&] { return !told.drained.empty(); }));
  qb::Settings.DataMode = qb::FtpDataMode::Passive;
  qb::LimitPauseUnitMs = 1000;
  qb::SessionsPerHost.Clear();
  EXPECT_TRUE(InState(queue, id, TransferState::Done)) << Find(queue, id)->text;
  EXPECT_EQ(Read(into.Path() + "/n.txt"), "0123456789");
  EXPECT_EQ(server.Sessions(), 2u);
  std::lock_guard<std::mutex> hold(told.lock);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "waiting: the server allows 2 connections"),
            texts.end());
  EXPECT_EQ(told.drained, (std::vector<std::pair<int, int>>{{1, 0}}));
}

// A listing that hangs on a silent server does not hold the queue's end.
TEST(ScriptedTransferQueueTest, EndingDoesNotWaitForAListing) {
  qb::Settings.HttpTimeOut = 120;
  qbtest::FakeFtpServer server("127.0.0.4");
  qbtest::FtpScript silent;
  silent.Greeting(qbtest::FtpReply::Silent());
  server.AddSession(silent);
  qbtest::TempDir into;
  Told told;
  auto queue = std::make_unique<TransferQueue>(nullptr, qb::FetchLimits{}, told.Events());
  queue->AddFolder(server.Url("/pub/"), into.Path());
  ASSERT_TRUE(server.WaitForSessions(1, std::chrono::seconds(20)));
  auto ended = std::async(std::launch::async, [&] { queue.reset(); });
  EXPECT_EQ(ended.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  ended.wait();
  qb::Settings.HttpTimeOut = 10;
  std::lock_guard<std::mutex> hold(told.lock);
  // Nothing is told once the queue ends.
  EXPECT_TRUE(told.folders.empty());
}

}  // namespace

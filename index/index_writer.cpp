#include "index/index_writer.h"

#include <algorithm>
#include <utility>

namespace qb {

IndexWriter::IndexWriter(IndexOpener open, std::function<void(const std::string&)> onFault,
                         std::function<void()> onOpen)
    : open_(std::move(open)),
      onFault_(std::move(onFault)),
      onOpen_(std::move(onOpen)),
      thread_([this] { Run(); }) {}

IndexWriter::~IndexWriter() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void IndexWriter::Submit(SiteOutcome outcome) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (failed_ || stop_) return;
    queue_.push_back({std::move(outcome), nullptr});
  }
  wake_.notify_one();
}

void IndexWriter::SubmitJob(IndexJob job) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!stop_) {
      queue_.push_back({{}, std::move(job)});
      job = nullptr;
    }
  }
  // Given while the writer ends: no database to run on, but an answer all the same.
  if (job) {
    job(nullptr);
    return;
  }
  wake_.notify_one();
}

void IndexWriter::Flush() {
  std::unique_lock<std::mutex> hold(lock_);
  idle_.wait(hold, [this] { return queue_.empty() && !writing_; });
}

bool IndexWriter::Failed() const {
  std::lock_guard<std::mutex> hold(lock_);
  return failed_;
}

bool IndexWriter::WaitOpen() {
  std::unique_lock<std::mutex> hold(lock_);
  idle_.wait(hold, [this] { return !opening_; });
  return opened_;
}

bool IndexWriter::Opened() const {
  std::lock_guard<std::mutex> hold(lock_);
  return opened_;
}

void IndexWriter::Fail(std::unique_lock<std::mutex>& hold, const std::string& error) {
  failed_ = true;
  std::erase_if(queue_, [](const Queued& q) { return !q.job; });
  hold.unlock();
  if (onFault_) onFault_(error);
  hold.lock();
}

void IndexWriter::Run() {
  std::string openError;
  std::unique_ptr<IndexDb> db = open_(openError);
  const bool opened = db != nullptr;
  {
    std::lock_guard<std::mutex> hold(lock_);
    db_ = std::move(db);
    opened_ = opened;
  }
  // Readers may open their own connections from here on.
  if (opened && onOpen_) onOpen_();
  std::unique_lock<std::mutex> hold(lock_);
  // Reported before the open counts as done: whoever waits for it sees why.
  if (!opened) Fail(hold, openError);
  opening_ = false;
  writing_ = false;
  idle_.notify_all();
  for (;;) {
    wake_.wait(hold, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) break;
    Queued next = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    hold.unlock();
    std::string error;
    bool written = true;
    if (next.job) {
      next.job(db_.get());
    } else {
      written = db_->Store(next.outcome, error);
    }
    next = {};  // the job's captures go before the queue counts as idle
    hold.lock();
    writing_ = false;
    if (!written) Fail(hold, error);
    if (queue_.empty()) idle_.notify_all();
  }
  idle_.notify_all();
}

}  // namespace qb

#include "index/index_writer.h"

#include <utility>

namespace qb {

IndexWriter::IndexWriter(std::unique_ptr<IndexDb> db,
                         std::function<void(const std::string&)> onFault)
    : db_(std::move(db)), onFault_(std::move(onFault)), thread_([this] { Run(); }) {}

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
    queue_.push_back(std::move(outcome));
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

void IndexWriter::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    wake_.wait(hold, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) break;
    SiteOutcome next = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    hold.unlock();
    std::string error;
    const bool written = db_->Store(next, error);
    hold.lock();
    writing_ = false;
    if (!written) {
      failed_ = true;
      queue_.clear();
      hold.unlock();
      if (onFault_) onFault_(error);
      hold.lock();
    }
    if (queue_.empty()) idle_.notify_all();
  }
  idle_.notify_all();
}

}  // namespace qb

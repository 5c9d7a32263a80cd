#pragma once
// The one thread that writes to the index: explored sites are queued without
// waiting on the database and written one transaction each. The thread opens
// the database itself, so whoever starts the writer never waits on the disk;
// sites submitted meanwhile wait in the queue.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "index/index_db.h"

namespace qb {

using IndexOpener = std::function<std::unique_ptr<IndexDb>(std::string& error)>;

class IndexWriter {
 public:
  // onFault is called once, on the writer thread, when the open or a write
  // fails; from then on the writer drops what it is given. onOpen, when set, is
  // called on the writer thread once the database is open, before any write.
  IndexWriter(IndexOpener open, std::function<void(const std::string&)> onFault,
              std::function<void()> onOpen = nullptr);
  // Writes what is queued, then ends the thread.
  ~IndexWriter();
  IndexWriter(const IndexWriter&) = delete;
  IndexWriter& operator=(const IndexWriter&) = delete;

  void Submit(SiteOutcome outcome);
  // Returns once everything submitted before has been written or dropped.
  void Flush();
  bool Failed() const;
  // Waits for the open; true when it succeeded (later write faults aside).
  bool WaitOpen();
  // Whether the open has succeeded, without waiting.
  bool Opened() const;

 private:
  void Run();
  // Drops the queue and reports error, the lock let go meanwhile.
  void Fail(std::unique_lock<std::mutex>& hold, const std::string& error);

  IndexOpener open_;
  std::unique_ptr<IndexDb> db_;
  std::function<void(const std::string&)> onFault_;
  std::function<void()> onOpen_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<SiteOutcome> queue_;
  bool writing_ = true;  // the open counts as a write
  bool opening_ = true;
  bool opened_ = false;
  bool stop_ = false;
  bool failed_ = false;
  std::thread thread_;
};

}  // namespace qb

#pragma once
// The one thread that writes to the index: explored sites are queued without
// waiting on the database and written one transaction each.
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "index/index_db.h"

namespace qb {

class IndexWriter {
 public:
  // onFault is called once, on the writer thread, when a write fails; from then
  // on the writer drops what it is given.
  IndexWriter(std::unique_ptr<IndexDb> db, std::function<void(const std::string&)> onFault);
  // Writes what is queued, then ends the thread.
  ~IndexWriter();
  IndexWriter(const IndexWriter&) = delete;
  IndexWriter& operator=(const IndexWriter&) = delete;

  void Submit(SiteOutcome outcome);
  // Returns once everything submitted before has been written or dropped.
  void Flush();
  bool Failed() const;

 private:
  void Run();

  std::unique_ptr<IndexDb> db_;
  std::function<void(const std::string&)> onFault_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<SiteOutcome> queue_;
  bool writing_ = false;
  bool stop_ = false;
  bool failed_ = false;
  std::thread thread_;
};

}  // namespace qb

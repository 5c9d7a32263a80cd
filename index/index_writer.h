#pragma once
// The one thread that writes to the index: explored sites are queued without
// waiting on the database and written one transaction each. The thread opens
// the database itself, so whoever starts the writer never waits on the disk;
// sites submitted meanwhile wait in the queue. Other writers (a crawl) give it
// jobs, run in turn with the sites.
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

#include "index/index_db.h"

namespace qb {

using IndexOpener = std::function<std::unique_ptr<IndexDb>(std::string& error)>;
// Work for the writer's thread on its database, which is null when it could not
// be opened. A job that fails to write says so to whoever gave it; the writer
// goes on. It must not throw (Ask passes exceptions on to its caller).
using IndexJob = std::function<void(IndexDb* db)>;

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
  // Runs job on the writer's thread after everything submitted before. Unlike
  // a site, a job is never dropped: after a fault it still runs, so that
  // whoever waits on it hears back.
  void SubmitJob(IndexJob job);
  // SubmitJob, with the job's result (or exception) in the future returned.
  // Not to be waited on from the writer's thread itself.
  template <class Job>
  auto Ask(Job job) -> std::future<std::invoke_result_t<Job&, IndexDb*>> {
    using Result = std::invoke_result_t<Job&, IndexDb*>;
    auto promise = std::make_shared<std::promise<Result>>();
    std::future<Result> result = promise->get_future();
    SubmitJob([promise, job = std::move(job)](IndexDb* db) mutable {
      try {
        if constexpr (std::is_void_v<Result>) {
          job(db);
          promise->set_value();
        } else {
          promise->set_value(job(db));
        }
      } catch (...) {
        promise->set_exception(std::current_exception());
      }
    });
    return result;
  }
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
  // A site, or a job when job is set.
  struct Queued {
    SiteOutcome outcome;
    IndexJob job;
  };
  std::deque<Queued> queue_;
  bool writing_ = true;  // the open counts as a write
  bool opening_ = true;
  bool opened_ = false;
  bool stop_ = false;
  bool failed_ = false;
  std::thread thread_;
};

// Runs ask(db, error) on the writer's thread and waits for what it returns;
// error receives why it failed, or that the index could not be opened (the
// answer is then a default one). Not to be called from the writer's thread.
template <class Ask>
auto AskAndWait(IndexWriter& writer, Ask ask, std::string& error)
    -> std::invoke_result_t<Ask&, IndexDb&, std::string&> {
  using Result = std::invoke_result_t<Ask&, IndexDb&, std::string&>;
  struct Answer {
    Result value{};
    std::string error;
  };
  Answer answer = writer
                      .Ask([ask = std::move(ask)](IndexDb* db) mutable {
                        Answer a;
                        if (!db)
                          a.error = "the index could not be opened";
                        else
                          a.value = ask(*db, a.error);
                        return a;
                      })
                      .get();
  error = std::move(answer.error);
  return std::move(answer.value);
}

}  // namespace qb

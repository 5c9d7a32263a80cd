#pragma once
// The program's one index: its folder, the lock that keeps a second running
// copy out, the writer, and readers for finding and for the last results.
#include <functional>
#include <memory>
#include <string>

#include "index/index_db.h"
#include "index/index_writer.h"

namespace qb {

inline constexpr const char* IndexFileName = "index.db";

class LocalIndex {
 public:
  using FaultHandler = std::function<void(const std::string&)>;
  // Returns at once: the folder (made when missing), the lock and the database
  // are opened on the writer's thread, and sites submitted meanwhile wait for
  // them. A failure to open, another copy holding the index included, goes to
  // onFault as a failed write does; onReady runs on the writer's thread once
  // readers can be opened, before anything queued is written.
  static std::unique_ptr<LocalIndex> Start(const std::string& folder, FaultHandler onFault,
                                           std::function<void(const LocalIndex&)> onReady,
                                           const IndexDb::Options& options = {});
  // Start, waiting for the open: null with error set when it failed, which
  // then does not reach onFault.
  static std::unique_ptr<LocalIndex> Open(const std::string& folder, FaultHandler onFault,
                                          std::string& error, const IndexDb::Options& options = {});
  ~LocalIndex();
  LocalIndex(const LocalIndex&) = delete;
  LocalIndex& operator=(const LocalIndex&) = delete;

  IndexWriter& writer() { return *writer_; }
  // A connection of its own for the calling thread; none while the index is
  // still being opened or when it could not be.
  std::unique_ptr<IndexDb> OpenReader(std::string& error) const;
  const std::string& path() const { return path_; }

 private:
  LocalIndex() = default;
  // On the writer's thread.
  std::unique_ptr<IndexDb> OpenDatabase(const std::string& folder, const IndexDb::Options& options,
                                        std::string& error);
  std::string path_;
  FaultHandler onFault_;
  std::string notice_;  // a damaged file moved aside, said once the writer is open
  int lockFd_ = -1;     // the writer's thread sets it before it is joined
  std::unique_ptr<IndexWriter> writer_;
};

}  // namespace qb

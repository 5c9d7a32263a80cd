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

// $XDG_DATA_HOME/quillbrook/, else $HOME/.local/share/quillbrook/; ends with "/".
std::string IndexDataFolder();

class LocalIndex {
 public:
  // Opens folder/index.db for writing (making the folder); null with error set
  // when it cannot be used, another copy holds it included.
  static std::unique_ptr<LocalIndex> Open(const std::string& folder,
                                          std::function<void(const std::string&)> onFault,
                                          std::string& error, const IndexDb::Options& options = {});
  ~LocalIndex();
  LocalIndex(const LocalIndex&) = delete;
  LocalIndex& operator=(const LocalIndex&) = delete;

  IndexWriter& writer() { return *writer_; }
  // A connection of its own for the calling thread.
  std::unique_ptr<IndexDb> OpenReader(std::string& error) const;
  const std::string& path() const { return path_; }

 private:
  LocalIndex() = default;
  std::string path_;
  int lockFd_ = -1;
  std::unique_ptr<IndexWriter> writer_;
};

}  // namespace qb

#include "index/local_index.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace qb {

std::string IndexDataFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && *data == '/') return std::string(data) + "/quillbrook/";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share/quillbrook/";
}

std::unique_ptr<LocalIndex> LocalIndex::Open(const std::string& folder,
                                             std::function<void(const std::string&)> onFault,
                                             std::string& error, const IndexDb::Options& options) {
  std::unique_ptr<LocalIndex> index(new LocalIndex);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  index->path_ = base + IndexFileName;
  // SQLite's own locks let a second writer wait and then interleave; a held
  // lock file tells the second copy at once that the index is taken.
  const std::string lockPath = index->path_ + ".lock";
  index->lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (index->lockFd_ < 0) {
    error = "The index cannot be opened (" + lockPath + ": " + std::strerror(errno) +
            "); found files are not kept.";
    return nullptr;
  }
  if (::flock(index->lockFd_, LOCK_EX | LOCK_NB) != 0) {
    error = "The index is in use by another running copy; found files are not kept.";
    return nullptr;
  }
  std::unique_ptr<IndexDb> db = IndexDb::Open(index->path_, error, options);
  if (!db) return nullptr;
  index->writer_ = std::make_unique<IndexWriter>(std::move(db), std::move(onFault));
  return index;
}

LocalIndex::~LocalIndex() {
  writer_.reset();
  if (lockFd_ >= 0) ::close(lockFd_);
}

std::unique_ptr<IndexDb> LocalIndex::OpenReader(std::string& error) const {
  IndexDb::Options options;
  options.readOnly = true;
  return IndexDb::Open(path_, error, options);
}

}  // namespace qb

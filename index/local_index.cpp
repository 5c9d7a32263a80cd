#include "index/local_index.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <system_error>

namespace qb {

namespace {

std::string FilePath(const std::string& folder) {
  std::string base = folder;
  if (!base.empty() && base.back() != '/') base += '/';
  return base + IndexFileName;
}

}  // namespace

std::unique_ptr<IndexDb> LocalIndex::OpenDatabase(const std::string& folder,
                                                  const IndexDb::Options& options,
                                                  std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  // SQLite's own locks let a second writer wait and then interleave; a held
  // lock file tells the second copy at once that the index is taken.
  const std::string lockPath = path_ + ".lock";
  lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd_ < 0) {
    error = "The index cannot be opened (" + lockPath + ": " + std::strerror(errno) +
            "); found files are not kept.";
    return nullptr;
  }
  if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    error = "The index is in use by another running copy; found files are not kept.";
    return nullptr;
  }
  bool corrupt = false;
  IndexDb::Options checked = options;
  checked.corrupt = &corrupt;
  std::unique_ptr<IndexDb> db = IndexDb::Open(path_, error, checked);
  if (db || !corrupt) return db;
  // A damaged file, or one that is no index, is kept aside for the user and a
  // new index begins; the user hears of it once.
  const std::string aside = path_ + ".damaged";
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::filesystem::rename(path_ + suffix, aside + suffix, ec);
  }
  const std::string why = error;
  error.clear();
  db = IndexDb::Open(path_, error, options);
  if (db) notice_ = why + "; it was moved to " + aside + " and a new index begun.";
  return db;
}

std::unique_ptr<LocalIndex> LocalIndex::Start(const std::string& folder, FaultHandler onFault,
                                              std::function<void(const LocalIndex&)> onReady,
                                              const IndexDb::Options& options) {
  std::unique_ptr<LocalIndex> index(new LocalIndex);
  index->path_ = FilePath(folder);
  LocalIndex* self = index.get();  // outlives the writer, which it joins first
  // The writer's thread may open the database before writer_ is set here, and
  // onReady reads writer_: it waits for the assignment.
  auto placed = std::make_shared<std::promise<void>>();
  std::shared_future<void> writerPlaced = placed->get_future().share();
  index->onFault_ = onFault;
  index->writer_ = std::make_unique<IndexWriter>(
      [self, folder, options](std::string& error) {
        return self->OpenDatabase(folder, options, error);
      },
      std::move(onFault),
      [self, writerPlaced, onReady = std::move(onReady)] {
        writerPlaced.wait();
        if (onReady) onReady(*self);
        if (!self->notice_.empty() && self->onFault_) self->onFault_(self->notice_);
      });
  placed->set_value();
  return index;
}

std::unique_ptr<LocalIndex> LocalIndex::Open(const std::string& folder, FaultHandler onFault,
                                             std::string& error, const IndexDb::Options& options) {
  // The open's own failure is returned, not reported; later ones go to onFault.
  struct Faults {
    std::mutex lock;
    bool opened = false;
    std::string openError;
  };
  auto faults = std::make_shared<Faults>();
  auto index = Start(
      folder,
      [faults, onFault = std::move(onFault)](const std::string& text) {
        {
          std::lock_guard<std::mutex> hold(faults->lock);
          if (!faults->opened) {
            faults->openError = text;
            return;
          }
        }
        if (onFault) onFault(text);
      },
      [faults](const LocalIndex&) {
        std::lock_guard<std::mutex> hold(faults->lock);
        faults->opened = true;
      },
      options);
  if (index->writer().WaitOpen()) return index;
  std::lock_guard<std::mutex> hold(faults->lock);
  error = faults->openError;
  return nullptr;
}

LocalIndex::~LocalIndex() {
  writer_.reset();
  if (lockFd_ >= 0) ::close(lockFd_);
}

std::unique_ptr<IndexDb> LocalIndex::OpenReader(std::string& error) const {
  if (!writer_->Opened()) {
    error = "The index is still being opened, or could not be.";
    return nullptr;
  }
  IndexDb::Options options;
  options.readOnly = true;
  return IndexDb::Open(path_, error, options);
}

}  // namespace qb

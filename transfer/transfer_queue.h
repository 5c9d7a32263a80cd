#pragma once
// The program's downloads: a queue kept across restarts, fetched a few at a
// time on sessions shared with exploring, each file into its .part first.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transfer/fetch_queue.h"

namespace qb {

enum class TransferState : int32_t { Queued = 0, Fetching = 1, Paused = 2, Done = 3, Failed = 4 };

// "queued", "fetching", "paused", "done", "failed".
const char* TransferStateText(TransferState state);

struct Transfer {
  int64_t id = 0;
  std::string url;     // the file's, in the kept (decoded) form
  std::string folder;  // the local folder it goes to
  int64_t size = -1;   // expected; -1 unknown
  int64_t bytes = 0;   // on disk so far
  double rate = 0;     // bytes per second while fetching
  TransferState state = TransferState::Queued;
  std::string path;  // where it arrived, or its .part
  std::string text;  // failed: why
};

// Where the queue is kept; the program's is the local index. Every call waits
// for its answer.
class TransferStore {
 public:
  virtual ~TransferStore() = default;
  virtual std::vector<Transfer> LoadTransfers(std::string& error) = 0;
  // The new row's id, 0 when it could not be kept.
  virtual int64_t AddTransfer(const Transfer& transfer, std::string& error) = 0;
  virtual bool UpdateTransfer(const Transfer& transfer, std::string& error) = 0;
  virtual bool RemoveTransfers(const std::vector<int64_t>& ids, std::string& error) = 0;
  // Many at once (a folder's files): their ids in order, 0 for each not kept.
  virtual std::vector<int64_t> AddTransfers(const std::vector<Transfer>& transfers,
                                            std::string& error) {
    std::vector<int64_t> ids;
    ids.reserve(transfers.size());
    for (const Transfer& t : transfers) ids.push_back(AddTransfer(t, error));
    return ids;
  }
};

// What the status bar sums.
struct TransferTotals {
  int fetching = 0;
  int queued = 0;
  int64_t bytes = 0;  // on disk, of those fetching
  int64_t total = 0;  // expected, of those fetching with a known size
  double rate = 0;    // of those fetching
};

// What a queued folder came to.
struct FolderQueued {
  std::string url;
  int64_t files = 0;
  bool cut = false;   // more than the bounds allow were left out
  std::string error;  // listing failed: why
};

struct TransferEvents {
  // A transfer's state or progress changed; from any thread, at most every
  // few tenths of a second for progress alone.
  std::function<void()> changed;
  // Nothing queued or fetching is left, after something was: how many arrived
  // and failed since the queue last ran dry.
  std::function<void(int done, int failed)> drained;
  std::function<void(const FolderQueued&)> folderQueued;
  // The shortest time between two calls of changed for progress alone.
  int progressEveryMs = 200;
};

class TransferQueue {
 public:
  // store may be null: nothing is kept.
  TransferQueue(TransferStore* store, FetchLimits limits, TransferEvents events);
  // Stops every transfer (their .part files kept, their rows queued to go on) and waits.
  ~TransferQueue();
  TransferQueue(const TransferQueue&) = delete;
  TransferQueue& operator=(const TransferQueue&) = delete;

  // The kept queue; those fetching when the program ended are queued again
  // and go on from their .part files.
  bool Load(std::string& error);
  // A file into folder; size from a listing, -1 unknown. The new id, negative
  // when the store could not keep it (it is fetched all the same).
  int64_t Add(const std::string& url, const std::string& folder, int64_t size);
  // A folder's files, to a depth of 8 and at most 10,000 files, into
  // folder/<its name>/ as a tree; listed on a thread of its own.
  void AddFolder(const std::string& url, const std::string& folder);

  void Pause(int64_t id);   // a fetching one stops, its .part kept
  void Resume(int64_t id);  // paused or failed: queued again, on from the .part
  void Retry(int64_t id);   // failed: queued again
  void Cancel(int64_t id);  // stops it, removes its row and its .part
  void RemoveFinished();    // the rows of those done

  // What the destructor does first, without waiting: those fetching stop and
  // stay queued in the store, listings end, nothing more begins and no event
  // is called from then on.
  void Stop();

  void SetLimits(const FetchLimits& limits);
  std::vector<Transfer> Snapshot() const;
  TransferTotals Totals() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qb

#pragma once
// Ctrl+C (SIGINT) and SIGTERM stop the work in hand where it can be taken up
// again: the work's stop flags are set and the work ends by itself. A second
// signal ends the program at once. A closed output is a failed write meanwhile,
// not the end of the process.
#include <atomic>
#include <vector>

namespace qb {

class StopOnSignals {
 public:
  // One at a time; the flags must outlive it.
  explicit StopOnSignals(std::vector<std::atomic<bool>*> flags);
  ~StopOnSignals();
  StopOnSignals(const StopOnSignals&) = delete;
  StopOnSignals& operator=(const StopOnSignals&) = delete;

  // Whether a signal came.
  static bool Interrupted();
  // Sets the flags as a signal does, without counting as one.
  static void StopAll();

 private:
  std::vector<std::atomic<bool>*> flags_;
};

}  // namespace qb

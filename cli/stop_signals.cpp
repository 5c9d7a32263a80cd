#include "cli/stop_signals.h"

#include <csignal>
#include <cstddef>
#include <utility>

namespace qb {

namespace {

// What the signal handler reaches: set before it is installed and cleared
// after it is removed. Storing to a lock-free atomic is safe in a handler.
std::atomic<std::atomic<bool>* const*> StopFlags{nullptr};
std::atomic<std::size_t> StopCount{0};
std::atomic<bool> Signalled{false};

void StopEvery() {
  std::atomic<bool>* const* flags = StopFlags.load();
  const std::size_t count = StopCount.load();
  for (std::size_t i = 0; flags != nullptr && i < count; ++i) flags[i]->store(true);
}

void Stop(int /*signal*/) {
  Signalled = true;
  StopEvery();
}

struct sigaction OldInt = {};
struct sigaction OldTerm = {};
struct sigaction OldPipe = {};

}  // namespace

StopOnSignals::StopOnSignals(std::vector<std::atomic<bool>*> flags) : flags_(std::move(flags)) {
  Signalled = false;
  StopFlags = flags_.data();
  StopCount = flags_.size();
  struct sigaction stop = {};
  stop.sa_handler = Stop;
  sigemptyset(&stop.sa_mask);
  // SA_RESETHAND: the second signal finds the default action, which ends the program.
  stop.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &stop, &OldInt);
  sigaction(SIGTERM, &stop, &OldTerm);
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &OldPipe);
}

StopOnSignals::~StopOnSignals() {
  sigaction(SIGINT, &OldInt, nullptr);
  sigaction(SIGTERM, &OldTerm, nullptr);
  sigaction(SIGPIPE, &OldPipe, nullptr);
  StopCount = 0;
  StopFlags = nullptr;
}

bool StopOnSignals::Interrupted() { return Signalled; }

void StopOnSignals::StopAll() { StopEvery(); }

}  // namespace qb

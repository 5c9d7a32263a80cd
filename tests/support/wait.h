#pragma once
// The one bounded wait of the tests, for conditions nothing signals. Where the
// code under test signals an event (a condition variable, a future, a socket
// becoming ready) wait on that instead. Header-only so that fuzz targets and
// benches can use it without a test library.
#include <algorithm>
#include <chrono>
#include <thread>

namespace qbtest {

// How often WaitUntil checks its condition.
inline constexpr std::chrono::milliseconds WaitStep{5};

// Checks condition on the calling thread until it holds (is truthy) or bound
// passes, sleeping at most step between checks; the last check is made at
// the bound. Returns the condition's last value (a bool, or for example the
// pointer that was looked for).
template <typename Condition>
auto WaitUntil(Condition&& condition, std::chrono::milliseconds bound,
               std::chrono::milliseconds step = WaitStep) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + bound;
  for (;;) {
    auto value = condition();
    if (value) return value;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return value;
    std::this_thread::sleep_for(std::min<Clock::duration>(step, deadline - now));
  }
}

}  // namespace qbtest

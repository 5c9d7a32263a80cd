#pragma once
#include <chrono>
#include <thread>

namespace qbtest {

// Polls condition until it holds or bound passes; returns its last value.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace qbtest

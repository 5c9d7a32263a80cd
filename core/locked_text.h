#pragma once
// A fixed-capacity text field that one thread writes while others read it.
#include <cstddef>
#include <cstring>
#include <mutex>
#include <string>

namespace qb {

template <std::size_t N>
class LockedText {
 public:
  static constexpr std::size_t Capacity = N;  // including the terminator

  // Stores at most N-1 characters of text.
  void Set(const char* text) {
    std::lock_guard<std::mutex> hold(lock_);
    std::size_t n = text ? strnlen(text, N - 1) : 0;
    std::memcpy(buf_, text ? text : "", n);
    buf_[n] = '\0';
  }
  void Set(const std::string& text) { Set(text.c_str()); }
  void Clear() { Set(""); }

  std::string Get() const {
    std::lock_guard<std::mutex> hold(lock_);
    return std::string(buf_);
  }

 private:
  mutable std::mutex lock_;
  char buf_[N] = {};
};

}  // namespace qb

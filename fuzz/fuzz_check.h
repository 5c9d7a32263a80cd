#pragma once
// Invariant checks for the fuzz targets: a violation aborts, so libFuzzer keeps
// the input that caused it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#define FUZZ_CHECK(cond)                                                                  \
  do {                                                                                    \
    if (!(cond)) {                                                                        \
      std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (0)

namespace qbfuzz {

// The input as an exactly sized NUL-terminated heap text (cut at its first NUL),
// so that a read or write past the terminator lands outside the allocation.
inline char* ExactText(const uint8_t* data, std::size_t size) {
  const std::size_t n = strnlen(reinterpret_cast<const char*>(data), size);
  char* text = static_cast<char*>(std::malloc(n + 1));
  std::memcpy(text, data, n);
  text[n] = '\0';
  return text;
}

// Takes bytes from the front of the input to choose among variants.
class Picker {
 public:
  Picker(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  uint8_t Byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  const uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  std::size_t size_;
};

}  // namespace qbfuzz

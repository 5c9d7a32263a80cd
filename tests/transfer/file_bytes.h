#pragma once
// Files of test bytes: written, read back whole, and made of a seed.
#include <cstddef>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace qbtest {

inline std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The same bytes for the same seed, so that a copy can be checked against them.
inline std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

}  // namespace qbtest

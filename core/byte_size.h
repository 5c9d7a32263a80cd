#pragma once
// A size typed by a user: bytes, or with K, M or G for KiB, MiB and GiB.
#include <cstdint>
#include <optional>
#include <string_view>

namespace qb {

// "20M", "20 m", "1500", " 3G " read as bytes (suffixes 1024-based, any case,
// blanks around the number and before the suffix ignored). None for an empty or
// negative text, anything else after the number, or a size beyond int64_t.
std::optional<int64_t> ParseByteSize(std::string_view text);

}  // namespace qb

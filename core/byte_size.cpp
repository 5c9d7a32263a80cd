#include "core/byte_size.h"

#include <limits>

namespace qb {

namespace {
bool Blank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::optional<int64_t> ParseByteSize(std::string_view text) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  constexpr int64_t Most = std::numeric_limits<int64_t>::max();
  std::size_t i = 0;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value > (Most - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (i == 0) return std::nullopt;
  while (i < text.size() && Blank(text[i])) ++i;
  if (i == text.size()) return value;
  if (i + 1 != text.size()) return std::nullopt;
  int shift = 0;
  switch (text[i]) {
    case 'k':
    case 'K':
      shift = 10;
      break;
    case 'm':
    case 'M':
      shift = 20;
      break;
    case 'g':
    case 'G':
      shift = 30;
      break;
    default:
      return std::nullopt;
  }
  if (value > (Most >> shift)) return std::nullopt;
  return value << shift;
}

}  // namespace qb

#include "core/text_helpers.h"

#include <cstring>

namespace qb {

int32_t ParseHex(char* text) {
  for (char* p = text; *p; ++p) *p = AsciiUpper(*p);
  uint32_t value = 0;  // unsigned: long digit runs wrap instead of overflowing
  uint32_t weight = 1;
  for (std::size_t i = std::strlen(text); i-- > 0;) {
    const char c = text[i];
    uint32_t digit;
    if (c == ' ') continue;
    if (c >= '0' && c <= '9')
      digit = static_cast<uint32_t>(c - '0');
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<uint32_t>(c - 'A' + 10);
    else
      return 0;
    value += digit * weight;
    weight *= 16;
  }
  return static_cast<int32_t>(value);
}

void HexByte(int value, char out[3]) {
  static const char digits[] = "0123456789ABCDEF";
  if (value < 0) value += 256;
  value &= 0xFF;
  out[0] = digits[value >> 4];
  out[1] = digits[value & 15];
  out[2] = '\0';
}

char* PercentDecode(char* text) {
  char* out = text;
  const char* in = text;
  while (*in) {
    if (*in == '%') {
      char pair[3] = {0, 0, 0};
      std::size_t n = 0;
      while (n < 2 && in[1 + n]) {
        pair[n] = in[1 + n];
        ++n;
      }
      const int32_t value = ParseHex(pair);
      if (value != 0) {
        *out++ = static_cast<char>(value);
        in += 1 + n;
        continue;
      }
    }
    *out++ = *in++;
  }
  *out = '\0';
  return text;
}

void StripControlChars(char* text) {
  char* out = text;
  for (const char* in = text; *in; ++in) {
    if (*in != '\r' && *in != '\n' && *in != '\t') *out++ = *in;
  }
  *out = '\0';
}

void CopyText(char* dest, std::size_t size, const char* src) {
  if (size == 0) return;
  const std::size_t n = src ? strnlen(src, size - 1) : 0;
  if (n) std::memmove(dest, src, n);
  dest[n] = '\0';
}

void CopyRange(char* dest, std::size_t size, const char* begin, const char* end) {
  std::size_t n = static_cast<std::size_t>(end - begin);
  if (n > size - 1) n = size - 1;
  std::memcpy(dest, begin, n);
  dest[n] = '\0';
}

int64_t AtoLL(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  uint64_t value = 0;
  constexpr uint64_t Most = uint64_t{INT64_MAX};
  for (; *p >= '0' && *p <= '9'; ++p) {
    const auto digit = static_cast<uint64_t>(*p - '0');
    value = value > (Most - digit) / 10 ? Most : value * 10 + digit;
  }
  const auto read = static_cast<int64_t>(value);
  return negative ? -read : read;
}

int32_t AtoL(const char* text) {
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT32_MAX + int64_t{1}) value = INT32_MAX + int64_t{1};
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int32_t>(value);
}

std::string Grouped(int64_t n) {
  const std::string digits = std::to_string(n);
  std::string grouped;
  grouped.reserve(digits.size() + digits.size() / 3);
  const std::size_t first = digits[0] == '-' ? 1 : 0;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > first && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace qb

#pragma once
// Small helpers on 8-bit texts, most of them in place on NUL-terminated ones.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

// Reads the text backwards as a hexadecimal number after upper-casing it in
// place; spaces are skipped, any other non-digit makes the result 0.
int32_t ParseHex(char* text);

// Writes the two upper-case hex digits of a byte value (negative taken +256).
void HexByte(int value, char out[3]);

// Decodes %XX escapes in place and returns text; an escape worth 0 is kept as is.
char* PercentDecode(char* text);

// Removes carriage returns, line feeds and tabs in place.
void StripControlChars(char* text);

// Copies at most size-1 characters and always terminates (size > 0).
void CopyText(char* dest, std::size_t size, const char* src);
// Copies the characters from begin up to end, at most size-1, and terminates (size > 0).
void CopyRange(char* dest, std::size_t size, const char* begin, const char* end);

// Leading decimal number as the C library's atol reads it, clamped to 32 bits.
int32_t AtoL(const char* text);
// As AtoL, but 64-bit: a file size read exactly, saturated past INT64_MAX.
int64_t AtoLL(const char* text);

// n with its thousands grouped: "1,234,567", "-1,234".
std::string Grouped(int64_t n);

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
inline char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

// Equal but for the case of ASCII letters.
inline bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

inline bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace qb

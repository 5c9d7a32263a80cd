#include "core/terminal_text.h"

#include <cstdio>

namespace qb {

std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  std::size_t n = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;   // overlong
    if (c == 0xED) high = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < n; ++k) {
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  }
  return n;
}

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      out += ControlStandIn;
      ++i;
      continue;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t n = Utf8Length(text, i);
    if (n == 0) {
      // A stray byte: in an 8-bit terminal 0x80..0x9F are C1 controls; the rest
      // are letters of some code page and stay.
      if (c <= 0x9f)
        out += ControlStandIn;
      else
        out += static_cast<char>(c);
      ++i;
      continue;
    }
    // U+0080..U+009F are the two-byte sequences C2 80..C2 9F.
    if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f)
      out += ControlStandIn;
    else
      out.append(text.substr(i, n));
    i += n;
  }
  return out;
}

void PrintProblem(std::string_view program, std::string_view text) {
  std::string line(program);
  line += ": ";
  line += TerminalText(text);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace qb

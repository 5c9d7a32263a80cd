#pragma once
// Text printed where a terminal may show it. Names, server replies and file
// values come from outside: an escape sequence among them would drive the
// terminal (clear it, retitle it, fake a line), so controls never reach it raw.
#include <cstddef>
#include <string>
#include <string_view>

namespace qb {

// Length (2 to 4) of the valid UTF-8 sequence starting at text[i], or 0 when the
// bytes there are none (an ASCII byte included).
std::size_t Utf8Length(std::string_view text, std::size_t i);

// Stands in for every control character.
inline constexpr std::string_view ControlStandIn = "\xEF\xBF\xBD";  // U+FFFD

// The text with each C0 control (tab and line feed too), DEL and C1 control
// (U+0080..U+009F in UTF-8, or a byte 0x80..0x9F outside valid UTF-8) as
// ControlStandIn; every other byte as it is.
std::string TerminalText(std::string_view text);

// "program: text" and a line feed on standard error, text made terminal-safe.
void PrintProblem(std::string_view program, std::string_view text);

}  // namespace qb

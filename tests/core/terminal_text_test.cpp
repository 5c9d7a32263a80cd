#include "core/terminal_text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

using qb::TerminalText;

const std::string X = "\xEF\xBF\xBD";  // what a control becomes

TEST(TerminalText, EscapeSequencesLoseTheirControlBytes) {
  EXPECT_EQ(TerminalText("\x1b[2J\x1b[31mPWNED\x1b]0;title\x07.txt"),
            X + "[2J" + X + "[31mPWNED" + X + "]0;title" + X + ".txt");
  // Tab, line feed and carriage return would split or overwrite a line.
  EXPECT_EQ(TerminalText(std::string("a\tb\nc\rd\0e\x7f", 10)),
            "a" + X + "b" + X + "c" + X + "d" + X + "e" + X);
}

// C1 controls: U+0080..U+009F written in UTF-8, and the same bytes alone,
// which an 8-bit terminal takes as controls (0x9B is CSI).
TEST(TerminalText, C1ControlsInUtf8AndAsStrayBytesAreReplaced) {
  const std::pair<std::string, std::string> cases[] = {
      {"\xc2\x9b"
       "2J",
       X + "2J"},
      {"\xc2\x80|\xc2\x9f", X + "|" + X},
      {"\x9b"
       "31m",
       X + "31m"},
      {"\x90x\x85", X + "x" + X},
      // A sequence cut short leaves its continuation bytes stray.
      {"\xe2\x9b", "\xe2" + X},
      {"\xc2\x1b", "\xc2" + X},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(TerminalText(in), out) << in;
}

TEST(TerminalText, PrintableTextAndOtherBytesStayAsTheyAre) {
  for (const std::string text :
       {"plain name.tar.gz", "caf\xc3\xa9", "\xc2\xa0nbsp", "dash \xe2\x80\x94 here",
        "\xf0\x9f\x98\x80", "latin1 \xe9t\xe9", "\xff\xfe", "~!@#$%^&*()"}) {
    EXPECT_EQ(TerminalText(text), text);
  }
  EXPECT_EQ(TerminalText(""), "");
}

}  // namespace

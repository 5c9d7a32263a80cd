// Settings and engine files as editors and other programs leave them: CRLF
// lines, no final line end, repeated sections, quotes, stray text.
#include <gtest/gtest.h>

#include <string>

#include "core/ini_file.h"

using namespace qb;

namespace {

TEST(IniText, LookupTakesTheFirstMatchWithinItsSectionOnly) {
  const std::string text =
      "Key=outside\r\n[ other ]\r\nKey=wrong\r\n; Key=comment\r\n[CONFIG]\r\n"
      "  key = \"quoted value\"  \r\nKey=second\r\n[config]\r\nLate=1";
  EXPECT_EQ(IniLookup(text, "Config", "KEY", "d", 39), "quoted value");
  EXPECT_EQ(IniLookup(text, "Config", "Key", "d", 6), "quoted");
  EXPECT_EQ(IniLookup(text, "config", "late", "d", 39), "1");  // a repeated section counts
  EXPECT_EQ(IniLookup(text, "Other", "Key", "d", 39), "wrong");
  EXPECT_EQ(IniLookup(text, "Config", "Missing", "default", 3), "def");
  EXPECT_EQ(IniLookup("[Config\nKey=1\n[]\nKey=2\n", "", "Key", "d", 9), "2");
  EXPECT_EQ(IniLookup("[Config\nKey=1\n", "Config", "Key", "d", 9), "d");  // no header
}

TEST(IniText, ReplaceTouchesOneLineAndEndsEveryLine) {
  // The key's own line, its CRLF kept; everything else byte for byte.
  EXPECT_EQ(IniReplace("[A]\r\nk = 1\r\nx=2", "a", "K", "9"), "[A]\r\nK=9\r\nx=2\n");
  // A new key goes after the section's last non-blank line, in its last occurrence.
  EXPECT_EQ(IniReplace("[A]\nx=1\n\n[B]\ny=2\n[A]\nz=3\n\n\n", "A", "k", "v"),
            "[A]\nx=1\n\n[B]\ny=2\n[A]\nz=3\nk=v\n\n\n");
  EXPECT_EQ(IniReplace("[A]", "A", "k", "v"), "[A]\nk=v\n");
  // No such section: it is added at the end.
  EXPECT_EQ(IniReplace("", "S", "k", "v"), "[S]\nk=v\n");
  EXPECT_EQ(IniReplace("; note", "S", "k", "v"), "; note\n[S]\nk=v\n");
  // Only the first matching line changes.
  EXPECT_EQ(IniReplace("[A]\nk=1\nk=2\n", "A", "k", "3"), "[A]\nk=3\nk=2\n");
}

TEST(IniText, SectionsListEntriesWithTheirLines) {
  const std::vector<IniSection> sections =
      IniSections("lost=1\r\n[One]\r\na = 'x'\r\n\r\n# c\r\n[Two]\nb=\n[One]\n");
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0].name, "One");
  EXPECT_EQ(sections[0].line, 2);
  ASSERT_EQ(sections[0].entries.size(), 1u);
  EXPECT_EQ(sections[0].entries[0].key, "a");
  EXPECT_EQ(sections[0].entries[0].value, "x");
  EXPECT_EQ(sections[0].entries[0].line, 3);
  ASSERT_EQ(sections[1].entries.size(), 1u);
  EXPECT_EQ(sections[1].entries[0].value, "");
  EXPECT_EQ(sections[2].line, 8);
  EXPECT_TRUE(sections[2].entries.empty());
}

}  // namespace

#include "net/name_charset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text_helpers.h"

using namespace qb;

namespace {

const char* const Privet1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет"
const char* const PrivetUtf8 = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";

TEST(IsUtf8, Strict) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain.txt", true},
      {"caf\xC3\xA9", true},
      {"\xF0\x9F\x98\x80", true},   // U+1F600
      {"caf\xE9", false},           // Latin-1
      {"\xC0\xAF", false},          // overlong '/'
      {"\xE0\x80\xAF", false},      // overlong '/'
      {"\xED\xA0\x80", false},      // surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xC3", false},              // cut short
      {"\x80", false},              // lone continuation
  };
  for (const auto& [bytes, utf8] : cases) EXPECT_EQ(IsUtf8(bytes), utf8) << bytes;
}

TEST(ToUtf8, ReadsEachSiteCharset) {
  struct Case {
    const char* charset;
    std::string bytes;
    const char* text;  // null: not convertible
  };
  const Case cases[] = {
      {"ISO-8859-1", "caf\xE9", "caf\xC3\xA9"},
      {"CP1251", Privet1251, PrivetUtf8},
      {"CP1252", "\x80 5", "\xE2\x82\xAC 5"},
      {"CP866", "\x8F\xE0\xA8\xA2\xA5\xE2", PrivetUtf8},
      {"SHIFT_JIS", "\x93\xFA\x96\x7B.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt"},  // 日本.txt
      {"SHIFT_JIS", "\x93\xFA\x96", "\xE6\x97\xA5"},            // cut last character dropped
      {"GBK", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},  // 中文
      {"BIG5", "\xA4\xA4\xA4\xE5", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"EUC-KR", "\xC7\xD1\xB1\xB9", "\xED\x95\x9C\xEA\xB5\xAD"},  // 한국
      {"EUC-KR", "\xC7\x41", nullptr},
      {"CP1251", "\x98", nullptr},  // the one byte CP1251 leaves unassigned
      {"NO-SUCH-CHARSET", "abc", nullptr},
      {"", "abc", nullptr},
  };
  // The menu's charsets, each in the table above.
  ASSERT_EQ(SiteCharsets().size(), 8u);
  EXPECT_STREQ(SiteCharsets()[0].label, "Latin-1");
  for (const Case& c : cases) {
    const auto text = ToUtf8(c.bytes, c.charset);
    if (c.text) {
      ASSERT_TRUE(text) << c.charset;
      EXPECT_EQ(*text, c.text) << c.charset;
    } else {
      EXPECT_FALSE(text) << c.charset;
    }
  }
}

std::vector<ListingEntry> Entries(const std::vector<std::string>& names) {
  std::vector<ListingEntry> entries(names.size());
  for (std::size_t i = 0; i < names.size(); ++i)
    CopyText(entries[i].name, sizeof entries[i].name, names[i].c_str());
  return entries;
}

TEST(ConvertNames, ConvertsOnlyLegacyNames) {
  auto entries = Entries({"caf\xE9", "plain.txt", "\xE6\x97\xA5.txt"});
  EXPECT_EQ(ConvertNames(entries, "ISO-8859-1"), "ISO-8859-1");
  EXPECT_STREQ(entries[0].name, "caf\xC3\xA9");
  EXPECT_EQ(entries[0].serverName, "caf\xE9");
  EXPECT_STREQ(entries[1].name, "plain.txt");
  EXPECT_STREQ(entries[2].name, "\xE6\x97\xA5.txt");
  EXPECT_EQ(entries[1].serverName + entries[2].serverName, "");

  auto utf8 = Entries({"a", "caf\xC3\xA9"});
  EXPECT_EQ(ConvertNames(utf8, ""), "");
  EXPECT_STREQ(utf8[1].name, "caf\xC3\xA9");
  EXPECT_EQ(utf8[1].serverName, "");
}

TEST(ConvertNames, DetectsTheCharsetOfAllNames) {
  struct Case {
    std::vector<std::string> names;  // the first one legacy
    const char* charset;
    const char* first;  // the first name, converted
  };
  const Case cases[] = {
      {{"caf\xE9", "na\xEFve", "r\xE9sum\xE9.doc", "readme.txt"}, "ISO-8859-1", "caf\xC3\xA9"},
      // Cyrillic folder names as an old Windows server sends them.
      {{Privet1251, "\xC4\xEE\xEA\xF3\xEC\xE5\xED\xF2\xFB", "\xCC\xF3\xE7\xFB\xEA\xE0",
        "\xD4\xEE\xF2\xEE\xE3\xF0\xE0\xF4\xE8\xE8", "readme.txt"},
       "CP1251",
       PrivetUtf8},
      {{"\x93\xFA\x96\x7B\x8C\xEA", "\x83\x65\x83\x58\x83\x67.txt", "readme.txt"},
       "SHIFT_JIS",
       "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},  // 日本語
  };
  for (const Case& c : cases) {
    auto entries = Entries(c.names);
    EXPECT_EQ(ConvertNames(entries, ""), c.charset);
    EXPECT_STREQ(entries[0].name, c.first) << c.charset;
    EXPECT_EQ(entries[0].serverName, c.names[0]);
    EXPECT_EQ(entries.back().serverName, "");
  }
}

TEST(ConvertNames, CutsBetweenCharactersAndKeepsTheBytes) {
  // 40 Cyrillic letters: 80 bytes of UTF-8, cut to 29 letters.
  const std::string legacy(40, '\xE0');
  std::string letters;
  for (int i = 0; i < 29; ++i) letters += "\xD0\xB0";
  auto entries = Entries({legacy});
  ConvertNames(entries, "CP1251");
  EXPECT_EQ(std::string(entries[0].name), letters);
  EXPECT_EQ(entries[0].serverName, legacy);

  // A UTF-8 name cut inside its last character, its whole form not kept,
  // stays UTF-8.
  std::string cut;
  for (int i = 0; i < 29; ++i) cut += "\xC3\xA9";
  auto listed = Entries({cut + "\xC3"});
  EXPECT_EQ(ConvertNames(listed, ""), "");
  EXPECT_EQ(std::string(listed[0].name), cut);
  EXPECT_EQ(listed[0].serverName, cut + "\xC3");
}

TEST(ConvertNames, ShowsUnreadableBytesAnyway) {
  auto entries = Entries({"\x98\xCF", "caf\xE9"});
  ConvertNames(entries, "CP1251");
  EXPECT_STREQ(entries[0].name, "\xEF\xBF\xBD\xD0\x9F");  // U+FFFD and П
  auto unknown = Entries({"caf\xE9"});
  EXPECT_EQ(ConvertNames(unknown, "NO-SUCH-CHARSET"), "NO-SUCH-CHARSET");
  EXPECT_STREQ(unknown[0].name, "caf\xC3\xA9");
}

TEST(DetectCharset, FallsBackToLatin1) {
  EXPECT_EQ(DetectCharset(""), "ISO-8859-1");
  EXPECT_EQ(DetectCharset("\xFF\xFE\xFD"), "ISO-8859-1");
}

}  // namespace

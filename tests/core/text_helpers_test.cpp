#include "core/text_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace qb;

namespace {

std::string Decode(std::string s) {
  s.push_back('\0');
  PercentDecode(s.data());
  return std::string(s.c_str());
}

int32_t Hex(std::string s) { return ParseHex(s.data()); }

TEST(PercentDecode, Forms) {
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"ftp://h/a%20b/", "ftp://h/a b/"},
      {"100%", "100%"},
      {"%00x", "%00x"},
      {"%e9", "\xE9"},
      {"%E9", "\xE9"},
      {"% 41", std::string("\x04") + "1"},
      {"%4", "\x04"},
      {"ab%4", "ab\x04"},
      {"%zz%41", "%zzA"},
      {"%%41", "%A"},
      {"%", "%"},
      {"", ""},
      {"plain", "plain"},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.in), c.out) << c.in;
}

TEST(PercentDecode, NeverLongerThanInput) {
  std::string s = "%41%42%4";
  for (int i = 0; i < 200; ++i) s += "%2";
  EXPECT_LE(Decode(s).size(), s.size());
}

TEST(ParseHex, Values) {
  EXPECT_EQ(Hex("1f"), 31);
  EXPECT_EQ(Hex(" 1 f "), 31);
  EXPECT_EQ(Hex("1g"), 0);
  EXPECT_EQ(Hex(""), 0);
  EXPECT_EQ(Hex("FF"), 255);
  EXPECT_EQ(Hex("7FFFFFFF"), 0x7FFFFFFF);
  Hex(std::string(40, 'F'));  // long runs wrap without undefined behaviour
}

TEST(ParseHex, UpperCasesInPlace) {
  char text[] = "ab";
  ParseHex(text);
  EXPECT_STREQ(text, "AB");
}

TEST(HexByte, DigitsAndNegativeValues) {
  char out[3];
  HexByte(0xE9, out);
  EXPECT_STREQ(out, "E9");
  HexByte(-23, out);  // 0xE9 read as a signed character
  EXPECT_STREQ(out, "E9");
  HexByte(5, out);
  EXPECT_STREQ(out, "05");
}

TEST(StripControlChars, RemovesLineBreaksAndTabs) {
  char text[] = "<a hr\r\nef=\t\"x\">\n";
  StripControlChars(text);
  EXPECT_STREQ(text, "<a href=\"x\">");
}

TEST(CopyText, CutsAndTerminates) {
  char buf[4] = {'x', 'x', 'x', 'x'};
  CopyText(buf, sizeof buf, "abcdef");
  EXPECT_STREQ(buf, "abc");
  CopyText(buf, sizeof buf, nullptr);
  EXPECT_STREQ(buf, "");
}

TEST(CopyRange, TakesOnlyTheRangeCutToTheBuffer) {
  const char* text = "user:secret@host";
  char buf[5] = {'x', 'x', 'x', 'x', 'x'};
  CopyRange(buf, sizeof buf, text, text + 4);
  EXPECT_STREQ(buf, "user");
  CopyRange(buf, sizeof buf, text + 5, text + 11);  // longer than the buffer
  EXPECT_STREQ(buf, "secr");
  CopyRange(buf, sizeof buf, text, text);
  EXPECT_STREQ(buf, "");
}

TEST(AtoL, ReadsLikeTheCLibrary) {
  EXPECT_EQ(AtoL("  42abc"), 42);
  EXPECT_EQ(AtoL("-5"), -5);
  EXPECT_EQ(AtoL("+7"), 7);
  EXPECT_EQ(AtoL("abc"), 0);
  EXPECT_EQ(AtoL(""), 0);
  EXPECT_EQ(AtoL("99999999999999"), INT32_MAX);
  EXPECT_EQ(AtoL("-99999999999999"), INT32_MIN);
}

TEST(Grouped, ThousandsAndSigns) {
  EXPECT_EQ(Grouped(0), "0");
  EXPECT_EQ(Grouped(999), "999");
  EXPECT_EQ(Grouped(1000), "1,000");
  EXPECT_EQ(Grouped(1234567), "1,234,567");
  // The sign is no digit: no comma right after it.
  EXPECT_EQ(Grouped(-123), "-123");
  EXPECT_EQ(Grouped(-123456), "-123,456");
  EXPECT_EQ(Grouped(INT64_MIN), "-9,223,372,036,854,775,808");
  EXPECT_EQ(Grouped(INT64_MAX), "9,223,372,036,854,775,807");
}

}  // namespace

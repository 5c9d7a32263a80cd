#include "app/version_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NoticeCase {
  const char* name;
  std::string body;
  std::string text;
};

std::string Repeat(const std::string& piece, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += piece;
  return all;
}

TEST(NoticeText, BuildsCrLfLinesAndDropsTheUnfinishedOne) {
  const NoticeCase cases[] = {
      {"lf lines", "\r\nline one\nline two\n", "line one\r\nline two\r\n"},
      {"crlf lines keep their cr", "\r\nline one\r\nline two\r\n",
       "line one\r\r\nline two\r\r\n"},
      {"last line without end is lost", "\r\nkept\nlost", "kept\r\n"},
      {"no line end at all", "\r\nonly text", ""},
      {"leading line ends of any mix skipped", "\n\r\n\r\rtext\n", "text\r\n"},
      {"empty lines inside stay", "\r\na\n\nb\n", "a\r\n\r\nb\r\n"},
      {"only line ends", "\r\n\n\r\n", ""},
      {"empty body", "", ""},
      {"many lines", "\r\n" + Repeat("v 0.32 is out\n", 500), Repeat("v 0.32 is out\r\n", 500)},
  };
  for (const NoticeCase& c : cases) {
    EXPECT_EQ(BuildNoticeText(c.body), c.text) << c.name;
  }
}

// A page of nothing but short lines nearly doubles in size; every byte must land.
TEST(NoticeText, HugeBodyOfShortLinesFitsWhole) {
  const std::string body = "\r\n" + Repeat("x\n", 49000);
  const std::string text = BuildNoticeText(body);
  ASSERT_EQ(text.size(), 49000u * 3);
  EXPECT_EQ(text, Repeat("x\r\n", 49000));
}

TEST(Counter, ReadsTheNumberAfterTheLeadingLineEnd) {
  const struct {
    const char* body;
    int32_t users;
  } cases[] = {
      {"\r\n42", 42},        {"\r\n  17 users", 17}, {"\r\n0", 0},  {"\r\nabc", 0},
      {"42", 0},             {"\r\n-3", -3},         {"\r\n", 0},   {"\r", 0},
      {"", 0},               {nullptr, 0},           {"xx9", 9},    {"\r\n99999999999", INT32_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadCounter(c.body), c.users) << (c.body ? c.body : "(null)");
  }
}

}  // namespace

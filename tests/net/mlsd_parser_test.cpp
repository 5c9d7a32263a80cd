#include "net/mlsd_parser.h"

#include <gtest/gtest.h>

#include <string>

using namespace qb;

namespace {

struct Case {
  const char* what;
  std::string line;
  bool listed;
  bool folder = false;
  int64_t size = 0;
  const char* date = "";
  const char* name = "";
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

const Case Cases[] = {
    {"file with every fact",
     "modify=20240314120005;perm=adfr;size=1234;type=file;unique=FD01U1A;UNIX.mode=0644; notes.txt",
     true, false, 1234, "2024-03-14 12:00", "notes.txt"},
    {"facts in any case, fractional seconds", "Type=File;Size=5;MODIFY=20231231235959.123; x", true,
     false, 5, "2023-12-31 23:59", "x"},
    {"folder: no size, no date", "type=dir;sizd=4096;modify=20230101000000; pub", true, true, 0, "",
     "pub"},
    {"name taken whole", "type=file;size=1;  lead; a=b c", true, false, 1, "", " lead; a=b c"},
    {"size past 32 bits", "type=file;size=8589934592; big.iso", true, false, 8589934592, "",
     "big.iso"},
    {"slink counts as a folder", "type=OS.unix=slink:/srv/pub;size=9; pub-link", true, true, 0, "",
     "pub-link"},
    {"symlink counts as a folder", "type=os.UNIX=symlink; other", true, true, 0, "", "other"},
    {"other unix type is a file", "type=OS.unix=chr-4/1;size=0; tty", true, false, 0, "", "tty"},
    {"no facts at all", " bare", true, false, 0, "", "bare"},
    {"last ';' missing", "type=file;size=3 x.txt", true, false, 3, "", "x.txt"},
    {"space inside a value", "type=file;UNIX.ownername=John Smith;size=7; y.txt", true, false, 7,
     "", "y.txt"},
    {"bad modify leaves the date empty", "type=file;size=2;modify=20241399120000; z", true, false,
     2, "", "z"},
    {"bad size reads 0", "type=file;size=12ab; q", true, false, 0, "", "q"},
    {"cdir", "type=cdir;modify=20240101000000; /pub", false},
    {"hidden file", "type=file;size=1; .profile", false},
    {"home folder", "type=dir; Home", false},
    {"not facts", "-rw-r--r-- 1 ftp ftp 5 Jan 1 2020 x", false},
    {"no name", "type=file;size=1; ", false},
    {"NUL in the name", std::string("type=file; a\0b", 14), false},
    {"carriage return in the name", "type=file; a\rDELE b", false},
    {"a path, not a name", "type=file; ../etc/passwd", false},
    {"over-long line", "type=file; " + std::string(6000, 'a'), false},
};

class MlsdLine : public testing::TestWithParam<Case> {};

TEST_P(MlsdLine, Reads) {
  const Case& c = GetParam();
  const auto entry = ReadMlsdLine(c.line);
  ASSERT_EQ(entry.has_value(), c.listed);
  if (!entry) return;
  EXPECT_EQ(entry->isFolder, c.folder ? 1 : 0);
  EXPECT_EQ(entry->size, c.size);
  EXPECT_STREQ(entry->date, c.date);
  EXPECT_STREQ(entry->name, c.name);
  EXPECT_EQ(entry->serverName, "");
}

INSTANTIATE_TEST_SUITE_P(Lines, MlsdLine, testing::ValuesIn(Cases));

TEST(MlsdLine, LongNamesAreCutAndKeptWhole) {
  const std::string ascii(80, 'n');
  auto entry = ReadMlsdLine("type=file; " + ascii);
  ASSERT_TRUE(entry);
  EXPECT_EQ(std::string(entry->name), ascii.substr(0, 59));
  EXPECT_EQ(entry->serverName, ascii);

  // 30 two-byte characters: cut after the 29th, not inside the 30th.
  std::string utf8;
  for (int i = 0; i < 30; ++i) utf8 += "\xC3\xA9";
  entry = ReadMlsdLine("type=file; " + utf8);
  ASSERT_TRUE(entry);
  EXPECT_EQ(std::string(entry->name), utf8.substr(0, 58));
  EXPECT_EQ(entry->serverName, utf8);
}

TEST(MlsdListing, ReadsEveryLineEnd) {
  const auto entries =
      ReadMlsdListing("type=cdir; .\r\ntype=file;size=1; a\nnoise\r\n\r\ntype=file; " +
                      std::string(6000, 'x') + "\r\ntype=dir; b");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_STREQ(entries[0].name, "a");
  EXPECT_STREQ(entries[1].name, "b");
  EXPECT_EQ(entries[1].isFolder, 1);
}

}  // namespace

#include "net/listing_parser.h"
#include "net/explore_site.h"
#include "net/name_charset.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

using namespace qb;

namespace {

struct Case {
  const char* what;
  const char* line;
  bool folder;
  int64_t size;
  const char* date;
  const char* name;  // after the filter; "" = not listed
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

const Case Cases[] = {
    {"unix file with a time and a space in its name",
     "-rw-r--r-- 1 ftp ftp 123456 Jan 12 10:30 file one.zip", false, 123456, "Jan 12 10:30",
     "file one.zip"},
    {"numeric owner and group", "-rw-r--r-- 1 1001 100 123456 Jan 12 1999 a.zip", false, 123456,
     "Jan 12 1999", "a.zip"},
    {"no group column", "-rw-r--r-- 1 ftp 123456 Jan 12 1999 a.zip", false, 123456, "Jan 12 1999",
     "a.zip"},
    {"folder with a year", "drwxr-xr-x 2 ftp ftp 512 Jan 12 1999 pub", true, 512, "Jan 12 1999",
     "pub"},
    {"folder of size 0 through the zero rule", "drwxr-xr-x 2 ftp ftp 0 Jan 12 1999 zero", true, 0,
     "Jan 12 1999", "zero"},
    // Numeric owners (vsftpd, Pure-FTPd): the standard layout is read by position.
    {"owner 0 with a year", "drwxr-xr-x 2 0 0 512 Jan 12 1999 pub", true, 512, "Jan 12 1999",
     "pub"},
    {"owner 0 with a time", "drwxr-xr-x 2 0 0 4096 Jan 01 10:30 docs", true, 4096, "Jan 01 10:30",
     "docs"},
    {"vsftpd file", "-rw-r--r--    1 0        0         2252 Mar 05  2024 notes.txt", false, 2252,
     "Mar 05  2024", "notes.txt"},
    {"ProFTPD folder", "drwxr-xr-x   2 ftp      ftp          4096 Dec  9 01:15 incoming", true,
     4096, "Dec  9 01:15", "incoming"},
    {"mode with an ACL mark", "-rw-r--r--+ 1 ftp ftp 77 Jan 12 1999 acl.txt", false, 77,
     "Jan 12 1999", "acl.txt"},
    // Without a group column the date is still found by its shape.
    {"owner 0 without a group", "drwxr-xr-x 2 0 512 Jan 12 10:30 pub", true, 512, "Jan 12 10:30",
     "pub"},
    {"10 bytes dated the 12th", "-rw-r--r-- 1 ftp ftp 10 Jan 12 1999 x.txt", false, 10,
     "Jan 12 1999", "x.txt"},
    {"10 bytes dated the 5th", "-rw-r--r-- 1 ftp ftp 10 Jan 5 1999 x.txt", false, 10, "Jan 5 1999",
     "x.txt"},
    {"5 bytes", "-rw-r--r-- 1 ftp ftp 5 Jan 12 1999 tiny", false, 5, "Jan 12 1999", "tiny"},
    {"short link", "lrwxrwxrwx 1 ftp ftp 7 Jan 12 1999 bin -> usr/bin", true, 7, "Jan 12 1999",
     "bin -> usr/bin"},
    {"no group: 10 bytes dated the 12th", "-rw-r--r-- 1 ftp 10 Jan 12 1999 x.txt", false, 10,
     "Jan 12 1999", "x.txt"},
    // Without a mode column the walk reads the line and takes a size not above
    // the day of the month for the day.
    {"walk: 10 bytes dated the 12th", "d [R----F--] ftp 10 Jan 12 1999 x.txt", true, 1999, "", ""},
    {"link with a long target", "lrwxrwxrwx 1 ftp ftp 40 Jan 12 10:30 up -> the/long/target/path",
     true, 40, "Jan 12 10:30", "up -> the/long/target/path"},
    {"colon in the name after a year", "-rw-r--r-- 1 ftp ftp 123456 Jan 01 2019 notes: part 1.txt",
     false, 123456, "Jan 01 2019", "notes: part 1.txt"},
    {"colon in the name with no space after it", "-rw-r--r-- 1 ftp ftp 123456 Jan 12 1999 a:b",
     false, 123456, "Jan 12 1999", "a:b"},
    {"walk: colon in the name after a year", "-rw-r--r-- 1 ftp 123456 Jan 12 1999 a:b c.txt", false,
     123456, "Jan 12 1999", "a:b c.txt"},
    {"total line", "total 12", false, 12, "", ""},
    {"ms-dos folder", "01-12-99  10:30AM       <DIR>          pub", false, 10, "", ""},
    {"one field only", "-rw-r--r--", false, 0, "", ""},
    {"empty line", "", false, 0, "", ""},
    {"date walk runs out: the name starts inside the fifth field", "x 9 a b c d efile", false, 9,
     "a b c d efile", "file"},
    {"date walk runs out on trailing spaces", "x 9 a b c d ", false, 9, "a b c d ", ""},
    {"hidden file", "-rw-r--r-- 1 ftp ftp 1234 Jan 5 1999 .profile", false, 1234, "Jan 5 1999", ""},
    {"parent folder", "drwxr-xr-x 2 ftp ftp 512 Jan 5 1999 ..", true, 512, "Jan 5 1999", ""},
    {"folder named home", "drwxr-xr-x 2 ftp ftp 512 Jan 5 1999 Home", true, 512, "Jan 5 1999", ""},
    {"file named home is listed", "-rw-r--r-- 1 ftp ftp 1234 Jan 5 1999 home", false, 1234,
     "Jan 5 1999", "home"},
    {"folder name with dots inside", "drwxr-xr-x 2 ftp ftp 512 Jan 5 1999 a..b", true, 512,
     "Jan 5 1999", ""},
    {"folder name starting with 1 and a space", "drwxr-xr-x 2 ftp ftp 512 Jan 5 1999 1 x", true,
     512, "Jan 5 1999", ""},
    {"folder named like a large number with a dot", "drwxr-xr-x 2 ftp ftp 512 Jan 5 10:30 2001.x",
     true, 512, "Jan 5 10:30", ""},
    {"folder named like a small number with a dot", "drwxr-xr-x 2 ftp ftp 512 Jan 5 10:30 999.x",
     true, 512, "Jan 5 10:30", "999.x"},
};

// Lines as servers of many kinds print them: wherever the date's fields fall,
// whatever the owner, group and size columns look like.
const Case ServerLines[] = {
    {"vsftpd file", "-rw-r--r--    1 0        0         1048576 Dec 10 10:38 1MB.bin", false,
     1048576, "Dec 10 10:38", "1MB.bin"},
    {"size past 4 GiB", "-rw-r--r--    1 0        0      4831838208 Dec 10 10:38 dvd.iso", false,
     4831838208, "Dec 10 10:38", "dvd.iso"},
    {"vsftpd folder", "drwxr-xr-x    2 0        0            4096 Nov 30  2023 pub", true, 4096,
     "Nov 30  2023", "pub"},
    {"vsftpd link", "lrwxrwxrwx    1 0        0               7 Jan 12  2024 bin -> usr/bin", true,
     7, "Jan 12  2024", "bin -> usr/bin"},
    {"ProFTPD name with spaces",
     "-rw-r--r--   1 ftp      ftp         12345 Mar  1 09:05 read me.txt", false, 12345,
     "Mar  1 09:05", "read me.txt"},
    {"Pure-FTPd numeric owner", "-rw-r--r--    1 1000       1000             52 Dec 10 10:00 a.txt",
     false, 52, "Dec 10 10:00", "a.txt"},
    {"Solaris", "dr-xr-xr-x   2 root     other        512 Apr  8  1994 etc", true, 512,
     "Apr  8  1994", "etc"},
    {"sticky folder", "drwxrwxrwt   2 root     root         4096 Dec  1 12:00 tmp", true, 4096,
     "Dec  1 12:00", "tmp"},
    {"SELinux mark", "-rw-r--r--. 1 ftp ftp 2048 Jun 30 23:59 ctx.txt", false, 2048, "Jun 30 23:59",
     "ctx.txt"},
    {"set-id file, one-digit hour", "-rwsr-sr--   1 500  500  0 Mar 25 0:23 testSuidExec2", false,
     0, "Mar 25 0:23", "testSuidExec2"},
    {"no group, many links", "drwxr-xr-x  123 folder  0 Jan  4 14:49 Steak", true, 0,
     "Jan  4 14:49", "Steak"},
    {"date with a comma and a time", "-rw-r--r--  1 user group  9 Oct 08, 2002 09:47 notes", false,
     9, "Oct 08, 2002 09:47", "notes"},
    {"ISO date", "-rw-r--r--   1 user  group   2048 1995-04-21 09:16 report.doc", false, 2048,
     "1995-04-21 09:16", "report.doc"},
    {"time with seconds and a year", "-rw-r--r-- 1 ftp ftp 100 Jan 12 10:30:15 2019 sec.txt", false,
     100, "Jan 12 10:30:15 2019", "sec.txt"},
    {"name starting with a year after a time",
     "-rw-r--r-- 1 ftp ftp 5000 Jan 12 10:30 2019 report.pdf", false, 5000, "Jan 12 10:30",
     "2019 report.pdf"},
    {"name starting with a time after a year",
     "-rw-r--r-- 1 ftp ftp 500 Jan 01 2019 12:00 noon.mp3", false, 500, "Jan 01 2019",
     "12:00 noon.mp3"},
    {"owner named like a month", "-rw-r--r-- 1 may 12 100 Jan 12 1999 x.bin", false, 100,
     "Jan 12 1999", "x.bin"},
    {"device numbers", "crw-rw-rw-   1 root     sys       11, 42 Feb  2  1998 tcp", false, 42,
     "Feb  2  1998", "tcp"},
    {"no permissions at all", "----------   1 owner    group         1803128 Jul 10 10:18 ls-lR.Z",
     false, 1803128, "Jul 10 10:18", "ls-lR.Z"},
    {"NetWare folder", "d [R----F--] supervisor            512       Jan 16 18:53    login", true,
     512, "Jan 16 18:53", "login"},
    {"NetWare file", "- [RWCEAFMS] rhesus             214059       Oct 20 15:27    cx.exe", false,
     214059, "Oct 20 15:27", "cx.exe"},
};

class ListingParserTable : public ::testing::TestWithParam<Case> {};

TEST_P(ListingParserTable, ParsesAndFilters) {
  const Case& c = GetParam();
  ListingLine parsed;
  FilterListingLine(c.line, parsed);
  EXPECT_EQ(parsed.isFolder, c.folder);
  EXPECT_EQ(parsed.size, c.size);
  if (c.name[0]) {
    EXPECT_STREQ(parsed.date, c.date);
  }
  EXPECT_STREQ(parsed.name, c.name);
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name;
  for (const char* p = info.param.what; *p; ++p) {
    name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Lines, ListingParserTable, ::testing::ValuesIn(Cases), CaseName);
INSTANTIATE_TEST_SUITE_P(Servers, ListingParserTable, ::testing::ValuesIn(ServerLines), CaseName);

TEST(ListingParser, FilterOnlyBlanksTheName) {
  ListingLine raw;
  ParseListingLine("drwxr-xr-x 2 ftp ftp 512 Jan 5 1999 home", raw);
  EXPECT_STREQ(raw.name, "home");
  ListingLine filtered;
  FilterListingLine("drwxr-xr-x 2 ftp ftp 512 Jan 5 1999 home", filtered);
  EXPECT_STREQ(filtered.name, "");
  EXPECT_STREQ(filtered.date, raw.date);
}

TEST(ListingParser, OutputsAreCutToTheirCapacity) {
  // A name is kept whole up to the longest line read.
  const std::string name(400, 'n');
  const std::string longDate = "Jan 12 10:30" + std::string(100, ':');
  ListingLine parsed;
  ParseListingLine(("-rw-r--r-- 1 ftp ftp 123456 Jan 12 1999 " + name).c_str(), parsed);
  EXPECT_EQ(std::string(parsed.name), name);
  const std::string huge(ListingLineMax + 100, 'h');
  ParseListingLine(("-rw-r--r-- 1 ftp ftp 123456 Jan 12 1999 " + huge).c_str(), parsed);
  EXPECT_EQ(std::string(parsed.name), huge.substr(0, ListingLineMax));
  ParseListingLine(("-rw-r--r-- 1 ftp ftp 123456 " + longDate + " x").c_str(), parsed);
  EXPECT_EQ(std::string(parsed.date), longDate.substr(0, 79));
  EXPECT_STREQ(parsed.name, "x");
}

TEST(ListingLines, CompleteLinesOnlyAndCutLongOnes) {
  std::vector<std::string> seen;
  const std::string text = "one\r\ntwo\nthree\r\n" + std::string(7000, 'x') + "\r\ntail";
  ForEachCompleteLine(text, [&](const char* line) { seen.push_back(line); });
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0], "one");
  EXPECT_EQ(seen[1], "two\nthree");
  EXPECT_EQ(seen[2].size(), ListingLineMax);
}

TEST(ListingLines, PiecesSplitAtEveryLineEndAndKeepTheTail) {
  std::vector<std::string> seen;
  ForEachListingPiece("one\r\n\r\ntwo\nthree\rfour",
                      [&](const char* line) { seen.push_back(line); });
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two", "three", "four"}));
}

// A link folder is entered by its own name. An odd line's name can begin with the
// arrow; that is no link target, and the folder keeps a name to be entered by.
TEST(ListingScan, FirstFolderIsTheLinkNameAndNeverEmpty) {
  EXPECT_EQ(ScanListing("lrwxrwxrwx 1 ftp ftp 7 Jan 12 1999 bin -> usr/bin\r\n").firstFolder,
            "bin");
  const ListingScan odd = ScanListing("l 9 Jan x x x a -> x\r\n");
  EXPECT_EQ(odd.folders, 1);
  EXPECT_EQ(odd.firstFolder, " -> x");
}

// Commands name an entry by the server's whole name, whatever the entry's
// field holds: a cut name is one the server does not know.
TEST(BuildListing, NamesLongerThanTheEntryKeepTheirWholeForm) {
  const std::string ascii(100, 'a');
  std::string accents;  // 50 x "é": 100 bytes of UTF-8
  for (int i = 0; i < 50; ++i) accents += "\xC3\xA9";
  const std::string fits(sizeof(ListingEntry::name) - 1, 'f');
  const std::string folder = std::string(120, 'd') + " two";
  const std::string text = "-rw-r--r-- 1 ftp ftp 4096 Jan 12 1999 " + ascii + "\r\n" +
                           "-rw-r--r-- 1 ftp ftp 10 Jan 12 10:30 " + accents + "\r\n" +
                           "-rw-r--r-- 1 ftp ftp 7 Jan 12 1999 " + fits + "\r\n" +
                           "drwxr-xr-x 2 ftp ftp 512 Jan 12 1999 " + folder + "\r\n" +
                           "-rw-r--r-- 1 ftp ftp 3 Jan 12 1999 short.txt\r\n";
  const std::vector<ListingEntry> entries = BuildListing(text);
  ASSERT_EQ(entries.size(), 5u);

  EXPECT_EQ(entries[0].serverName, ascii);
  EXPECT_EQ(std::string(entries[0].name), ascii.substr(0, sizeof(ListingEntry::name) - 1));
  EXPECT_EQ(entries[0].size, 4096);

  // Cut between characters, so that what is shown stays UTF-8.
  EXPECT_EQ(entries[1].serverName, accents);
  EXPECT_EQ(std::string(entries[1].name), accents.substr(0, 58));
  EXPECT_TRUE(IsUtf8(entries[1].name));

  // A name that fits, or a short one, is its own server name.
  EXPECT_EQ(std::string(entries[2].name), fits);
  EXPECT_EQ(entries[2].serverName, "");
  EXPECT_EQ(entries[4].serverName, "");

  EXPECT_TRUE(entries[3].isFolder);
  EXPECT_EQ(entries[3].serverName, folder);
}

// The charset step after the listing: a UTF-8 name cut for its length is not
// read again in another charset, a legacy one is read from its whole bytes.
TEST(BuildListing, CutNamesGoThroughTheCharsetStep) {
  std::string accents;
  for (int i = 0; i < 50; ++i) accents += "\xC3\xA9";
  const std::string legacy(100, '\xE9');  // "é" a byte, in Latin-1
  std::vector<ListingEntry> entries =
      BuildListing("-rw-r--r-- 1 ftp ftp 10 Jan 12 1999 " + accents + "\r\n" +
                   "-rw-r--r-- 1 ftp ftp 10 Jan 12 1999 " + legacy + "\r\n");
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(ConvertNames(entries, "ISO-8859-1"), "ISO-8859-1");
  EXPECT_EQ(std::string(entries[0].name), accents.substr(0, 58));
  EXPECT_EQ(entries[0].serverName, accents);
  EXPECT_EQ(std::string(entries[1].name), accents.substr(0, 58));
  EXPECT_EQ(entries[1].serverName, legacy);

  // Read again in another charset, as the main window does on the user's
  // word: the UTF-8 name still shows as UTF-8.
  entries[0].name[0] = '\xFF';
  entries[0].name[1] = '\0';
  ConvertNames(entries, "CP1251");
  EXPECT_EQ(std::string(entries[0].name), accents.substr(0, 58));
  EXPECT_EQ(entries[0].serverName, accents);
}

}  // namespace

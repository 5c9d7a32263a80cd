#include "index/export_writer.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace qb;

namespace {

TEST(ExportWriter, CsvQuotesOnlyWhatNeedsItAndDefusesFormulas) {
  EXPECT_EQ(CsvField("plain name.txt"), "plain name.txt");
  EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
  EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(CsvField("two\r\nlines"), "\"two\r\nlines\"");
  EXPECT_EQ(CsvField("=HYPERLINK(\"x\")"), "\"'=HYPERLINK(\"\"x\"\")\"");
  EXPECT_EQ(CsvField("-rf"), "'-rf");
  // A tab or carriage return before the formula, and the other separator.
  EXPECT_EQ(CsvField("\t=HYPERLINK(1)"), "\"'\t=HYPERLINK(1)\"");
  EXPECT_EQ(CsvField("\r=1+1"), "\"'\r=1+1\"");
  EXPECT_EQ(CsvField("a;b"), "\"a;b\"");
  EXPECT_EQ(CsvField(""), "");

  std::ostringstream out;
  WriteCsv(out, {{"ftp://a/", "ok", "x,y.zip", 12, "Jan 1", false, "2026-12-09"},
                 {"ftp://a/", "ok", "pub", 0, "", true, ""},
                 {"ftp://b/", "Failed: 530", "", 0, "", false, ""}});
  EXPECT_EQ(out.str(),
            "site,status,name,type,size,date,explored,url\r\n"
            "ftp://a/,ok,\"x,y.zip\",file,12,Jan 1,2026-12-09,\"ftp://a/x,y.zip\"\r\n"
            "ftp://a/,ok,pub,folder,,,,ftp://a/pub/\r\n"
            "ftp://b/,Failed: 530,,,,,,ftp://b/\r\n");
}

// The url column is the file's address as another program must be given it;
// only FTP sites have one.
TEST(ExportWriter, CsvUrlColumnIsTheEscapedAddressOfEachFile) {
  std::ostringstream out;
  WriteCsv(out, {{"ftp://h.example/old music/", "ok",
                  "a b%c?d#e\x01"
                  "f.mp3",
                  1, "", false, ""},
                 {"ftp://h.example/pub/", "ok", "caf\xc3\xa9", 0, "", true, ""},
                 {"javascript:alert(1)//", "ok", "evil", 1, "", false, ""}});
  std::istringstream lines(out.str());
  std::vector<std::string> urls;
  for (std::string line; std::getline(lines, line);)
    urls.push_back(line.substr(line.rfind(',') + 1));
  ASSERT_EQ(urls.size(), 4u);
  EXPECT_EQ(urls[0], "url\r");
  EXPECT_EQ(urls[1], "ftp://h.example/old%20music/a%20b%25c%3Fd%23e%01f.mp3\r");
  EXPECT_EQ(urls[2], "ftp://h.example/pub/caf%C3%A9/\r");
  EXPECT_EQ(urls[3], "\r");
}

TEST(ExportWriter, HtmlEscapesNamesAndLinksOnlyFtpAddresses) {
  EXPECT_EQ(HtmlEscape("<a href='x'>&\"\x01"), "&lt;a href=&#39;x&#39;&gt;&amp;&quot; ");
  EXPECT_EQ(EntryUrl("ftp://h/pub", "a b#?.txt", false), "ftp://h/pub/a%20b%23%3F.txt");
  EXPECT_EQ(EntryUrl("ftp://h/", "sub", true), "ftp://h/sub/");

  std::ostringstream out;
  WriteHtml(out, "Results <gcc>",
            {{"ftp://h/", "ok", "<script>alert(1)</script>\"", 5, "", false, ""},
             {"javascript:alert(1)//", "ok", "evil", 1, "", false, ""}});
  const std::string page = out.str();
  EXPECT_EQ(page.find("<script"), std::string::npos);
  EXPECT_NE(page.find("<title>Results &lt;gcc&gt;</title>"), std::string::npos);
  EXPECT_NE(page.find("href=\"ftp://h/%3Cscript%3Ealert(1)%3C%2Fscript%3E%22\""),
            std::string::npos);
  EXPECT_EQ(page.find("href=\"javascript"), std::string::npos);
  EXPECT_NE(page.find("<td>javascript:alert(1)//</td>"), std::string::npos);
}

// Site URLs are kept decoded: the CSV and the links get them escaped, the page
// shows them as they are.
TEST(ExportWriter, SiteFoldersAreEscapedInCsvAndLinks) {
  EXPECT_EQ(EntryUrl("ftp://h/old music", "x.mp3", false), "ftp://h/old%20music/x.mp3");
  EXPECT_EQ(EntryUrl("ftp://h/a#b?/", "c@d:e", true), "ftp://h/a%23b%3F/c%40d%3Ae/");

  std::ostringstream csv;
  WriteCsv(csv, {{"ftp://h/old music/", "ok", "x 1.mp3", 3, "", false, ""}});
  EXPECT_EQ(csv.str(),
            "site,status,name,type,size,date,explored,url\r\n"
            "ftp://h/old%20music/,ok,x 1.mp3,file,3,,,ftp://h/old%20music/x%201.mp3\r\n");

  std::ostringstream page;
  WriteHtml(page, "t", {{"ftp://h/old music/", "ok", "x 1.mp3", 3, "", false, ""}});
  const std::string html = page.str();
  EXPECT_NE(html.find("<a href=\"ftp://h/old%20music/\">ftp://h/old music/</a>"), std::string::npos)
      << html;
  EXPECT_NE(html.find("<a href=\"ftp://h/old%20music/x%201.mp3\">x 1.mp3</a>"), std::string::npos)
      << html;
}

}  // namespace

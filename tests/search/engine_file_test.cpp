// Engines as data: the engine file, requests from templates, and the generic rule.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/site_table.h"
#include "search/engine.h"
#include "search/engine_file.h"

using namespace qb;

namespace {

bool AnyHas(const std::vector<std::string>& lines, const std::string& a, const std::string& b) {
  for (const std::string& line : lines)
    if (line.find(a) != std::string::npos && line.find(b) != std::string::npos) return true;
  return false;
}

std::vector<std::string> Names(const std::vector<EngineDef>& engines) {
  std::vector<std::string> names;
  for (const EngineDef& e : engines) names.push_back(e.name);
  return names;
}

struct Scanned {
  ScanResult result;
  std::vector<std::string> urls;
};

Scanned Scan(const EngineDef& engine, std::string page) {
  Scanned out;
  out.result =
      ScanEnginePage(engine, page.data(), [&](std::string& url) { out.urls.push_back(url); });
  return out;
}

EngineDef Generic() {
  EngineDef e;
  e.name = "g";
  e.url = "https://x/?q={term}";
  return e;
}

}  // namespace

TEST(EngineFile, BuiltinsSurviveTheFileAndASectionChangesOnlyWhatItNames) {
  const EngineFile again = ParseEngineFile(EngineFileText(BuiltinEngines()));
  EXPECT_TRUE(again.problems.empty());
  EXPECT_EQ(again.engines, BuiltinEngines());

  const EngineFile file = ParseEngineFile(
      "[FormEngine]\nEnabled=0\n\n[Mine]\nUrl=https://m.example/s?q={term}&o={page}\n"
      "PageStep=25\nPageLimit=3\nRule=generic\nNoMore=\"  No more \"\n");
  EXPECT_TRUE(file.problems.empty());
  ASSERT_EQ(Names(file.engines), (std::vector<std::string>{"FormEngine", "Mine"}));
  EngineDef form = BuiltinEngines()[2];
  form.enabled = false;
  EXPECT_EQ(file.engines[0], form);
  const EngineDef& mine = file.engines[1];
  EXPECT_EQ(mine.rule, ResultRule::Generic);
  EXPECT_EQ(EngineRequestFor(mine, "", "a+b", 50).url, "https://m.example/s?q=a+b&o=50");
  EXPECT_EQ(mine.noMore, "  No more ");
  EXPECT_EQ(ParseEngineFile(EngineFileText(file.engines)).engines, file.engines);
}

TEST(EngineFile, EachFaultNamesItsEngineAndLineAndSparesTheOthers) {
  const EngineFile file = ParseEngineFile(
      "[NoTerm]\n"                          // 1
      "Url=https://a/?p={page}\n"           // 2
      "[Typo]\n"                            // 3
      "Url=https://b/?q={term}\n"           // 4
      "PageStpe=3\n"                        // 5
      "[Odd]\n"                             // 6
      "Url=https://c/?q={term}&x={what}\n"  // 7
      "[BadNumber]\n"                       // 8
      "Url=https://d/?q={term}\n"           // 9
      "FirstPage=ten\n"                     // 10
      "[typo]\n"                            // 11
      "Url=https://e/?q={term}\n"           // 12
      "[Post]\n"                            // 13
      "Url=http://f/api\nMethod=POST\n"     // 14, 15
      "Body={\"q\":\"{jsonterm}\"}\n"       // 16
      "[Ftp]\nUrl=ftp://g/{term}\n"         // 17, 18
      "[Still]\nUrl=https://h/?q={term}\nPageStep=0\n");
  EXPECT_EQ(Names(file.engines), (std::vector<std::string>{"Typo", "Post"}));
  EXPECT_TRUE(AnyHas(file.problems, "\"NoTerm\" (line 1)", "{term}"));
  EXPECT_TRUE(AnyHas(file.problems, "\"Typo\" (line 5)", "unknown key \"PageStpe\" ignored"));
  EXPECT_TRUE(AnyHas(file.problems, "\"Odd\" (line 6)", "{what}"));
  EXPECT_TRUE(AnyHas(file.problems, "\"BadNumber\" (line 10)", "FirstPage is \"ten\""));
  EXPECT_TRUE(AnyHas(file.problems, "\"typo\" (line 11)", "comes earlier"));
  EXPECT_TRUE(AnyHas(file.problems, "\"Ftp\"", "http:// or https://"));
  EXPECT_TRUE(AnyHas(file.problems, "\"Still\"", "PageStep"));
  EXPECT_EQ(file.problems.size(), 7u);

  const EngineRequest post = EngineRequestFor(file.engines[1], "", "say+%22hi%22", 0);
  EXPECT_TRUE(post.post);
  EXPECT_EQ(post.body, "{\"q\":\"say \\\"hi\\\"\"}");
  EXPECT_EQ(post.contentType, "application/x-www-form-urlencoded");

  std::string many;
  for (int i = 0; i <= MaxEngines; ++i)
    many += "[E" + std::to_string(i) + "]\nUrl=https://x/{term}\n";
  const EngineFile capped = ParseEngineFile(many);
  EXPECT_EQ(capped.engines.size(), static_cast<std::size_t>(MaxEngines));
  EXPECT_TRUE(AnyHas(capped.problems, "E32", "at most"));
}

TEST(EngineFile, MissingMeansBuiltinsAndAnOversizedFileIsRefusedWhole) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("qb-engines-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / EngineFileName).string();
  EXPECT_EQ(ReadEngineFile(path).engines, BuiltinEngines());

  ASSERT_TRUE(WriteEngineFile(path, {Generic()}));
  EXPECT_EQ(ReadEngineFile(path).engines, std::vector<EngineDef>{Generic()});

  std::ofstream(path) << std::string(MaxEngineFileBytes + 1, ';');
  const EngineFile big = ReadEngineFile(path);
  EXPECT_FALSE(big.readable);
  EXPECT_TRUE(big.engines.empty());
  EXPECT_TRUE(AnyHas(big.problems, path, "larger than"));
  std::filesystem::remove_all(dir);
}

TEST(GenericRule, FindsFtpUrlsInAttributesTextAndJson) {
  const Scanned page =
      Scan(Generic(),
           "<tr><td><a href=\"ftp://a.example/pub/x.iso\">x</a></td>"
           "<td>see FTP://B.example/dir/, or ftp://c.example/a%20b/f.txt.</td>"
           "<td>sftp://no.example/ xftp://no.example/ ftp:// ftp:///nohost/</td>"
           "<td data-u='ftp://d.example/q&amp;r/s'></td></tr>\n"
           "{\"u\":\"ftp:\\/\\/e.example\\/caf\\u00e9\\/\"}\nftp://f.example/\ttail");
  EXPECT_EQ(page.urls,
            (std::vector<std::string>{"ftp://a.example/pub/", "ftp://B.example/dir/",
                                      "ftp://c.example/a b/", "ftp://d.example/q&r/",
                                      "ftp://e.example/caf\xC3\xA9/", "ftp://f.example/"}));
  EXPECT_EQ(page.result.results, 8);  // the two without a host are counted, not taken

  const std::string longUrl = "ftp://l.example/" + std::string(SiteUrlSize, 'x') + "/";
  EXPECT_TRUE(Scan(Generic(), longUrl).urls.empty());
  EXPECT_EQ(Scan(Generic(), longUrl).result.results, 1);
}

TEST(GenericRule, MarkersBoundTheScanAndNoMoreEndsThePaging) {
  EngineDef bounded = Generic();
  bounded.begin = "<ol>";
  bounded.end = "</ol>";
  bounded.noMore = "Last page";
  const Scanned inside =
      Scan(bounded, "ftp://ad.example/ <ol><li>ftp://in.example/</li></ol> ftp://footer.example/");
  EXPECT_EQ(inside.urls, std::vector<std::string>{"ftp://in.example/"});
  EXPECT_FALSE(inside.result.noMore);
  EXPECT_TRUE(Scan(bounded, "<ol>ftp://z.example/</ol> Last page").result.noMore);
  // No begin marker: nothing of the page is a result.
  EXPECT_EQ(Scan(bounded, "ftp://ad.example/").result.results, 0);
}

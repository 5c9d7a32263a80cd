// Engines as data: the engine file, requests from templates, and the generic rule.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/site_table.h"
#include "search/engine.h"
#include "search/engine_file.h"
#include "search/engine_pages.h"
#include "tests/search/scanned_page.h"

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

using qbtest::Scanned;

Scanned Scan(const EngineDef& engine, std::string page) {
  return qbtest::ScanPage(engine, std::move(page));
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

TEST(EngineFile, JsonSourcesKeysCursorsAndSiteListsAreReadWrittenAndChecked) {
  const EngineFile file = ParseEngineFile(
      "[Devices]\nUrl=https://api.example/search?key={key}&query={term}&page={page}\n"
      "Rule=json\nItems=matches\nSite=ftp://{ip_str}:{port}/\nHeader=X-Api-Key: {key}\n"
      "[Cursor]\nUrl=https://c.example/?q={term}&next={cursor}\nRule=Json\n"
      "Items=result.hits\nSite={ip}\nNextFrom=result.links.next\nAuth=basic\n"
      "[Mirrors]\nKind=SiteList\nUrl=https://m.example/mirrors.html\n");
  EXPECT_TRUE(file.problems.empty()) << (file.problems.empty() ? "" : file.problems[0]);
  ASSERT_EQ(Names(file.engines), (std::vector<std::string>{"Devices", "Cursor", "Mirrors"}));
  EXPECT_EQ(ParseEngineFile(EngineFileText(file.engines)).engines, file.engines);
  const EngineDef& devices = file.engines[0];
  EXPECT_EQ(devices.rule, ResultRule::Json);
  EXPECT_EQ(devices.site, "ftp://{ip_str}:{port}/");
  EXPECT_EQ(file.engines[1].auth, EngineAuth::Basic);
  EXPECT_EQ(file.engines[2].kind, EngineKind::SiteList);
  EXPECT_TRUE(EngineNeedsKey(devices));
  EXPECT_TRUE(EngineNeedsKey(file.engines[1]));
  EXPECT_FALSE(EngineNeedsKey(file.engines[2]));
  const KeyLookup keys = [](const std::string& name) -> std::optional<std::string> {
    if (name == "Devices") return "k";
    return std::nullopt;
  };
  EXPECT_EQ(EngineCannotAnswer(devices, keys), "");
  EXPECT_EQ(EngineCannotAnswer(devices, nullptr), "no key");
  EXPECT_EQ(EngineCannotAnswer(file.engines[1], keys), "no key");
  EXPECT_EQ(EngineCannotAnswer(file.engines[2], nullptr), "");
  EngineDef hostless = file.engines[2];
  hostless.url = "https://{host}/list";
  EXPECT_EQ(EngineCannotAnswer(hostless, keys), "no host");
  // Names under .invalid never resolve: the built-in engines' stand-in hosts.
  for (const char* host : {"files.invalid", "FILES.INVALID.", "x.invalid:8080", "invalid"})
    EXPECT_FALSE(HostCanAnswer(host)) << host;
  for (const char* host : {"api.example", "127.0.0.1:8443", "[::1]:8443", "invalid.example"})
    EXPECT_TRUE(HostCanAnswer(host)) << host;

  // The key goes escaped into the URL, as it is into the header; the cursor likewise.
  const EngineRequest r = EngineRequestFor(devices, "", "a+b", 2, "k&y=1");
  EXPECT_EQ(r.url, "https://api.example/search?key=k%26y%3D1&query=a+b&page=2");
  EXPECT_EQ(r.header, "X-Api-Key: k&y=1");
  EXPECT_TRUE(r.basicAuth.empty());
  const EngineRequest c = EngineRequestFor(file.engines[1], "", "x", 0, "u:s", "ab/c");
  EXPECT_EQ(c.url, "https://c.example/?q=x&next=ab%2Fc");
  EXPECT_EQ(c.basicAuth, "u:s");

  const EngineFile bad = ParseEngineFile(
      "[K]\nUrl=https://a/?q={term}\nKind=Other\n"
      "[A]\nUrl=https://a/?q={term}\nAuth=digest\n"
      "[NoSite]\nUrl=https://a/?q={term}\nRule=Json\n"
      "[Path]\nUrl=https://a/?q={term}&c={cursor}\nRule=Json\nSite={u}\nNextFrom=a..b\n"
      "[NoCursor]\nUrl=https://a/?q={term}\nRule=Json\nSite={u}\nNextFrom=next\n"
      "[Stray]\nUrl=https://a/?q={term}&c={cursor}\n"
      "[NotJson]\nUrl=https://a/?q={term}\nItems=hits\n"
      "[Head]\nUrl=https://a/?q={term}\nHeader=no colon here\n"
      "[SearchNoTerm]\nKind=Search\nUrl=https://a/list\n");
  EXPECT_TRUE(bad.engines.empty());
  EXPECT_TRUE(AnyHas(bad.problems, "\"K\"", "Kind is \"Other\""));
  EXPECT_TRUE(AnyHas(bad.problems, "\"A\"", "Auth is \"digest\""));
  EXPECT_TRUE(AnyHas(bad.problems, "\"NoSite\"", "Site is empty"));
  EXPECT_TRUE(AnyHas(bad.problems, "\"Path\"", "NextFrom is \"a..b\""));
  EXPECT_TRUE(AnyHas(bad.problems, "\"NoCursor\"", "{cursor}"));
  EXPECT_TRUE(AnyHas(bad.problems, "\"Stray\"", "NextFrom is empty"));
  EXPECT_TRUE(AnyHas(bad.problems, "\"NotJson\"", "need Rule=Json"));
  EXPECT_TRUE(AnyHas(bad.problems, "\"Head\"", "Header"));
  EXPECT_TRUE(AnyHas(bad.problems, "\"SearchNoTerm\"", "{term}"));
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

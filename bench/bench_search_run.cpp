#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/settings.h"
#include "core/site_table.h"
#include "search/engine.h"
#include "search/search_run.h"
#include "search/search_view.h"
#include "tests/support/http_test_server.h"

using namespace qb;

namespace {

// A dialog that ticks every box and answers every question with Yes.
class TickedView : public SearchView {
 public:
  void SetNumber(int, int) override {}
  void ClearText(int) override {}
  void AddFound(int, const std::string&) override {}
  void ShowMark(int) override {}
  bool IsChecked(int id) override { return id != AutoContinueBox; }
  std::string ReadTerm(int) override { return "zevo"; }
  bool Message(int, const char*, MessageStyle) override { return true; }
  void PlayAnimation() override {}
  void StopAnimation() override {}
  void PostOk() override {}
};

// Result links in the form the anchor engine reads; every engine gets them in its
// own form from the same list.
std::string Page(int engine, int first, int count) {
  std::string page = "<html><body>";
  for (int i = first; i < first + count; ++i) {
    const std::string text =
        "127.0.0.9/e" + std::to_string(engine) + "/d" + std::to_string(i) + "/file.zip";
    switch (engine) {
      case 0:
        page += "<a href=\"ftp://" + text + "\">x</a>\n";
        break;
      case 1:
        page += "<td class=ls><a href=/d?q=" + text + " class=d>x</a>\n";
        break;
      case 2:
        page += "<A HREF=\"ftp://" + text + "\">x</A>\n";
        break;
      case 3:
        page += "<a href=\"/b?f=d;oquery=" + text + "\">x</a>\n";
        break;
      default:
        page += "<a href=\"/get?path=" + text + "&v=1\"><img src=/file.gif></a>\n";
    }
  }
  return page + "</body></html>";
}

// One whole run over loopback: five engines, each `pages` full pages and an
// empty one, every result a new site.
void BM_SearchRun(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  qbtest::HttpTestServer server;
  server.SetFallback(qbtest::HttpReply::Page("<html><body>none</body></html>"));
  char pattern[] = "/tmp/qb_bench_run_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  ExeDir = dir + "/";
  std::ofstream ini(ExeDir + SettingsFileName);
  ini << "[Hosts]\n";
  for (int e = 0; e < EngineCount; ++e) {
    ini << BuiltinEngines()[e].name << "=" << server.HostPort() << "\n";
    const int step = BuiltinEngines()[e].pageStep;
    for (int p = 0; p < pages; ++p) {
      const int value = BuiltinEngines()[e].firstPage + p * step;
      const std::string target =
          EngineRequestFor(BuiltinEngines()[e], "h", "zevo", value).url.substr(8);
      server.Serve(target, qbtest::HttpReply::Page(Page(e, p * step, step)));
    }
  }
  ini.close();
  SetSearchDialog(std::make_shared<TickedView>());
  for (auto _ : state) {
    ClearSites();
    Settings.EnginePause = 0;  // one local server stands for every engine host
    SearchRunning = true;
    RunSearch();
  }
  state.counters["sites"] = SiteTable.count.load();
  state.counters["pages"] = EngineCount * (pages + 1);
  SetSearchDialog(nullptr);
  SearchRunning = false;
  ClearSites();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SearchRun)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PrepareQuery(benchmark::State& state) {
  const std::string term(TermMaxChars, '\xE9');
  for (auto _ : state) benchmark::DoNotOptimize(PrepareQuery(term));
}
BENCHMARK(BM_PrepareQuery);

}  // namespace

#include <benchmark/benchmark.h>

#include <string>

#include "search/engine.h"
#include "search/search_view.h"

using namespace qb;

namespace {

std::string Row(int engine, int i) {
  const std::string text = "ftp" + std::to_string(i % 50) + ".example.test/pub/d" +
                           std::to_string(i) + "/file%20" + std::to_string(i) + ".zip";
  switch (engine) {
    case 0:
      return "<li><a href=\"ftp://" + text + "\">" + text + "</a></li>";
    case 1:
      return "<tr><td class=ls><a href=/cgi-bin/d?q=" + text + " class=dir>x</a></td></tr>";
    case 2:
      return "<TR><TD><A HREF=\"ftp://" + text + "\">x</A></TD></TR>";
    case 3:
      return "<tr><td><a href=\"/swadv/B.asp?form=dir;oquery=" + text + "\">x</a></td></tr>";
    case EngineCount:  // the generic rule: a link, text and a JSON string per row
      return "<tr><td><a href=\"ftp://" + text + "\">ftp://" + text +
             "</a></td><td>{\"u\":\"ftp:\\/\\/" + text + "\"}</td></tr>";
    default:
      return "<li><a href=\"/get?path=" + text + "&v=1\"><img src=/img/" +
             (i % 3 ? "file" : "folder") + ".gif></a></li>";
  }
}

// A result page as large as the fetcher returns (about 99 KB), scanned whole;
// the last engine number is a definition with the generic rule.
void BM_ScanResultPage(benchmark::State& state) {
  const int engine = static_cast<int>(state.range(0));
  EngineDef generic;
  generic.name = "Generic";
  const EngineDef& def = engine < EngineCount ? BuiltinEngines()[engine] : generic;
  std::string page = "<html><body>";
  for (int i = 0; page.size() < 99000; ++i) page += Row(engine, i);
  page.resize(99000);
  page += "</body></html>";
  std::string work;
  int results = 0;
  for (auto _ : state) {
    work = page;
    int taken = 0;
    results = ScanEnginePage(def, work.data(), [&](std::string&) { ++taken; }).results;
    benchmark::DoNotOptimize(taken);
  }
  state.SetLabel(def.name);
  state.counters["results"] = results;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_ScanResultPage)->DenseRange(0, EngineCount)->Unit(benchmark::kMicrosecond);

}  // namespace

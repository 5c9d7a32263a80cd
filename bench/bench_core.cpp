#include <benchmark/benchmark.h>

#include <string>

#include "core/site_table.h"
#include "core/text_helpers.h"

using namespace qb;

namespace {

// Fills the table to capacity with the engines' rule; every add compares with all
// known sites, so the last adds are the slowest.
void BM_AddUniqueSiteToCapacity(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    ResetSites();
    state.ResumeTiming();
    for (int i = 0; i < SiteCapacity; ++i) {
      std::string url = "ftp://ftp" + std::to_string(i % 97) + ".example.test/pub/dir" +
                        std::to_string(i) + "/sub";
      bool added = false;
      AddUniqueSite(url, added, true);
    }
    // A rejected URL below a known one, at a full table.
    std::string below = "ftp://ftp3.example.test/pub/dir3/sub/deeper/";
    bool added = true;
    AddUniqueSite(below, added, true);
    benchmark::DoNotOptimize(added);
  }
  state.counters["sites"] = SiteTable.count.load();
  ResetSites();
}
BENCHMARK(BM_AddUniqueSiteToCapacity)->Unit(benchmark::kMillisecond);

void BM_PercentDecode(benchmark::State& state) {
  std::string encoded;
  while (encoded.size() < static_cast<std::size_t>(state.range(0))) {
    encoded += "ftp://h/pub%20files/%e9t%C3%A9/100%/%00x/";
  }
  std::string work;
  for (auto _ : state) {
    work = encoded;
    benchmark::DoNotOptimize(PercentDecode(work.data()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(encoded.size()));
}
BENCHMARK(BM_PercentDecode)->Arg(449)->Arg(100000);

}  // namespace

#include <benchmark/benchmark.h>

#include <string>

#include "core/site_table.h"
#include "explore/exploration_scheduler.h"
#include "net/explore_site.h"
#include "net/listing_parser.h"

using namespace qb;

namespace {

std::string FullListing() {
  std::string text;
  const char* lines[] = {
      "-rw-r--r--   1 ftp      ftp        123456 Jan 12 10:30 some-file-name.tar.gz\r\n",
      "drwxr-xr-x   2 ftp      ftp          4096 Jan 12  1999 a-folder\r\n",
      "lrwxrwxrwx   1 ftp      ftp            40 Jan 12 10:30 link -> the/long/target/path\r\n",
      "-rw-r--r--   1 1001     100         98765 Mar  5  2001 numeric owner.zip\r\n",
  };
  for (int i = 0; text.size() < ListingCapacity; ++i) text += lines[i % 4];
  return text.substr(0, ListingCapacity);
}

void BM_ParseFullListing(benchmark::State& state) {
  const std::string listing = FullListing();
  int64_t named = 0;
  for (auto _ : state) {
    ForEachCompleteLine(listing, [&](const char* line) {
      ListingLine parsed;
      FilterListingLine(line, parsed);
      named += parsed.name[0] != 0;
    });
  }
  benchmark::DoNotOptimize(named);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(listing.size()));
}
BENCHMARK(BM_ParseFullListing)->Unit(benchmark::kMicrosecond);

// A full table where every waiting site shares its server with the one being
// explored, so the start step walks all entries and starts none.
void BM_SchedulerTickFullTable(benchmark::State& state) {
  ResetSites();
  for (int i = 0; i < SiteCapacity; ++i) {
    std::string url = "ftp://one.server.example/folder" + std::to_string(i) + "/";
    bool added = false;
    AddUniqueSite(url, added, false);
  }
  SiteAt(0)->status = Exploring;
  ExplorationLimit = 8;
  ActiveSessions = 0;
  ExplorationScheduler scheduler(CurrentExplorationRun());
  for (auto _ : state) benchmark::DoNotOptimize(scheduler.Tick());
  ResetSites();
}
BENCHMARK(BM_SchedulerTickFullTable)->Unit(benchmark::kMicrosecond);

}  // namespace

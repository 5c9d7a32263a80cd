// What a site costs over a network with a given round trip, in both data
// modes, against the ideal of one round trip per command; and how many sites
// a whole exploration gets through per second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "bench/delayed_ftp_server.h"
#include "core/settings.h"
#include "core/site_table.h"
#include "explore/exploration_scheduler.h"
#include "net/explore_site.h"
#include "tests/support/wait.h"

using namespace qb;

namespace {

void SetMode(const benchmark::State& state) {
  Settings.DataMode = state.range(0) == 0 ? FtpDataMode::Passive : FtpDataMode::Active;
  Settings.HttpTimeOut = 10;
  Settings.NbRetry = 1;
  Settings.VerifyTimeOut = 0;
}

// One site's whole dialogue; counters: commands per site and the budget
// 1.3 x commands x D + 50 ms it must stay within.
void BM_SiteOverDelay(benchmark::State& state) {
  SetMode(state);
  const auto delay = std::chrono::milliseconds(state.range(1));
  qbbench::DelayedFtpServer server(1, delay);
  if (!server.Ok()) {
    state.SkipWithError("server did not start");
    return;
  }
  bool allOk = true;
  for (auto _ : state) {
    SiteEntry entry(server.Url(0));
    SiteAttempt attempt;
    allOk &= ExploreSite(entry.url, entry, attempt).has_value() && attempt.success;
    entry.ReleaseSocket(attempt.controlFd);
  }
  if (!allOk) state.SkipWithError("a site was not explored Ok");
  const double commands =
      static_cast<double>(server.Commands()) / static_cast<double>(state.iterations());
  state.counters["commands"] = commands;
  state.counters["budget_ms"] = 1.3 * commands * static_cast<double>(delay.count()) + 50;
}
BENCHMARK(BM_SiteOverDelay)
    ->ArgNames({"active", "D_ms"})
    ->ArgsProduct({{0, 1}, {0, 25, 100}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

// 200 sites, each its own server, with 8 sessions: sites per second.
void BM_TwoHundredSites(benchmark::State& state) {
  SetMode(state);
  constexpr int Sites = 200;
  qbbench::DelayedFtpServer server(Sites, std::chrono::milliseconds(state.range(1)));
  if (!server.Ok()) {
    state.SkipWithError("server did not start");
    return;
  }
  int ok = 0;
  for (auto _ : state) {
    ResetSites();
    bool added = false;
    for (int i = 0; i < Sites; ++i) {
      std::string url = server.Url(i);
      AddUniqueSite(url, added, true);
    }
    Settings.MinConnect = 8;
    StartExplorationScheduler();
    if (!qbtest::WaitUntil([] { return FinishedWorkers >= Sites; }, std::chrono::minutes(5))) {
      state.SkipWithError("the sites were not all explored");
      break;
    }
    ok = 0;
    for (int i = 0; i < Sites; ++i) ok += SiteAt(i)->status == Ok;
    state.PauseTiming();
    ResetSites();
    qbtest::WaitUntil([] { return LiveSchedulers() == 0; }, std::chrono::minutes(1));
    state.ResumeTiming();
  }
  state.counters["sites_per_s"] =
      benchmark::Counter(static_cast<double>(Sites) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  state.counters["ok"] = ok;
}
BENCHMARK(BM_TwoHundredSites)
    ->ArgNames({"active", "D_ms"})
    ->ArgsProduct({{0, 1}, {0, 25}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

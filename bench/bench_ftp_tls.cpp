// What TLS adds to one site over a network with a 10 ms round trip, against
// one round trip per command plus one for the handshake; and the same site
// read by curl (its listing, then the tested file's last byte) over the same
// server, so that the dialogue's cost is seen beside another client's.
#include <benchmark/benchmark.h>
#include <chrono>
#include <string>
#include <vector>

#include "bench/delayed_ftp_server.h"
#include "bench/run_curl.h"
#include "core/settings.h"
#include "core/site_table.h"
#include "net/explore_site.h"

using qb::ExploreSite;
using qb::FtpDataMode;
using qb::Settings;
using qb::SiteAttempt;
using qb::SiteEntry;
using qb::SiteTls;
using qb::TlsMode;
using qbbench::RunCurl;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Rounds = 10;
// The listing's largest file, which the exploration fetches one byte of.
const std::string Largest = "big.bin";
const std::string LastByte = "199999-199999";

void Configure(bool tls) {
  Settings.DataMode = FtpDataMode::Passive;
  Settings.Tls = tls ? TlsMode::Required : TlsMode::Never;
  Settings.HttpTimeOut = 10;
  Settings.NbRetry = 1;
  Settings.VerifyTimeOut = 0;
}

// One exploration of the server's site: its duration in ms, or a negative
// number when it did not end Ok (or not over TLS when asked).
double ExploreOnce(const qbbench::DelayedFtpServer& server, bool tls) {
  SiteEntry entry(server.Url(0));
  SiteAttempt attempt;
  const auto start = Clock::now();
  const bool ok = ExploreSite(entry.url, entry, attempt).has_value() && attempt.success;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  entry.ReleaseSocket(attempt.controlFd);
  const bool secured = entry.tls != SiteTls::None;
  return ok && secured == tls ? ms : -1;
}

// curl reading what the exploration reads: the listing, then the largest
// file's last byte; in one process (one session, as the exploration's), or
// in two.
int CurlSite(const std::string& url, bool tls, bool oneProcess) {
  std::vector<std::string> listing = {"-s", "-o", "/dev/null"};
  std::vector<std::string> fetch = {"-s", "-o", "/dev/null", "-r", LastByte};
  if (tls)
    for (auto* args : {&listing, &fetch}) args->insert(args->begin(), {"--ssl-reqd", "-k"});
  listing.push_back(url);
  fetch.push_back(url + Largest);
  if (!oneProcess) {
    const int status = RunCurl(listing);
    return status != 0 ? status : RunCurl(fetch);
  }
  listing.emplace_back("--next");
  listing.insert(listing.end(), fetch.begin(), fetch.end());
  return RunCurl(listing);
}

// One site's whole dialogue. Counters: commands per site, the bound
// 1.3 x commands x D + one handshake (one round trip in TLS 1.3), and per
// site the data connections that sent a hello, that offered the control
// connection's session, that finished the handshake and that resumed (the
// tested download's connection is closed before its handshake ends).
void BM_SiteOverTls(benchmark::State& state) {
  const bool tls = state.range(0) != 0;
  const auto delay = std::chrono::milliseconds(state.range(1));
  Configure(tls);
  qbbench::DelayedFtpServer server(1, delay, tls);
  if (!server.Ok()) {
    state.SkipWithError("server did not start");
    return;
  }
  // The client's TLS context is made once per process: not a site's cost.
  if (ExploreOnce(server, tls) < 0) {
    state.SkipWithError("the site was not explored Ok");
    return;
  }
  const int64_t commands0 = server.Commands();
  const int64_t hellos0 = server.DataHellos();
  const int64_t offered0 = server.DataOffered();
  const int64_t shaken0 = server.DataHandshakes();
  const int64_t resumed0 = server.DataResumed();
  bool allOk = true;
  for (auto _ : state)  // NOLINT(clang-analyzer-deadcode.DeadStores)
    allOk &= ExploreOnce(server, tls) >= 0;
  if (!allOk) state.SkipWithError("a site was not explored Ok");
  const double n = static_cast<double>(state.iterations());
  const double commands = static_cast<double>(server.Commands() - commands0) / n;
  const double d = static_cast<double>(delay.count());
  state.counters["commands"] = commands;
  state.counters["bound_ms"] = 1.3 * commands * d + (tls ? d : 0);
  state.counters["data_hellos"] = static_cast<double>(server.DataHellos() - hellos0) / n;
  state.counters["data_offered"] = static_cast<double>(server.DataOffered() - offered0) / n;
  state.counters["data_tls"] = static_cast<double>(server.DataHandshakes() - shaken0) / n;
  state.counters["data_resumed"] = static_cast<double>(server.DataResumed() - resumed0) / n;
}
BENCHMARK(BM_SiteOverTls)
    ->ArgNames({"tls", "D_ms"})
    ->ArgsProduct({{0, 1}, {10}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(Rounds);

// curl over the same server; counters: curl's commands, sessions and data
// connections secured and resumed per site, the exploration's time measured
// beside it, ours / curl, and what starting curl alone costs (curl -V).
void BM_CurlSameSite(benchmark::State& state) {
  const bool tls = state.range(0) != 0;
  const bool oneProcess = state.range(1) == 1;
  const auto delay = std::chrono::milliseconds(state.range(2));
  if (RunCurl({"-V"}) != 0) {
    state.SkipWithError("curl not found");
    return;
  }
  Configure(tls);
  qbbench::DelayedFtpServer server(1, delay, tls);
  if (!server.Ok()) {
    state.SkipWithError("server did not start");
    return;
  }
  const std::string url = server.Url(0);
  if (CurlSite(url, tls, oneProcess) != 0) {
    state.SkipWithError("curl did not read the site");
    return;
  }
  const int64_t commands0 = server.Commands();
  const int64_t sessions0 = server.Sessions();
  const int64_t shaken0 = server.DataHandshakes();
  const int64_t resumed0 = server.DataResumed();
  bool allOk = true;
  double curlMs = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    const auto start = Clock::now();
    allOk &= CurlSite(url, tls, oneProcess) == 0;
    curlMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }
  if (!allOk) {
    state.SkipWithError("curl failed on the site");
    return;
  }
  const double n = static_cast<double>(state.iterations());
  const double commands = static_cast<double>(server.Commands() - commands0) / n;
  const double sessions = static_cast<double>(server.Sessions() - sessions0) / n;
  const double shaken = static_cast<double>(server.DataHandshakes() - shaken0) / n;
  const double resumed = static_cast<double>(server.DataResumed() - resumed0) / n;
  curlMs /= n;

  ExploreOnce(server, tls);
  double oursMs = 0;
  for (int i = 0; i < Rounds; ++i) {
    const double ms = ExploreOnce(server, tls);
    if (ms < 0) {
      state.SkipWithError("the site was not explored Ok");
      return;
    }
    oursMs += ms;
  }
  oursMs /= Rounds;

  double startMs = 0;
  for (int i = 0; i < Rounds; ++i) {
    const auto start = Clock::now();
    RunCurl({"-V"});
    startMs += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }
  startMs /= Rounds;

  state.counters["curl_commands"] = commands;
  state.counters["curl_sessions"] = sessions;
  state.counters["curl_data_tls"] = shaken;
  state.counters["curl_data_resumed"] = resumed;
  state.counters["curl_start_ms"] = startMs;
  state.counters["ours_ms"] = oursMs;
  state.counters["ours_per_curl"] = oursMs / curlMs;
}
BENCHMARK(BM_CurlSameSite)
    ->ArgNames({"tls", "one_process", "D_ms"})
    ->ArgsProduct({{0, 1}, {1, 0}, {10}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(Rounds);

}  // namespace

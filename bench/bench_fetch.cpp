// Fetching files. A 1 GiB file (sparse on the server's side) from vsftpd on
// loopback, by FetchFile and by curl in the same run, into a folder on disk
// and into one in memory, against our speed at 80 % of curl's at least; and
// the first byte of a RETR on an open session at a 50 ms round trip, against
// 4 round trips.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "bench/delayed_ftp_server.h"
#include "bench/run_curl.h"
#include "core/settings.h"
#include "net/ftp_session.h"
#include "net/ftp_url.h"
#include "tests/support/pyftpd_fixture.h"
#include "tests/support/real_ftpd.h"
#include "transfer/file_fetch.h"

using qb::FetchFile;
using qb::FetchOutcome;
using qb::FetchRequest;
using qb::FetchResult;
using qb::FtpReply;
using qb::FtpSession;
using qb::FtpUrlParts;
using qb::Settings;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uintmax_t BigSize = std::uintmax_t{1} << 30;
constexpr int Rounds = 4;

void Configure() {
  Settings.DataMode = qb::FtpDataMode::Passive;
  Settings.Tls = qb::TlsMode::Never;
  Settings.HttpTimeOut = 10;
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// vsftpd serving /big.bin, made once for the process.
struct BigFileServer {
  BigFileServer() {
    const std::string path = tree.Path() + "/big.bin";
    std::ofstream(path).close();
    std::error_code error;
    std::filesystem::resize_file(path, BigSize, error);
    if (error) {
      problem = "cannot make " + path + ": " + error.message();
      return;
    }
    server = std::make_unique<qbtest::RealFtpd>(qbtest::Ftpd::Vsftpd, tree.Path());
    problem = server->Unavailable();
  }
  qbtest::TempDir tree;
  std::unique_ptr<qbtest::RealFtpd> server;
  std::string problem;
};

BigFileServer& Served() {
  static BigFileServer served;
  return served;
}

// A folder of its own for the fetched files, on disk (under the temporary
// folder) or in memory (/dev/shm), removed with it.
class Destination {
 public:
  explicit Destination(bool memory) {
    std::string pattern =
        (memory ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) /
        "qbfetch-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~Destination() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Seconds FetchFile took to fetch the whole file into folder, or a negative
// number when it did not arrive; the file is removed again.
double OursOnce(const std::string& url, const std::string& folder) {
  FetchRequest request;
  request.url = url;
  request.folder = folder;
  const Clock::time_point start = Clock::now();
  const FetchResult result = FetchFile(request, nullptr);
  const double seconds = Seconds(start);
  std::error_code ignored;
  std::filesystem::remove(result.path, ignored);
  const bool whole = result.outcome == FetchOutcome::Arrived &&
                     static_cast<std::uintmax_t>(result.bytes) == BigSize;
  return whole ? seconds : -1;
}

// Seconds "curl -s -o FILE url" took, and those its file's fsync took after
// it (curl leaves the bytes in the page cache, FetchFile does not); negative
// when it failed or wrote another size. The file is removed again.
struct CurlTimes {
  double seconds = -1;
  double sync = 0;
};

CurlTimes CurlOnce(const std::string& url, const std::string& folder) {
  const std::string file = folder + "/curl.bin";
  const Clock::time_point start = Clock::now();
  const bool exited = qbbench::RunCurl({"-s", "-o", file, url}) == 0;
  CurlTimes times;
  const double seconds = Seconds(start);
  const Clock::time_point synced = Clock::now();
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  const bool sync = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  times.sync = Seconds(synced);
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  std::filesystem::remove(file, error);
  if (exited && sync && size == BigSize) times.seconds = seconds;
  return times;
}

// One round: ours and curl's, each the same file into the same folder; the
// time reported is ours. Counters in MB/s (10^6 bytes) and ours / curl's
// speed, curl's alone and with its file's fsync.
void BM_FetchBesideCurl(benchmark::State& state) {
  Configure();
  BigFileServer& served = Served();
  if (!served.problem.empty()) {
    state.SkipWithError(served.problem.c_str());
    return;
  }
  const Destination folder(state.range(0) != 0);
  if (folder.Path().empty()) {
    state.SkipWithError("no folder to fetch into");
    return;
  }
  const std::string url = served.server->Url("/big.bin");
  double ours = 0;
  double curl = 0;
  double synced = 0;
  bool oursFirst = true;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    // In turn first, so that neither always finds the other's writeback under way.
    double mine = oursFirst ? OursOnce(url, folder.Path()) : 0;
    const CurlTimes theirs = CurlOnce(url, folder.Path());
    if (!oursFirst) mine = OursOnce(url, folder.Path());
    oursFirst = !oursFirst;
    if (mine < 0 || theirs.seconds < 0) {
      state.SkipWithError(mine < 0 ? "FetchFile did not fetch the file" : "curl did not");
      return;
    }
    state.SetIterationTime(mine);
    ours += mine;
    curl += theirs.seconds;
    synced += theirs.seconds + theirs.sync;
  }
  const double bytes = static_cast<double>(BigSize) * static_cast<double>(state.iterations());
  state.counters["ours_MBps"] = bytes / ours / 1e6;
  state.counters["curl_MBps"] = bytes / curl / 1e6;
  state.counters["ours_per_curl"] = curl / ours;
  // Both with the file on the disk, as FetchFile's fsync before its rename has it.
  state.counters["curl_fsync_MBps"] = bytes / synced / 1e6;
  state.counters["ours_per_curl_fsync"] = synced / ours;
}
BENCHMARK(BM_FetchBesideCurl)
    ->ArgNames({"memory"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(Rounds);

// From Retrieve's call to the first byte in its sink on a session opened and
// set to TYPE I before; counters: that time in round trips, and the bound.
void BM_FirstByte(benchmark::State& state) {
  Configure();
  const auto delay = std::chrono::milliseconds(state.range(0));
  qbbench::DelayedFtpServer server(1, delay);
  if (!server.Ok()) {
    state.SkipWithError("server did not start");
    return;
  }
  FtpUrlParts parts;
  const std::string url = server.Url(0);
  qb::ParseFtpUrl(url.c_str(), parts);
  FtpSession session(qb::SessionOptionsFor(parts, nullptr));
  std::string loginText;
  FtpReply reply;
  if (!session.Open(parts, loginText) || !session.Command("TYPE I", '2', reply)) {
    state.SkipWithError("no session");
    return;
  }
  double total = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    int64_t from = 0;
    bool first = true;
    double seconds = -1;
    const Clock::time_point start = Clock::now();
    // The whole file read, so that the session is ready for the next RETR.
    const bool whole = session.Retrieve("/big.bin", from, [&](const char*, std::size_t) {
      if (first) seconds = Seconds(start);
      first = false;
      return true;
    });
    if (!whole || seconds < 0) {
      state.SkipWithError(("RETR failed: " + session.Result()).c_str());
      return;
    }
    state.SetIterationTime(seconds);
    total += seconds;
  }
  session.Quit();
  const double d = std::chrono::duration<double>(delay).count();
  state.counters["round_trips"] = total / static_cast<double>(state.iterations()) / d;
  state.counters["bound_round_trips"] = 4;
}
BENCHMARK(BM_FirstByte)
    ->ArgNames({"D_ms"})
    ->Arg(50)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

}  // namespace

// Whole sites crawled: 1,000 folders over a 10 ms round trip (LIST and MLSD,
// into memory and into the index) against 2.5 round trips a folder and 30 s,
// beside lftp's find over the same server; and the peak memory of a crawl of a
// million entries into the index, against 150 MB.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "bench/delayed_ftp_server.h"
#include "core/settings.h"
#include "crawl/index_crawl_store.h"
#include "crawl/site_crawl.h"
#include "index/index_db.h"
#include "index/index_writer.h"

extern char** environ;

using namespace qb;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int Folders = 1000;
constexpr int FilesPerFolder = 5;
constexpr double RoundTripsBound = 2.5;
constexpr double SecondsBound = 30;
constexpr double PeakRssBoundMb = 150;

// The store's contract kept in memory with counts only, so that what is
// measured is the crawl and not a store.
class CountingStore final : public CrawlStore {
 public:
  std::optional<CrawlState> Begin(const std::string& url, std::string&) override {
    std::lock_guard<std::mutex> hold(lock_);
    queue_ = {CrawlFolder{}};
    known_ = {""};
    listed_.clear();
    CrawlState state;
    state.crawlId = 1;
    state.url = url;
    state.foldersQueued = 1;
    return state;
  }
  std::vector<CrawlFolder> Queued(int64_t, int max, std::string&) override {
    std::lock_guard<std::mutex> hold(lock_);
    while (!queue_.empty() && listed_.count(queue_.front().path)) queue_.pop_front();
    std::vector<CrawlFolder> out;
    for (const CrawlFolder& f : queue_) {
      if (static_cast<int>(out.size()) >= max) break;
      if (!listed_.count(f.path)) out.push_back(f);
    }
    return out;
  }
  bool Store(int64_t, std::vector<ListedFolder> batch, std::string&) override {
    std::lock_guard<std::mutex> hold(lock_);
    for (ListedFolder& f : batch) {
      if (!listed_.insert(f.path).second) continue;
      entries += static_cast<int64_t>(f.entries.size());
      for (CrawlFolder& child : f.children)
        if (known_.insert(child.path).second) queue_.push_back(std::move(child));
    }
    return true;
  }
  bool Finish(int64_t, const SiteOutcome&, std::string&) override { return true; }

  int64_t entries = 0;

 private:
  std::mutex lock_;
  std::deque<CrawlFolder> queue_;
  std::unordered_set<std::string> known_;
  std::unordered_set<std::string> listed_;
};

void Configure() {
  Settings.HttpTimeOut = 10;
  Settings.DataMode = FtpDataMode::Passive;
}

struct Crawled {
  CrawlOutcome outcome;
  int64_t listed = 0;
  int64_t entries = 0;
  double seconds = 0;
};

Crawled CrawlOnce(const std::string& url, CrawlStore& store, int sessions) {
  CrawlLimits limits;  // the program's default bounds
  limits.sessions = sessions;
  CrawlProgress progress;
  Crawled out;
  const auto start = Clock::now();
  out.outcome = CrawlSite(url, store, limits, progress);
  out.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  out.listed = progress.listed;
  out.entries = progress.entries;
  return out;
}

std::string TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qb-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  return pattern;
}

// The index's writer on a new file in folder.
std::unique_ptr<IndexWriter> OpenWriter(const std::string& folder) {
  const std::string path = folder + "/index.db";
  auto writer = std::make_unique<IndexWriter>(
      [path](std::string& error) { return IndexDb::Open(path, error); }, [](const std::string&) {});
  if (!writer->WaitOpen()) return nullptr;
  return writer;
}

// A crawl's counters; the label says whether its time and round trips are
// within their bounds.
std::string Report(benchmark::State& state, const Crawled& crawled, int64_t commands) {
  const double perFolder =
      crawled.listed > 0 ? static_cast<double>(commands) / static_cast<double>(crawled.listed) : 0;
  state.counters["folders"] = static_cast<double>(crawled.listed);
  state.counters["entries"] = static_cast<double>(crawled.entries);
  state.counters["crawl_s"] = crawled.seconds;
  state.counters["round_trips_per_folder"] = perFolder;
  state.counters["round_trips_bound"] = RoundTripsBound;
  state.counters["s_bound"] = SecondsBound;
  if (perFolder > RoundTripsBound && crawled.seconds > SecondsBound)
    return "round trips and time over bounds";
  if (perFolder > RoundTripsBound) return "round trips over bound";
  if (crawled.seconds > SecondsBound) return "time over bound";
  return "within bounds";
}

// A program run with its output in a file, given up on after bound.
// Its exit status, or -1 when it did not start or end.
int Run(const std::vector<std::string>& args, const std::string& output,
        std::chrono::seconds bound) {
  std::vector<std::string> copies = args;
  std::vector<char*> argv;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  const auto deadline = Clock::now() + bound;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0) return -1;
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// Folders that lftp's find printed (each ends in '/').
int64_t FoldersPrinted(const std::string& output) {
  std::ifstream in(output);
  int64_t folders = 0;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line.back() == '/') ++folders;
  return folders;
}

// lftp's find over the same server, after our crawl: its counters, or why
// there are none.
std::string CompareWithLftp(benchmark::State& state, qbbench::DelayedFtpServer& server,
                            double oursS) {
  const std::string folder = TempFolder();
  const std::string output = folder + "/lftp.out";
  if (Run({"lftp", "--version"}, output, std::chrono::seconds(10)) != 0) {
    std::filesystem::remove_all(folder);
    return "lftp not installed: not compared";
  }
  const std::string url = server.Url(0);
  // The URL without its trailing slash, as one would type it.
  const std::string open = "open " + url.substr(0, url.size() - 1);
  const int64_t commands0 = server.Commands();
  const auto start = Clock::now();
  const int status = Run({"lftp", "--norc", "-c", "set net:max-retries 2; " + open + "; find"},
                         output, std::chrono::seconds(300));
  const double lftpS = std::chrono::duration<double>(Clock::now() - start).count();
  const int64_t folders = FoldersPrinted(output);
  const int64_t commands = server.Commands() - commands0;
  std::filesystem::remove_all(folder);
  if (status != 0 || folders == 0) return "lftp failed (status " + std::to_string(status) + ")";
  state.counters["lftp_s"] = lftpS;
  state.counters["lftp_folders"] = static_cast<double>(folders);
  state.counters["lftp_round_trips_per_folder"] =
      static_cast<double>(commands) / static_cast<double>(folders);
  state.counters["ours_per_lftp"] = oursS / lftpS;
  return "";
}

// kB of a "VmHWM:"-like line of /proc/self/status.
double StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::strlen(key));
  return -1;
}

// Forgets the peak so far (Linux 4.0 on), so that the peak read after is this
// crawl's and not an earlier benchmark's.
bool ResetPeakRss() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return out.good();
}

// 1,000 folders of 1,000 files (a million entries) with no delay into the
// index: the process's peak resident memory against 150 MB.
void BM_CrawlMillionEntriesIntoIndex(benchmark::State& state) {
  Configure();
  qbbench::DelayedFtpServer server(1, std::chrono::milliseconds(0), false,
                                   {Folders, 1000, 10, state.range(0) != 0});
  if (!server.Ok()) return state.SkipWithError("server did not start");
  const std::string folder = TempFolder();
  const bool reset = ResetPeakRss();
  const double startKb = StatusKb("VmRSS:");
  Crawled crawled;
  {
    std::unique_ptr<IndexWriter> writer = OpenWriter(folder);
    if (!writer) {
      std::filesystem::remove_all(folder);
      return state.SkipWithError("index not opened");
    }
    IndexCrawlStore store(*writer);
    for (auto _ : state) crawled = CrawlOnce(server.Url(0), store, 1);
  }
  const double peakKb = StatusKb("VmHWM:");
  int64_t indexed = -1;
  {
    std::string error;
    if (auto db = IndexDb::Open(folder + "/index.db", error)) indexed = db->Count({}, error);
  }
  std::filesystem::remove_all(folder);
  if (!crawled.outcome.finished || crawled.listed != Folders)
    return state.SkipWithError(("crawl did not list the site: " + crawled.outcome.text).c_str());
  state.counters["entries"] = static_cast<double>(crawled.entries);
  state.counters["indexed"] = static_cast<double>(indexed);
  state.counters["entries_per_s"] = static_cast<double>(crawled.entries) / crawled.seconds;
  state.counters["rss_at_start_mb"] = startKb / 1024;
  state.counters["peak_rss_mb"] = peakKb / 1024;
  state.counters["peak_rss_bound_mb"] = PeakRssBoundMb;
  std::string label = peakKb / 1024 > PeakRssBoundMb ? "peak over bound" : "within bound";
  if (!reset) label += "; peak is the process's whole life";
  if (indexed != crawled.entries) label += "; index holds another count";
  state.SetLabel(label);
}
// Registered first, so that a peak that could not be reset is still mostly
// this one's.
BENCHMARK(BM_CrawlMillionEntriesIntoIndex)
    ->ArgNames({"mlsd"})
    ->Arg(0)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

// 1,000 folders of 5 files at 10 ms into memory, by LIST or MLSD, on 1 or 4
// sessions; with one session, lftp's find over the same server beside it.
void BM_CrawlThousandFolders(benchmark::State& state) {
  Configure();
  const bool mlsd = state.range(0) != 0;
  const int sessions = static_cast<int>(state.range(1));
  qbbench::DelayedFtpServer server(1, std::chrono::milliseconds(state.range(2)), false,
                                   {Folders, FilesPerFolder, 10, mlsd});
  if (!server.Ok()) return state.SkipWithError("server did not start");
  CountingStore store;
  Crawled crawled;
  int64_t commands = 0;
  for (auto _ : state) {
    const int64_t commands0 = server.Commands();
    crawled = CrawlOnce(server.Url(0), store, sessions);
    commands = server.Commands() - commands0;
  }
  if (!crawled.outcome.finished || crawled.listed != Folders)
    return state.SkipWithError(("crawl did not list the site: " + crawled.outcome.text).c_str());
  std::string label = Report(state, crawled, commands);
  if (sessions == 1)
    if (const std::string why = CompareWithLftp(state, server, crawled.seconds); !why.empty())
      label += "; " + why;
  state.SetLabel(label);
}
BENCHMARK(BM_CrawlThousandFolders)
    ->ArgNames({"mlsd", "sessions", "D_ms"})
    ->Args({0, 1, 10})
    ->Args({1, 1, 10})
    ->Args({1, 4, 10})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

// The same site into the index, through its writer thread, on a new file.
void BM_CrawlThousandFoldersIntoIndex(benchmark::State& state) {
  Configure();
  qbbench::DelayedFtpServer server(1, std::chrono::milliseconds(state.range(0)), false,
                                   {Folders, FilesPerFolder, 10, true});
  if (!server.Ok()) return state.SkipWithError("server did not start");
  const std::string folder = TempFolder();
  Crawled crawled;
  int64_t commands = 0;
  {
    std::unique_ptr<IndexWriter> writer = OpenWriter(folder);
    if (!writer) {
      std::filesystem::remove_all(folder);
      return state.SkipWithError("index not opened");
    }
    IndexCrawlStore store(*writer);
    for (auto _ : state) {
      const int64_t commands0 = server.Commands();
      crawled = CrawlOnce(server.Url(0), store, 1);
      commands = server.Commands() - commands0;
    }
  }
  std::filesystem::remove_all(folder);
  if (!crawled.outcome.finished || crawled.listed != Folders)
    return state.SkipWithError(("crawl did not list the site: " + crawled.outcome.text).c_str());
  state.SetLabel(Report(state, crawled, commands));
}
BENCHMARK(BM_CrawlThousandFoldersIntoIndex)
    ->ArgNames({"D_ms"})
    ->Arg(10)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

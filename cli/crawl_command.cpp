#include "cli/crawl_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli/listed_sites.h"
#include "cli/program_settings.h"
#include "cli/progress_line.h"
#include "cli/site_record.h"
#include "cli/stop_signals.h"
#include "cli/usage.h"
#include "core/given_sites.h"
#include "core/password_text.h"
#include "core/program_folders.h"
#include "core/run_on_threads.h"
#include "core/settings.h"
#include "core/url_text.h"
#include "crawl/crawl_runs.h"
#include "crawl/index_crawl_store.h"
#include "crawl/site_crawl.h"
#include "index/index_writer.h"
#include "index/local_index.h"

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;

struct CrawlOptions {
  std::vector<std::string> urls;
  std::vector<std::string> problems;  // one per site given that names none
  std::vector<int> siteArgs;          // argv indexes of the sites given
  std::vector<std::string> lists;     // site lists, fetched once the settings are read
  int depth = -1;
  int maxFolders = -1;
  int sessions = -1;
  int timeout = -1;
  std::string dataMode;
  bool resume = false;
  bool tsv = false;
};

CrawlOptions ParseCrawl(int argc, char** argv) {
  CrawlOptions o;
  int given = 0;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&] { return OptionValue(argc, argv, i); };
    if (arg == "--from") {
      GivenSitesText sites = ReadSiteFile(value());
      given += static_cast<int>(sites.urls.size() + sites.problems.size());
      for (std::string& url : sites.urls) o.urls.push_back(std::move(url));
      for (std::string& problem : sites.problems) o.problems.push_back(std::move(problem));
    } else if (arg == "--list") {
      o.lists.push_back(value());
      ++given;
    } else if (arg == "--depth") {
      o.depth = NumberValue(arg, value(), 0, 64);
    } else if (arg == "--max-folders") {
      o.maxFolders = NumberValue(arg, value(), 1, 1000000);
    } else if (arg == "--sessions") {
      o.sessions = NumberValue(arg, value(), 1, 4);
    } else if (arg == "--timeout") {
      o.timeout = NumberValue(arg, value(), 1, 3600);
    } else if (arg == "--data-mode") {
      o.dataMode = value();
      if (o.dataMode != "passive" && o.dataMode != "active")
        throw UsageError{"--data-mode wants passive or active: " + o.dataMode};
    } else if (arg == "--resume") {
      o.resume = true;
    } else if (arg == "--format") {
      o.tsv = TsvFormat(value());
    } else if (arg == "--no-index") {
      throw UsageError{"crawl lists sites into the local index: --no-index cannot go with it"};
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError{"unknown option " + arg};
    } else {
      ++given;
      o.siteArgs.push_back(i);
      GivenSite site = ReadGivenSite(arg);
      if (site.url)
        o.urls.push_back(std::move(*site.url));
      else
        o.problems.push_back("argument " + std::to_string(i - 1) + ": " + site.problem);
    }
  }
  if (given == 0 && !o.resume) throw UsageError{"no site to crawl (--resume for those unfinished)"};
  return o;
}

const char* StateName(CrawlFolderState state) {
  switch (state) {
    case CrawlFolderState::Listed:
      return "listed";
    case CrawlFolderState::Failed:
      return "failed";
    case CrawlFolderState::Skipped:
      return "skipped";
    case CrawlFolderState::Queued:
      break;
  }
  return "queued";
}

std::string FolderUrl(const std::string& shownSite, const ListedFolder& folder) {
  return FolderEntryUrl(shownSite, folder.serverPath.empty() ? folder.path : folder.serverPath, "",
                        true);
}

// The folder lines on standard output as the crawls list them, from any crawling
// thread, and the progress line on a terminal's standard error.
class FolderLines {
 public:
  explicit FolderLines(bool tsv) : tsv_(tsv) {}

  void Print(const std::string& site, const ListedFolder& folder) {
    const std::string line = tsv_ ? TsvFolderLine(site, folder) : JsonFolderLine(site, folder);
    std::lock_guard<std::mutex> hold(lock_);
    // Once nobody reads, the crawls stop, resumable.
    if (!line_.Print(line)) {
      written_ = false;
      StopOnSignals::StopAll();
    }
    ++folders_;
    for (const ListingEntry& e : folder.entries) files_ += e.isFolder ? 0 : 1;
    if (line_.Due()) line_.Show(Text());
  }

  // The last count, and the progress line ended.
  void End() {
    std::lock_guard<std::mutex> hold(lock_);
    if (folders_ > 0) line_.End(Text());
  }

  bool Written() const {
    std::lock_guard<std::mutex> hold(lock_);
    return written_;
  }

 private:
  std::string Text() const {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f",
                  seconds > 0 ? static_cast<double>(folders_) / seconds : 0.0);
    return Grouped(folders_) + " folders, " + Grouped(files_) + " files, " + rate + " folders/s";
  }

  const bool tsv_;
  const Clock::time_point start_ = Clock::now();
  mutable std::mutex lock_;
  ProgressLine line_;  // guarded by lock_, as the rest
  int64_t folders_ = 0;
  int64_t files_ = 0;
  bool written_ = true;
};

struct Job {
  explicit Job(std::string u) : url(std::move(u)) {}
  std::string url;
  CrawlProgress progress;
  CrawlOutcome outcome;
};

// Runs the crawls, as many at once as sessions may run; true when a signal
// stopped them. A second signal ends the program at once.
bool RunJobs(std::vector<std::unique_ptr<Job>>& jobs, CrawlStore& store, const CrawlLimits& limits,
             FolderLines& lines) {
  std::vector<std::atomic<bool>*> flags;
  flags.reserve(jobs.size());
  for (const auto& job : jobs) flags.push_back(&job->progress.stop);
  const StopOnSignals stopping(std::move(flags));

  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i; (i = next++) < jobs.size();) {
      Job& job = *jobs[i];
      if (StopOnSignals::Interrupted()) {
        job.outcome.stopped = true;
        job.outcome.text = "crawl stopped";
        continue;
      }
      job.outcome = CrawlSite(job.url, store, limits, job.progress,
                              [&](const ListedFolder& folder) { lines.Print(job.url, folder); });
    }
  };
  const std::size_t wanted =
      std::min(jobs.size(), static_cast<std::size_t>(std::max(1, Settings.MinConnect.load())));
  RunOnThreads(wanted, [&](std::size_t) { work(); });
  return StopOnSignals::Interrupted();
}

}  // namespace

std::string JsonFolderLine(const std::string& siteUrl, const ListedFolder& folder) {
  const std::string site = HidePassword(siteUrl);
  return "{\"url\":" + JsonString(FolderUrl(site, folder)) +
         ",\"path\":" + JsonString(folder.path) +
         ",\"state\":" + JsonString(StateName(folder.state)) +
         ",\"entries\":" + std::to_string(folder.entries.size()) +
         ",\"failure\":" + JsonString(folder.failure) + ",\"site\":" + JsonString(EscapeUrl(site)) +
         "}\n";
}

std::string TsvFolderLine(const std::string& siteUrl, const ListedFolder& folder) {
  const std::string site = HidePassword(siteUrl);
  return TsvField(FolderUrl(site, folder)) + '\t' + TsvField(folder.path) + '\t' +
         StateName(folder.state) + '\t' + std::to_string(folder.entries.size()) + '\t' +
         TsvField(folder.failure) + '\t' + TsvField(EscapeUrl(site)) + '\n';
}

int RunCrawl(int argc, char** argv) {
  const CrawlOptions o = ParseCrawl(argc, argv);
  // Read now; from here on the command line shows no password to other users.
  for (const int i : o.siteArgs) MaskGivenPassword(argv[i]);
  for (const std::string& problem : o.problems) Warn(problem);
  if (!LoadProgramSettings()) return 2;
  if (Settings.KeepIndex == 0) {
    Warn("crawl lists sites into the local index, which the settings turn off (KeepIndex=0)");
    return 2;
  }
  if (UserDataFolder().empty()) {
    Warn("no home folder for the local index: set HOME or XDG_DATA_HOME");
    return 2;
  }
  if (o.timeout > 0) Settings.HttpTimeOut = o.timeout;
  if (!o.dataMode.empty()) Settings.DataMode = ParseDataMode(o.dataMode);
  if (Settings.HttpTimeOut < 1) Settings.HttpTimeOut = 30;
  CrawlLimits limits = CrawlLimitsFromSettings();
  if (o.depth >= 0) limits.depth = o.depth;
  if (o.maxFolders > 0) limits.folders = o.maxFolders;
  if (o.sessions > 0) limits.sessions = o.sessions;

  // Declared before the index, whose writer thread may set it until it ends.
  std::atomic<bool> faulted{false};
  std::string error;
  // The folders made for it are the user's alone, as the file is.
  MakeParentFolder(UserDataFolder() + IndexFileName);
  std::unique_ptr<LocalIndex> index = LocalIndex::Open(
      UserDataFolder(),
      [&faulted](const std::string& text) {
        faulted = true;
        Warn(text);
      },
      error);
  if (!index) {
    Warn(error);
    return 2;
  }
  IndexCrawlStore store(index->writer());

  std::vector<std::string> urls = o.urls;
  for (const std::string& list : o.lists) AppendListedSites(list, urls);
  if (o.resume && o.urls.empty()) {
    std::string asked;
    const std::vector<CrawlState> unfinished = AskAndWait(
        index->writer(), [](IndexDb& db, std::string& e) { return db.UnfinishedCrawls(e); }, asked);
    if (!asked.empty()) {
      Warn(asked);
      return 2;
    }
    for (const CrawlState& crawl : unfinished) urls.push_back(crawl.url);
    if (urls.empty()) Warn("no unfinished crawl in the local index");
  }
  // Every crawl is begun before any is listed: a run stopped early leaves each
  // to resume. The same crawl named twice is run once.
  std::vector<std::unique_ptr<Job>> jobs;
  std::set<int64_t> begun;
  for (const std::string& url : urls) {
    const std::optional<CrawlState> state = store.Begin(url, error);
    if (!state) {
      Warn(HidePassword(url) + ": " + error);
      return 2;
    }
    if (begun.insert(state->crawlId).second) jobs.push_back(std::make_unique<Job>(url));
  }

  FolderLines lines(o.tsv);
  const bool interrupted = RunJobs(jobs, store, limits, lines);
  lines.End();
  bool allFinished = o.problems.empty();
  for (const auto& job : jobs) {
    if (job->outcome.finished) continue;
    allFinished = false;
    if (!interrupted && lines.Written()) Warn(HidePassword(job->url) + ": " + job->outcome.text);
  }
  index.reset();  // everything written before the status is decided
  if (!lines.Written()) {
    Warn("cannot write the output");
    return 2;
  }
  if (faulted) return 2;
  if (interrupted) {
    Warn("stopped: crawl --resume goes on where the crawls are");
    return 130;
  }
  return allFinished ? 0 : 1;
}

}  // namespace qb

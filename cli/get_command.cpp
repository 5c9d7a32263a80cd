#include "cli/get_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/program_settings.h"
#include "cli/progress_line.h"
#include "cli/stop_signals.h"
#include "cli/usage.h"
#include "core/password_text.h"
#include "core/settings.h"
#include "core/terminal_text.h"
#include "core/text_helpers.h"
#include "core/url_text.h"
#include "transfer/fetch_queue.h"
#include "transfer/file_fetch.h"
#include "transfer/local_name.h"

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view Plain = "ftp://";
constexpr std::string_view Implicit = "ftps://";

struct GetOptions {
  std::vector<std::string> urls;
  std::vector<int> urlArgs;  // argv indexes of the URLs given
  std::string folder = ".";
  int sessions = 4;
};

void AddFile(GetOptions& o, std::string_view text, const std::string& where) {
  GivenFile file = ReadFileUrl(text);
  if (!file.url) throw UsageError{where + file.problem};
  o.urls.push_back(std::move(*file.url));
}

// One URL a line; blank lines and # comments skipped.
void ReadFileList(GetOptions& o, const std::string& path) {
  const std::string text = ReadInputFile(path);
  std::string_view rest = text;
  for (int number = 1; !rest.empty(); ++number) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
      line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    AddFile(o, line, path + " line " + std::to_string(number) + ": ");
  }
}

GetOptions ParseGet(int argc, char** argv) {
  GetOptions o;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&] { return OptionValue(argc, argv, i); };
    if (arg == "--from") {
      ReadFileList(o, value());
    } else if (arg == "--to") {
      o.folder = value();
      if (o.folder.empty()) throw UsageError{"--to wants a folder"};
    } else if (arg == "--sessions") {
      o.sessions = NumberValue(arg, value(), 1, 16);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError{"unknown option " + arg};
    } else {
      o.urlArgs.push_back(i);
      AddFile(o, arg, "argument " + std::to_string(i - 1) + ": ");
    }
  }
  if (o.urls.empty()) throw UsageError{"no file to get"};
  return o;
}

// The folder as an absolute path, so that each line printed says where a file
// is whatever the reader's working folder; empty, said why, when it is no
// folder this user can write into.
std::string WritableFolder(const std::string& folder) {
  struct stat st = {};
  if (stat(folder.c_str(), &st) != 0) {
    Warn("--to " + folder + ": " + std::strerror(errno));
    return {};
  }
  if (!S_ISDIR(st.st_mode)) {
    Warn("--to " + folder + ": not a folder");
    return {};
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    Warn("--to " + folder + ": cannot write into it: " + std::strerror(errno));
    return {};
  }
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::canonical(folder, error);
  if (error) {
    Warn("--to " + folder + ": " + error.message());
    return {};
  }
  return absolute.string();
}

std::string ShownBytes(double bytes) {
  static const char* const Units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int unit = 0;
  while (bytes >= 1024 && unit < 4) {
    bytes /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, Units[unit]);
  return text;
}

// A URL as printed: escaped, so that it can be given again, its password as ***.
std::string ShownUrl(const std::string& url) { return EscapeUrl(HidePassword(url)); }

// The lines of a run: one per file on standard output as it ends, and the
// progress on standard error, from any fetching thread.
class FileLines {
 public:
  FileLines(const std::vector<FetchRequest>& requests, std::atomic<bool>& abort)
      : requests_(requests), files_(requests.size()), abort_(abort) {}

  void Progress(std::size_t i, const FetchProgress& p) {
    const std::lock_guard<std::mutex> hold(lock_);
    files_[i].bytes = p.bytes;
    files_[i].rate = p.rate;
    files_[i].running = true;
    if (line_.Due()) line_.Show(Text(SummedRate()));
  }

  void Done(std::size_t i, const FetchResult& r) {
    const std::lock_guard<std::mutex> hold(lock_);
    File& file = files_[i];
    const double rate = file.rate;
    file.running = false;
    file.bytes = r.bytes;
    moved_ += std::max<int64_t>(0, r.bytes - r.resumedFrom);
    ++done_;
    const std::string url = ShownUrl(requests_[i].url);
    const std::string line =
        TerminalText(r.outcome == FetchOutcome::Arrived ? r.path
                                                        : "failed: " + url + ": " + r.text) +
        '\n';
    // Once nobody reads, the fetches stop, their .part files kept.
    if (!line_.Print(line)) {
      written_ = false;
      abort_ = true;
    }
    if (line_.Shown()) {
      line_.Show(Text(SummedRate()));
    } else {
      const char* how = r.outcome == FetchOutcome::Arrived   ? "arrived"
                        : r.outcome == FetchOutcome::Stopped ? "stopped"
                                                             : "failed";
      std::fprintf(stderr, "%s: %s %s\n", Text(rate).c_str(), how, TerminalText(url).c_str());
    }
  }

  // The run's count, at the rate of the whole run.
  void End() {
    const std::lock_guard<std::mutex> hold(lock_);
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    line_.End(Text(seconds > 0 ? static_cast<double>(moved_) / seconds : 0));
  }

  bool Written() const {
    const std::lock_guard<std::mutex> hold(lock_);
    return written_;
  }

 private:
  struct File {
    int64_t bytes = 0;
    double rate = 0;
    bool running = false;
  };

  double SummedRate() const {
    double rate = 0;
    for (const File& f : files_) rate += f.running ? f.rate : 0;
    return rate;
  }

  std::string Text(double rate) const {
    int64_t bytes = 0;
    for (const File& f : files_) bytes += f.bytes;
    return Grouped(static_cast<int64_t>(done_)) + "/" +
           Grouped(static_cast<int64_t>(files_.size())) + " files, " +
           ShownBytes(static_cast<double>(bytes)) + ", " + ShownBytes(rate) + "/s";
  }

  const std::vector<FetchRequest>& requests_;
  mutable std::mutex lock_;
  std::vector<File> files_;  // guarded by lock_, as the rest
  std::size_t done_ = 0;
  int64_t moved_ = 0;  // bytes fetched by the files done, those resumed from not counted
  const Clock::time_point start_ = Clock::now();
  ProgressLine line_;
  bool written_ = true;
  std::atomic<bool>& abort_;
};

}  // namespace

GivenFile ReadFileUrl(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  std::string shown(text);
  MaskGivenPassword(shown.data());
  const bool implicit = StartsWithNoCase(text, Implicit);
  if (!implicit && !StartsWithNoCase(text, Plain))
    return {std::nullopt, "not an FTP URL: " + shown};
  // ftps:// is read as ftp:// is, and keeps its scheme.
  const std::string plain = std::string(Plain) + std::string(text.substr(implicit ? 7 : 6));
  ReadUrl read = ReadSiteUrl(plain);
  if (read.url.empty())
    return {std::nullopt, (read.problem.empty() ? "not an FTP URL" : read.problem) + ": " + shown};
  const std::string name = UrlFileName(read.url);
  if (name.empty() || name == "." || name == "..")
    return {std::nullopt, "names a folder, not a file: " + shown};
  if (implicit) read.url.replace(0, Plain.size(), Implicit);
  return {std::move(read.url), {}};
}

int RunGet(int argc, char** argv) {
  const GetOptions o = ParseGet(argc, argv);
  // Read now; from here on the command line shows no password to other users.
  for (const int i : o.urlArgs) MaskGivenPassword(argv[i]);
  const std::string folder = WritableFolder(o.folder);
  if (folder.empty()) return 2;
  if (!LoadProgramSettings()) return 2;
  if (Settings.HttpTimeOut < 1) Settings.HttpTimeOut = 30;

  std::vector<FetchRequest> requests;
  requests.reserve(o.urls.size());
  for (const std::string& url : o.urls) {
    FetchRequest r;
    r.url = url;
    r.folder = folder;
    r.resume = true;
    requests.push_back(std::move(r));
  }
  FetchLimits limits;
  limits.atOnce = o.sessions;
  limits.perHost = std::min(limits.perHost, o.sessions);

  std::atomic<bool> abort{false};
  FileLines lines(requests, abort);
  std::vector<FetchResult> results;
  bool interrupted = false;
  {
    const StopOnSignals stopping({&abort});
    results = FetchAll(
        requests, limits, &abort,
        [&lines](std::size_t i, const FetchProgress& p) { lines.Progress(i, p); },
        [&lines](std::size_t i, const FetchResult& r) { lines.Done(i, r); });
    interrupted = StopOnSignals::Interrupted();
  }
  lines.End();
  bool all = true;
  for (const FetchResult& r : results) all = all && r.outcome == FetchOutcome::Arrived;
  if (!lines.Written()) Warn("cannot write the output");
  if (interrupted) Warn("stopped: the same get goes on from the .part files kept");
  return all ? 0 : 1;
}

}  // namespace qb

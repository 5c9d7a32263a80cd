// quillbrook-cli: explores FTP sites without a window and prints each site's
// outcome as JSON Lines or tab-separated values.
#include <unistd.h>
#include <climits>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/explore_run.h"
#include "cli/site_record.h"
#include "core/given_sites.h"
#include "core/program_folders.h"
#include "core/settings.h"

namespace qb {
namespace {

const char Usage[] =
    "Usage: quillbrook-cli explore [OPTION]... [URL]... [--from FILE]\n"
    "Explores FTP sites (ftp:// URLs, or host names for their root folder) and prints\n"
    "each site's outcome and listing, one site per line.\n"
    "\n"
    "  --from FILE          read more sites from FILE, one a line (- for standard input)\n"
    "  --sessions N         at most N FTP sessions at once\n"
    "  --retries N          attempts per site\n"
    "  --timeout S          network time-out in seconds\n"
    "  --pause S            seconds between two attempts at a site (0 for none)\n"
    "  --data-mode MODE     passive or active data connections\n"
    "  --format FORMAT      jsonl (default) or tsv\n"
    "  --help               show this text and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "Options not given come from the settings file of the window program.\n"
    "Exit status: 0 when at least one site was explored, 1 when none was,\n"
    "2 on bad usage or unreadable input.\n";

struct Options {
  std::vector<std::string> urls;
  int sessions = -1;
  int retries = -1;
  int timeout = -1;
  int pause = -1;
  std::string dataMode;
  bool tsv = false;
};

// Thrown for bad usage; main prints it as one line and exits with 2.
struct UsageError {
  std::string text;
};

int Number(const std::string& option, const std::string& text, int least, int most) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < least || value > most) {
    throw UsageError{option + " wants a number from " + std::to_string(least) + " to " +
                     std::to_string(most) + ": " + text};
  }
  return static_cast<int>(value);
}

void AddSite(Options& o, const std::string& text, const std::string& where) {
  const std::optional<std::string> url = GivenSiteUrl(text);
  if (!url) throw UsageError{where + "not an FTP site: " + text};
  o.urls.push_back(*url);
}

void ReadSites(Options& o, const std::string& path) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (path != "-") {
    file.open(path);
    if (!file) throw UsageError{"cannot read " + path + ": " + std::strerror(errno)};
    in = &file;
  }
  std::string line;
  int number = 0;
  while (std::getline(*in, line)) {
    ++number;
    if (!GivenSiteUrl(line) && line.find_first_not_of(" \t\r") == std::string::npos) continue;
    AddSite(o, line, path + " line " + std::to_string(number) + ": ");
  }
  if (in->bad()) throw UsageError{"cannot read " + path};
}

Options ParseExplore(int argc, char** argv) {
  Options o;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError{arg + " wants a value"};
      return argv[++i];
    };
    if (arg == "--from") {
      ReadSites(o, value());
    } else if (arg == "--sessions") {
      o.sessions = Number(arg, value(), 1, 100);
    } else if (arg == "--retries") {
      o.retries = Number(arg, value(), 1, 100);
    } else if (arg == "--timeout") {
      o.timeout = Number(arg, value(), 1, 3600);
    } else if (arg == "--pause") {
      o.pause = Number(arg, value(), 0, 3600);
    } else if (arg == "--data-mode") {
      o.dataMode = value();
      if (o.dataMode != "passive" && o.dataMode != "active") {
        throw UsageError{"--data-mode wants passive or active: " + o.dataMode};
      }
    } else if (arg == "--format") {
      const std::string format = value();
      if (format != "jsonl" && format != "tsv") {
        throw UsageError{"--format wants jsonl or tsv: " + format};
      }
      o.tsv = format == "tsv";
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError{"unknown option " + arg};
    } else {
      AddSite(o, arg, "");
    }
  }
  if (o.urls.empty()) throw UsageError{"no site to explore"};
  return o;
}

std::string ExecutableDir() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  const std::string exe(path, static_cast<std::size_t>(n));
  return exe.substr(0, exe.rfind('/') + 1);
}

void ApplySettings(const Options& o) {
  ExeDir = ExecutableDir();
  const ProgramFolders folders = LocateProgramFolders(ExeDir);
  SharedDir = folders.shared;
  ConfigDir = folders.config;
  LoadSettings();
  if (o.sessions > 0) Settings.MinConnect = o.sessions;
  if (o.retries > 0) Settings.NbRetry = o.retries;
  if (o.timeout > 0) Settings.HttpTimeOut = o.timeout;
  if (o.pause >= 0) Settings.VerifyTimeOut = o.pause;
  if (!o.dataMode.empty()) Settings.DataMode = ParseDataMode(o.dataMode);
  // A settings file with nonsense in it must not stall or stop the run.
  if (Settings.MinConnect < 1) Settings.MinConnect = 1;
  if (Settings.NbRetry < 1) Settings.NbRetry = 1;
  if (Settings.HttpTimeOut < 1) Settings.HttpTimeOut = 30;
  if (Settings.VerifyTimeOut < 0) Settings.VerifyTimeOut = 0;
}

// Generous: every site in turn, each attempt with a few waits and its pause.
std::chrono::seconds OverallBound(std::size_t sites) {
  const long rounds = static_cast<long>(
      (sites + static_cast<std::size_t>(Settings.MinConnect) - 1) / Settings.MinConnect);
  const long perSite =
      static_cast<long>(Settings.NbRetry) * (6L * Settings.HttpTimeOut + Settings.VerifyTimeOut);
  return std::chrono::seconds(rounds * perSite + 30);
}

int Explore(const Options& o) {
  ApplySettings(o);
  const bool terminal = isatty(STDERR_FILENO) != 0;
  const std::vector<SiteRecord> records =
      ExploreSites(o.urls, OverallBound(o.urls.size()), [terminal](int done, int total) {
        if (terminal) std::fprintf(stderr, "\r%d of %d sites explored", done, total);
      });
  if (terminal) std::fputs("\n", stderr);
  bool explored = false;
  for (const SiteRecord& r : records) {
    const std::string text = o.tsv ? TsvLines(r) : JsonLine(r);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (r.status == 1) explored = true;
  }
  if (std::fflush(stdout) != 0) {
    std::fprintf(stderr, "quillbrook-cli: cannot write the output\n");
    return 2;
  }
  return explored ? 0 : 1;
}

}  // namespace
}  // namespace qb

int main(int argc, char** argv) {
  using qb::Explore;
  using qb::ParseExplore;
  using qb::Usage;
  using qb::UsageError;
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(Usage, stdout);
    return 0;
  }
  if (command == "--version") {
    std::printf("quillbrook-cli %s\n", QB_VERSION);
    return 0;
  }
  try {
    if (command != "explore")
      throw UsageError{command.empty() ? "no command given" : "unknown command " + command};
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "--help") == 0) {
        std::fputs(Usage, stdout);
        return 0;
      }
    }
    return Explore(ParseExplore(argc, argv));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "quillbrook-cli: %s (see --help)\n", e.text.c_str());
    return 2;
  }
}

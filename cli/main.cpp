// quillbrook-cli: explores FTP sites, given or found by the search engines,
// without a window, and prints each site's outcome as JSON Lines or TSV; finds
// names in the local index of explored sites.
#include <unistd.h>
#include <climits>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/engine_search.h"
#include "cli/explore_run.h"
#include "cli/find_command.h"
#include "cli/site_record.h"
#include "cli/usage.h"
#include "core/given_sites.h"
#include "core/password_text.h"
#include "core/program_folders.h"
#include "core/settings.h"
#include "core/site_outcome.h"
#include "core/site_table.h"
#include "core/terminal_text.h"
#include "core/text_helpers.h"
#include "explore/site_worker.h"
#include "index/local_index.h"
#include "search/engine_file.h"
#include "search/engine_set.h"

namespace qb {
namespace {

const char Usage[] =
    "Usage: quillbrook-cli explore [OPTION]... [URL]... [--from FILE]\n"
    "       quillbrook-cli search TERM [--engines FILE] [--engine NAME]... [--pages N]\n"
    "                             [--no-explore] [OPTION]...\n"
    "       quillbrook-cli find TEXT [--ext E] [--min-size N] [--folders|--files]\n"
    "                           [--show-passwords] [--format FORMAT]\n"
    "Explores FTP sites (ftp:// URLs, or host names for their root folder), or those the\n"
    "search engines find for TERM, and prints each site's outcome and listing, one site\n"
    "per line. find prints the names in the local index of explored sites that\n"
    "contain TEXT (any case), one hit per line.\n"
    "\n"
    "  --engines FILE       the engine definitions to use (default: engines.ini beside\n"
    "                       the settings file, else the built-in engines)\n"
    "  --engine NAME        ask this engine (repeatable; all enabled ones when none is\n"
    "                       named); built in: AnchorEngine, ClassLsEngine, FormEngine,\n"
    "                       AdvancedEngine, PathEngine\n"
    "  --pages N            at most N result pages per engine (default 10)\n"
    "  --no-explore         print the sites found without exploring them\n"
    "  --from FILE          read more sites from FILE, one a line (- for standard input)\n"
    "  --sessions N         at most N FTP sessions at once\n"
    "  --retries N          attempts per site\n"
    "  --timeout S          network time-out in seconds\n"
    "  --pause S            seconds between two attempts at a site (0 for none)\n"
    "  --data-mode MODE     passive or active data connections\n"
    "  --no-index           keep what is explored out of the local index\n"
    "  --ext E              find: names ending in .E\n"
    "  --min-size N         find: files of at least N bytes (K, M, G: KiB, MiB, GiB)\n"
    "  --folders, --files   find: folders only, files only\n"
    "  --show-passwords     find: print passwords in URLs instead of ***\n"
    "  --format FORMAT      jsonl (default) or tsv\n"
    "  --help               show this text and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "Options not given come from the settings file of the window program.\n"
    "Exit status: 0 when at least one site was explored, 1 when none was,\n"
    "2 on bad usage or unreadable input; for find, 0 with hits, 1 with none.\n";

struct Options {
  std::vector<std::string> urls;
  int sitesGiven = 0;                 // the good ones and those that name no site
  std::vector<std::string> problems;  // one per site given that names none
  std::vector<int> siteArgs;          // argv indexes of the sites given
  int sessions = -1;
  int retries = -1;
  int timeout = -1;
  int pause = -1;
  std::string dataMode;
  bool tsv = false;
  bool index = true;
  // search
  std::string term;
  std::string engineFile;
  std::vector<std::string> engines;
  int pages = 10;
  bool explore = true;
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

// A line that names no site is not bad usage: it is named, and the others are explored.
void AddSite(Options& o, const std::string& text, const std::string& where) {
  ++o.sitesGiven;
  GivenSite site = ReadGivenSite(text);
  if (site.url) {
    o.urls.push_back(std::move(*site.url));
  } else {
    o.problems.push_back(where + site.problem);
  }
}

void ReadSites(Options& o, const std::string& path) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (path != "-") {
    file.open(path);
    if (!file) throw UsageError{"cannot read " + path + ": " + std::strerror(errno)};
    in = &file;
  }
  const std::string text(std::istreambuf_iterator<char>(*in), {});
  if (in->bad()) throw UsageError{"cannot read " + path};
  GivenSitesText parsed = ParseGivenSites(text);
  o.sitesGiven += static_cast<int>(parsed.urls.size() + parsed.problems.size());
  for (std::string& url : parsed.urls) o.urls.push_back(std::move(url));
  for (const std::string& problem : parsed.problems)
    o.problems.emplace_back(path + ' ').append(problem);
}

Options ParseArguments(int argc, char** argv, bool search) {
  Options o;
  int first = 2;
  if (search) {
    if (argc < 3 || argv[2][0] == '-' || argv[2][0] == '\0')
      throw UsageError{"search wants a term"};
    o.term = argv[2];
    first = 3;
  }
  for (int i = first; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&] { return OptionValue(argc, argv, i); };
    if (search && arg == "--engine") {
      o.engines.push_back(value());
    } else if (search && arg == "--engines") {
      o.engineFile = value();
    } else if (search && arg == "--pages") {
      o.pages = Number(arg, value(), 1, 1000);
    } else if (search && arg == "--no-explore") {
      o.explore = false;
    } else if (arg == "--no-index") {
      o.index = false;
    } else if (!search && arg == "--from") {
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
      o.tsv = TsvFormat(value());
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError{"unknown option " + arg};
    } else if (!search) {
      o.siteArgs.push_back(i);
      AddSite(o, arg, "argument " + std::to_string(i - first + 1) + ": ");
    } else {
      throw UsageError{"search takes one term: " + arg};
    }
  }
  if (!search && o.sitesGiven == 0) throw UsageError{"no site to explore"};
  return o;
}

void Warn(const std::string& text) { PrintProblem("quillbrook-cli", text); }

std::string ExecutableDir() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  const std::string exe(path, static_cast<std::size_t>(n));
  return exe.substr(0, exe.rfind('/') + 1);
}

// Without a home folder there is nowhere of the user's own for the settings;
// the executable's folder or the working one would be shared or not the user's.
bool ApplySettings(const Options& o) {
  ExeDir = ExecutableDir();
  const ProgramFolders folders = LocateProgramFolders(ExeDir);
  if (folders.config.empty()) {
    Warn("no home folder for the settings: set HOME or XDG_CONFIG_HOME");
    return false;
  }
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
  return true;
}

// Generous: every site in turn, each attempt with a few waits and its pause.
std::chrono::seconds OverallBound(std::size_t sites) {
  const long rounds = static_cast<long>(
      (sites + static_cast<std::size_t>(Settings.MinConnect) - 1) / Settings.MinConnect);
  const long perSite =
      static_cast<long>(Settings.NbRetry) * (6L * Settings.HttpTimeOut + Settings.VerifyTimeOut);
  return std::chrono::seconds(rounds * perSite + 30);
}

// The sites found, as they stand unexplored.
std::vector<SiteRecord> FoundSites() {
  std::vector<SiteRecord> records;
  for (int i = 0; i < SiteTable.count; ++i) {
    if (std::shared_ptr<SiteEntry> e = SiteAt(i)) records.push_back({e->url, Waiting, "", "", {}});
  }
  return records;
}

// After the settings, whose folder holds the default engine file. A file named
// on the command line must be there.
std::vector<EngineDef> ChosenEngines(const Options& o) {
  const std::string path = o.engineFile.empty() ? EngineFilePath() : o.engineFile;
  if (!o.engineFile.empty() && access(path.c_str(), R_OK) != 0)
    throw UsageError{"cannot read " + path + ": " + std::strerror(errno)};
  const EngineFile file = ReadEngineFile(path);
  for (const std::string& problem : file.problems) Warn(problem);
  if (!file.readable) throw UsageError{"cannot use the engine file " + path};
  EngineChoice choice = ChooseEngines(file.engines, o.engines);
  if (choice.unknown) throw UsageError{"unknown engine " + *choice.unknown};
  return std::move(choice.engines);
}

// What is explored goes into the local index, as the window program keeps it,
// so that find finds it; a window program holding the index is no reason to stop.
class IndexedRun {
 public:
  static bool Wanted(const Options& o) { return o.index && Settings.KeepIndex != 0; }

  IndexedRun(const Options& o, bool search) {
    if (!Wanted(o)) return;
    std::string term = search ? o.term : std::string();
    for (char& c : term) c = AsciiLower(c);
    std::string error;
    // The folders made for it are the user's alone, as the file is.
    MakeParentFolder(UserDataFolder() + IndexFileName);
    index_ = LocalIndex::Open(UserDataFolder(), Warn, error);
    if (!index_) {
      Warn(error);
      return;
    }
    SetSiteStoredHook([index = index_.get(), term](SiteOutcome outcome) {
      outcome.term = term;
      index->writer().Submit(std::move(outcome));
    });
  }
  ~IndexedRun() {
    SetSiteStoredHook(nullptr);
    if (index_) index_->writer().Flush();
  }
  IndexedRun(const IndexedRun&) = delete;
  IndexedRun& operator=(const IndexedRun&) = delete;

 private:
  std::unique_ptr<LocalIndex> index_;
};

int Run(const Options& o, bool search) {
  for (const std::string& problem : o.problems) Warn(problem);
  if (!ApplySettings(o)) return 1;
  if (IndexedRun::Wanted(o) && UserDataFolder().empty()) {
    Warn("no home folder for the local index: set HOME or XDG_DATA_HOME, or give --no-index");
    return 1;
  }
  const IndexedRun indexed(o, search);
  const bool terminal = isatty(STDERR_FILENO) != 0;
  if (search) {
    if (terminal) std::fputs("searching...\n", stderr);
    SearchEngines(o.term, ChosenEngines(o), o.pages, Warn);
  }
  std::vector<SiteRecord> records;
  if (search && !o.explore) {
    records = FoundSites();
  } else {
    const std::size_t sites = o.urls.size() + static_cast<std::size_t>(SiteTable.count.load());
    records = ExploreSites(o.urls, OverallBound(sites), [terminal](int done, int total) {
      if (terminal) std::fprintf(stderr, "\r%d of %d sites explored", done, total);
    });
    if (terminal) std::fputs("\n", stderr);
  }
  bool explored = false;
  for (const SiteRecord& r : records) {
    const std::string text = o.tsv ? TsvLines(r) : JsonLine(r);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (r.status == Ok || (search && !o.explore)) explored = true;
  }
  if (std::fflush(stdout) != 0) {
    Warn("cannot write the output");
    return 2;
  }
  return explored ? 0 : 1;
}

}  // namespace
}  // namespace qb

int main(int argc, char** argv) {
  using qb::Options;
  using qb::ParseArguments;
  using qb::Run;
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
    if (command != "explore" && command != "search" && command != "find")
      throw UsageError{command.empty() ? "no command given" : "unknown command " + command};
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "--help") == 0) {
        std::fputs(Usage, stdout);
        return 0;
      }
    }
    if (command == "find") return qb::RunFind(argc, argv);
    const bool search = command == "search";
    const Options options = ParseArguments(argc, argv, search);
    // Read now; from here on the command line shows no password to other users.
    for (const int i : options.siteArgs) qb::MaskGivenPassword(argv[i]);
    return Run(options, search);
  } catch (const UsageError& e) {
    qb::PrintProblem("quillbrook-cli", e.text + " (see --help)");
    return 2;
  }
}

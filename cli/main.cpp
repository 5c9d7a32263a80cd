// quillbrook-cli: explores FTP sites, given or found by the search engines,
// without a window, and prints each site's outcome as JSON Lines or TSV; crawls
// whole sites into the local index of explored sites and finds names in it;
// fetches files.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/crawl_command.h"
#include "cli/engine_search.h"
#include "cli/explore_run.h"
#include "cli/find_command.h"
#include "cli/get_command.h"
#include "cli/key_file.h"
#include "cli/listed_sites.h"
#include "cli/program_settings.h"
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
#include "search/engine_keys.h"
#include "search/engine_set.h"

namespace qb {
namespace {

const char Usage[] =
    "Usage: quillbrook-cli explore [OPTION]... [URL]... [--from FILE] [--list NAME]\n"
    "       quillbrook-cli search TERM [--engines FILE] [--engine NAME]... [--pages N]\n"
    "                             [--key-file FILE] [--no-explore] [OPTION]...\n"
    "       quillbrook-cli crawl [URL]... [--from FILE] [--list NAME] [--depth N]\n"
    "                            [--max-folders N] [--sessions N] [--resume]\n"
    "                            [--format FORMAT]\n"
    "       quillbrook-cli find TEXT [--ext E] [--min-size N] [--folders|--files]\n"
    "                           [--show-passwords] [--format FORMAT]\n"
    "       quillbrook-cli get URL... [--from FILE] [--to DIR] [--sessions N]\n"
    "Explores FTP sites (ftp:// URLs, or host names for their root folder), or those the\n"
    "search engines find for TERM, and prints each site's outcome and listing, one site\n"
    "per line. crawl lists whole sites, every folder below, into the local index of\n"
    "explored sites, one line per folder. find prints the names in the local index\n"
    "that contain TEXT (any case), one hit per line. get fetches the files of ftp:// and\n"
    "ftps:// URLs into a folder, going on from the .part files an earlier get left,\n"
    "and prints where each arrived, or \"failed: URL: why\", one line per file.\n"
    "\n"
    "  --engines FILE       the engine definitions to use (default: engines.ini beside\n"
    "                       the settings file, else the built-in engines)\n"
    "  --engine NAME        ask this engine (repeatable; all enabled ones and the local\n"
    "                       index when none is named); built in: Index (the local\n"
    "                       index), AnchorEngine, ClassLsEngine, FormEngine,\n"
    "                       AdvancedEngine, PathEngine\n"
    "  --pages N            at most N result pages per engine (default 10)\n"
    "  --key-file FILE      keys of the engines that need one, EngineName=key a line;\n"
    "                       the file must be readable by its owner alone\n"
    "  --no-explore         print the sites found without exploring them\n"
    "  --from FILE          read more sites from FILE, one a line (- for standard input);\n"
    "                       get: files' URLs, # comment lines skipped\n"
    "  --list NAME          explore, crawl: the FTP sites the site list NAME names\n"
    "                       (repeatable); built in: GentooMirrors, SlackwareMirrors,\n"
    "                       GnuMirrors, CtanMirrors\n"
    "  --sessions N         at most N FTP sessions at once; crawl: per server, 1 to 4;\n"
    "                       get: 1 to 16 (default 4), at most 2 per server\n"
    "  --to DIR             get: the folder the files go to (default: the current one)\n"
    "  --retries N          attempts per site\n"
    "  --timeout S          network time-out in seconds\n"
    "  --pause S            seconds between two attempts at a site (0 for none)\n"
    "  --data-mode MODE     passive or active data connections\n"
    "  --gentle             start one session at a time, as the window program does\n"
    "  --no-index           keep what is explored out of the local index\n"
    "  --depth N            crawl: folders at most N levels below the site's (0 to 64)\n"
    "  --max-folders N      crawl: at most N folders listed per site\n"
    "  --resume             crawl: go on with every unfinished crawl when no URL is given\n"
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
    "2 on bad usage or unreadable input; for find, 0 with hits, 1 with none; for\n"
    "crawl, 0 when every crawl finished, 1 when one did not, 2 on bad usage or an\n"
    "index that cannot be used, 130 when interrupted (--resume goes on); for get, 0\n"
    "when every file arrived, 1 when one failed or was stopped (the same get goes on),\n"
    "2 on bad usage or a folder that cannot be written.\n";

struct Options {
  std::vector<std::string> urls;
  int sitesGiven = 0;                 // the good ones and those that name no site
  std::vector<std::string> problems;  // one per site given that names none
  std::vector<int> siteArgs;          // argv indexes of the sites given
  std::vector<std::string> lists;     // site lists, fetched once the settings are read
  int sessions = -1;
  int retries = -1;
  int timeout = -1;
  int pause = -1;
  std::string dataMode;
  bool tsv = false;
  bool index = true;
  bool gentle = false;
  // search
  std::string term;
  std::string engineFile;
  std::string keyFile;
  std::vector<std::string> engines;
  int pages = 10;
  bool explore = true;
};

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
  GivenSitesText parsed = ReadSiteFile(path);
  o.sitesGiven += static_cast<int>(parsed.urls.size() + parsed.problems.size());
  for (std::string& url : parsed.urls) o.urls.push_back(std::move(url));
  for (std::string& problem : parsed.problems) o.problems.push_back(std::move(problem));
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
    } else if (search && arg == "--key-file") {
      o.keyFile = value();
    } else if (search && arg == "--pages") {
      o.pages = NumberValue(arg, value(), 1, 1000);
    } else if (search && arg == "--no-explore") {
      o.explore = false;
    } else if (arg == "--no-index") {
      o.index = false;
    } else if (arg == "--gentle") {
      o.gentle = true;
    } else if (!search && arg == "--from") {
      ReadSites(o, value());
    } else if (!search && arg == "--list") {
      o.lists.push_back(value());
      ++o.sitesGiven;
    } else if (arg == "--sessions") {
      o.sessions = NumberValue(arg, value(), 1, 100);
    } else if (arg == "--retries") {
      o.retries = NumberValue(arg, value(), 1, 100);
    } else if (arg == "--timeout") {
      o.timeout = NumberValue(arg, value(), 1, 3600);
    } else if (arg == "--pause") {
      o.pause = NumberValue(arg, value(), 0, 3600);
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

bool ApplySettings(const Options& o) {
  if (!LoadProgramSettings()) return false;
  // Nobody watches a window here: free slots are filled at once, unless asked not to.
  Settings.FastStart = o.gentle ? 0 : 1;
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
std::vector<EngineDef> ChosenEngines(const Options& o, const std::vector<std::string>& names) {
  const std::string path = o.engineFile.empty() ? EngineFilePath() : o.engineFile;
  if (!o.engineFile.empty() && access(path.c_str(), R_OK) != 0)
    throw UsageError{"cannot read " + path + ": " + std::strerror(errno)};
  const EngineFile file = ReadEngineFile(path);
  for (const std::string& problem : file.problems) Warn(problem);
  if (!file.readable) throw UsageError{"cannot use the engine file " + path};
  EngineChoice choice = ChooseEngines(file.engines, names);
  if (choice.unknown) throw UsageError{"unknown engine " + *choice.unknown};
  return std::move(choice.engines);
}

// Names read from the index for one term: enough for any page of results, and
// a bound on what a term as short as "a" holds in memory.
constexpr int64_t MaxIndexHits = 100000;

// The local index as an engine, read as find reads it; nothing when there is
// none yet. Its problems are said and the other engines still asked.
std::vector<SiteRecord> AskIndex(const std::string& term, bool named) {
  const std::string folder = UserDataFolder();
  const std::string path = folder + IndexFileName;
  const std::string engine = std::string(IndexEngineName) + ": ";
  if (folder.empty() || access(path.c_str(), F_OK) != 0) {
    if (named) Warn(engine + "no index yet at " + path);
    return {};
  }
  std::string error;
  IndexDb::Options readOnly;
  readOnly.readOnly = true;
  const std::unique_ptr<IndexDb> db = IndexDb::Open(path, error, readOnly);
  if (!db) {
    Warn(engine + error);
    return {};
  }
  StoredSites found = IndexSites(*db, term, MaxIndexHits, error);
  if (!error.empty()) Warn(engine + error);
  if (found.truncated)
    Warn(engine + "only the first " + std::to_string(MaxIndexHits) + " matching names are shown");
  return std::move(found.sites);
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
  std::vector<std::string> urls = o.urls;
  for (const std::string& list : o.lists) AppendListedSites(list, urls);
  if (IndexedRun::Wanted(o) && UserDataFolder().empty()) {
    Warn("no home folder for the local index: set HOME or XDG_DATA_HOME, or give --no-index");
    return 1;
  }
  // Sites from the index come first, printed as stored and not explored again.
  std::vector<SiteRecord> records;
  std::vector<EngineDef> engines;
  std::vector<std::string> storedUrls;  // lower case
  if (search) {
    std::vector<std::string> webNames;
    bool indexNamed = false;
    for (const std::string& name : o.engines) {
      if (IsIndexEngine(name))
        indexNamed = true;
      else
        webNames.push_back(name);
    }
    // Bad usage is told before anything is asked.
    if (o.engines.empty() || !webNames.empty()) engines = ChosenEngines(o, webNames);
    // Before the run's writer makes an index file where there was none.
    if (indexNamed || o.engines.empty()) records = AskIndex(o.term, indexNamed);
    for (const SiteRecord& r : records) {
      storedUrls.push_back(r.url);
      for (char& c : storedUrls.back()) c = AsciiLower(c);
    }
  }
  KeyLookup keys;
  if (!o.keyFile.empty()) {
    std::string problem;
    keys = ReadKeyFile(o.keyFile, problem);
    if (!keys) {
      Warn(problem);
      return 1;
    }
  } else if (!engines.empty()) {
    keys = EngineKeys().Lookup();
  }
  const IndexedRun indexed(o, search);
  const bool terminal = isatty(STDERR_FILENO) != 0;
  if (!engines.empty()) {
    if (terminal) std::fputs("searching...\n", stderr);
    // A site found again is the stored one, as the site table merges duplicates.
    SearchEngines(
        o.term, engines, o.pages, Warn,
        [&storedUrls](const std::string& site) {
          std::string probe = site;
          for (char& c : probe) c = AsciiLower(c);
          if (probe.empty() || probe.back() != '/') probe += '/';
          return std::any_of(storedUrls.begin(), storedUrls.end(), [&](const std::string& url) {
            return probe.find(url) != std::string::npos;
          });
        },
        keys);
  }
  std::vector<SiteRecord> found;
  if (search && !o.explore) {
    found = FoundSites();
  } else if (!search || SiteTable.count > 0) {
    const std::size_t sites = urls.size() + static_cast<std::size_t>(SiteTable.count.load());
    found = ExploreSites(urls, OverallBound(sites), [terminal](int done, int total) {
      if (terminal) std::fprintf(stderr, "\r%d of %d sites explored", done, total);
    });
    if (terminal) std::fputs("\n", stderr);
  }
  for (SiteRecord& r : found) records.push_back(std::move(r));
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
    if (command != "explore" && command != "search" && command != "crawl" && command != "find" &&
        command != "get")
      throw UsageError{command.empty() ? "no command given" : "unknown command " + command};
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "--help") == 0) {
        std::fputs(Usage, stdout);
        return 0;
      }
    }
    if (command == "find") return qb::RunFind(argc, argv);
    if (command == "crawl") return qb::RunCrawl(argc, argv);
    if (command == "get") return qb::RunGet(argc, argv);
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

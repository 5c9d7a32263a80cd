// The local index: storing one explored site, storing a crawl's folders, and
// finding among a million names.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "index/index_db.h"

using namespace qb;

namespace {

const char* const Stems[] = {"gcc",  "linux", "readme", "perl", "emacs",  "xfree86", "kernel",
                             "glib", "gtk",   "bash",   "zlib", "libpng", "openssl", "tcl"};
const char* const Extensions[] = {"tar.gz", "zip", "txt", "tgz", "rpm", "deb", "html", "c"};

SiteOutcome MakeSite(int site, int entries) {
  SiteOutcome o{"ftp://host" + std::to_string(site) + ".example/pub/",
                Ok,
                "ok",
                "",
                1000 + site,
                "bench",
                {}};
  o.entries.resize(static_cast<std::size_t>(entries));
  unsigned seed = static_cast<unsigned>(site) * 2654435761u;
  for (int i = 0; i < entries; ++i) {
    seed = seed * 1103515245u + 12345u;
    ListingEntry& e = o.entries[static_cast<std::size_t>(i)];
    std::snprintf(e.name, sizeof e.name, "%s-%u.%u.%u.%s", Stems[seed % std::size(Stems)],
                  (seed >> 8) % 10, (seed >> 12) % 100, (seed >> 20) % 10,
                  Extensions[(seed >> 4) % std::size(Extensions)]);
    std::snprintf(e.date, sizeof e.date, "Jan %u 1999", 1 + (seed >> 16) % 28);
    e.size = static_cast<int32_t>(seed % 5000000);
    e.isFolder = (seed % 17 == 0) ? 1 : 0;
  }
  return o;
}

std::string TempDb(const char* name) {
  std::string pattern = (std::filesystem::temp_directory_path() / "qb-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  return pattern + "/" + name;
}

// A site explored again, its listing as before (0) or all of its names changed (1).
void BM_StoreSiteOf1000Entries(benchmark::State& state) {
  const std::string path = TempDb("store.db");
  std::string error;
  auto db = IndexDb::Open(path, error);
  if (!db) return state.SkipWithError(error.c_str());
  for (int i = 0; i < 50; ++i) db->Store(MakeSite(i, 1000), error);  // a non-empty index
  const SiteOutcome site = MakeSite(7, 1000);                        // replaced each time
  SiteOutcome changed = MakeSite(8, 1000);
  changed.url = site.url;
  const bool change = state.range(0) != 0;
  bool flip = false;
  for (auto _ : state) {
    flip = change && !flip;
    if (!db->Store(flip ? changed : site, error)) state.SkipWithError(error.c_str());
  }
  db.reset();
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
BENCHMARK(BM_StoreSiteOf1000Entries)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The first exploration of a site: nothing of it to replace.
void BM_StoreNewSiteOf1000Entries(benchmark::State& state) {
  const std::string path = TempDb("new.db");
  std::string error;
  auto db = IndexDb::Open(path, error);
  if (!db) return state.SkipWithError(error.c_str());
  for (int i = 0; i < 50; ++i) db->Store(MakeSite(i, 1000), error);
  SiteOutcome site = MakeSite(7, 1000);
  int next = 50;
  for (auto _ : state) {
    state.PauseTiming();
    site.url = "ftp://new" + std::to_string(next++) + ".example/";
    state.ResumeTiming();
    if (!db->Store(site, error)) state.SkipWithError(error.c_str());
  }
  db.reset();
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
BENCHMARK(BM_StoreNewSiteOf1000Entries)->Unit(benchmark::kMillisecond);

// A crawl's batch as the writer takes it: 100 folders of 1,000 entries each,
// each folder queueing one below it, which the next batch lists. The writer
// must keep up with at least 100,000 entries a second; peak_rss_mb shows that
// the queue stays on disk.
void BM_StoreCrawlBatch(benchmark::State& state) {
  const std::string path = TempDb("crawl.db");
  std::string error;
  auto db = IndexDb::Open(path, error);
  if (!db) return state.SkipWithError(error.c_str());
  for (int i = 0; i < 50; ++i) db->Store(MakeSite(i, 1000), error);  // a non-empty index
  const auto crawl = db->BeginCrawl("ftp://crawled.example/", error);
  if (!crawl) return state.SkipWithError(error.c_str());
  constexpr int Folders = 100;
  const auto folderPath = [](int round, int i) {
    return "pub/round-" + std::to_string(round) + "/folder-" + std::to_string(i) + "/";
  };
  ListedFolder root;
  for (int i = 0; i < Folders; ++i) root.children.push_back({folderPath(0, i), "", 2});
  if (!db->StoreCrawlBatch(crawl->crawlId, {root}, error))
    return state.SkipWithError(error.c_str());
  std::vector<ListedFolder> batch(Folders);
  for (int i = 0; i < Folders; ++i) {
    batch[static_cast<std::size_t>(i)].entries = MakeSite(1000 + i, 1000).entries;
    batch[static_cast<std::size_t>(i)].children.resize(1);
  }
  int round = 0;
  int64_t entries = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < Folders; ++i) {
      ListedFolder& f = batch[static_cast<std::size_t>(i)];
      f.path = folderPath(round, i);
      f.children[0] = {folderPath(round + 1, i), "", round + 3};
    }
    ++round;
    state.ResumeTiming();
    if (!db->StoreCrawlBatch(crawl->crawlId, batch, error)) state.SkipWithError(error.c_str());
    entries += int64_t{Folders} * 1000;
  }
  state.counters["entries_per_s"] =
      benchmark::Counter(static_cast<double>(entries), benchmark::Counter::kIsRate);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
  db.reset();
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
// 2,000,000 entries at most, as many as a crawled site keeps.
BENCHMARK(BM_StoreCrawlBatch)->Iterations(20)->Unit(benchmark::kMillisecond);

// A million names: 1,000 sites of 1,000 entries, made once for the queries below.
const std::string& MillionPath() {
  static const std::string path = TempDb("million.db");
  return path;
}

IndexDb& MillionNames() {
  static std::unique_ptr<IndexDb> db = [] {
    std::string error;
    auto made = IndexDb::Open(MillionPath(), error);
    if (!made) std::abort();
    for (int s = 0; s < 1000; ++s) made->Store(MakeSite(s, 1000), error);
    std::atexit(
        [] { std::filesystem::remove_all(std::filesystem::path(MillionPath()).parent_path()); });
    return made;
  }();
  return *db;
}

void BM_First100Hits(benchmark::State& state, const char* text) {
  IndexDb& db = MillionNames();
  std::string error;
  for (auto _ : state) {
    auto found = db.Find({text, "", 0, FindKind::All}, 0, 100, error);
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK_CAPTURE(BM_First100Hits, common, "gcc-")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_First100Hits, rare, "ssl-9.42.7")->Unit(benchmark::kMillisecond);

void BM_CountHits(benchmark::State& state, const char* text) {
  IndexDb& db = MillionNames();
  std::string error;
  int64_t hits = 0;
  for (auto _ : state) hits = db.Count({text, "", 0, FindKind::All}, error);
  state.counters["hits"] = static_cast<double>(hits);
}
BENCHMARK_CAPTURE(BM_CountHits, common, "gcc-")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CountHits, rare, "ssl-9.42.7")->Unit(benchmark::kMillisecond);

// The database and its write-ahead log together, per name stored.
void BM_BytesPerName(benchmark::State& state) {
  MillionNames();
  int64_t bytes = 0;
  for (auto _ : state) {
    std::error_code ec;
    bytes = static_cast<int64_t>(std::filesystem::file_size(MillionPath(), ec));
    const auto wal = std::filesystem::file_size(MillionPath() + "-wal", ec);
    if (!ec) bytes += static_cast<int64_t>(wal);
  }
  state.counters["bytes_per_name"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_BytesPerName)->Iterations(1);

}  // namespace

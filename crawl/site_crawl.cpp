#include "crawl/site_crawl.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "core/run_on_threads.h"
#include "core/settings.h"
#include "core/text_helpers.h"
#include "net/ftp_control.h"
#include "net/ftp_session.h"
#include "net/ftp_url.h"
#include "net/listing_parser.h"
#include "net/mlsd_parser.h"
#include "net/name_charset.h"

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;

// A folder's listing is read up to this many bytes: a folder of 20,000 entries
// fits, a server that streams without end does not hold the crawl.
constexpr std::size_t FolderListingCap = std::size_t{8} * 1024 * 1024;
// Connections lost in a row before the crawl gives the server up.
constexpr int ReconnectsInARow = 3;
// Folders taken from the store at a time, per session.
constexpr int FoldersPerSession = 16;

// What two listings must share to be the same folder seen twice.
uint64_t ListingPrint(const std::vector<ListingEntry>& entries) {
  uint64_t print = 1469598103934665603ull;
  const auto mix = [&](const void* data, std::size_t n) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) print = (print ^ bytes[i]) * 1099511628211ull;
  };
  for (const ListingEntry& e : entries) {
    mix(e.name, std::strlen(e.name));
    mix(&e.size, sizeof e.size);
    mix(&e.isFolder, 1);
    mix(e.date, std::strlen(e.date));
  }
  return print;
}

const std::string& ServerPathOf(const CrawlFolder& folder) {
  return folder.serverPath.empty() ? folder.path : folder.serverPath;
}

std::string ParentOf(const std::string& path) {
  if (path.empty()) return {};
  const std::size_t slash = path.find_last_of('/', path.size() - 2);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A name that can stand in a path: one segment, nothing a command line ends at.
bool SegmentUsable(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\r\n\0", 4)) == std::string_view::npos;
}

class Crawl {
 public:
  Crawl(const std::string& url, CrawlStore& store, const CrawlLimits& limits,
        CrawlProgress& progress, const std::function<void(const ListedFolder&)>& onFolder)
      : url_(url), store_(store), limits_(limits), progress_(progress), onFolder_(onFolder) {
    ParseFtpUrl(url.c_str(), parts_);
    base_ = parts_.path;
    if (base_.empty() || base_.back() != '/') base_ += '/';
    if (limits_.seconds > 0) deadline_ = Clock::now() + std::chrono::seconds(limits_.seconds);
  }

  CrawlOutcome Run();

 private:
  struct Lister {
    std::optional<FtpSession> session;
    int lost = 0;          // connections lost in a row
    bool retired = false;  // gave up on the server; the others go on
    std::string problem;   // why its last connection was lost
  };

  bool Open(Lister& lister);
  // Lists one folder; nothing when no session to the server could be had.
  std::optional<ListedFolder> ListFolder(Lister& lister, const CrawlFolder& folder);
  void Children(const CrawlFolder& folder, const std::vector<ListingEntry>& entries,
                ListedFolder& out) const;
  void WaitWhilePaused() const;
  bool OutOfTime() const { return Clock::now() >= deadline_; }
  CrawlOutcome End(bool finished, std::string text);

  std::string url_;
  CrawlStore& store_;
  CrawlLimits limits_;
  CrawlProgress& progress_;
  const std::function<void(const ListedFolder&)>& onFolder_;
  FtpUrlParts parts_;
  std::string base_;
  Clock::time_point deadline_ = Clock::time_point::max();
  int64_t crawlId_ = 0;
  std::atomic<int64_t> room_{0};  // entries the batch may still store
  std::mutex printsLock_;
  std::unordered_map<std::string, uint64_t> prints_;  // guarded by printsLock_
};

bool Crawl::Open(Lister& lister) {
  FtpSessionOptions options = SessionOptionsFor(parts_, &progress_.stop);
  options.deadline = deadline_;
  lister.session.emplace(std::move(options));
  std::string loginText;
  FtpReply reply;
  if (lister.session->Open(parts_, loginText) && lister.session->Command("TYPE A", '2', reply))
    return true;
  lister.problem = lister.session->Result();
  lister.session.reset();
  return false;
}

void Crawl::Children(const CrawlFolder& folder, const std::vector<ListingEntry>& entries,
                     ListedFolder& out) const {
  if (folder.depth >= limits_.depth) return;
  for (const ListingEntry& e : entries) {
    // Links are not followed: they lead back up as often as anywhere new.
    if (!e.isFolder || e.isLink) continue;
    // The server's bytes name the folder in commands; the path shown is the
    // whole name where only its length had it cut, else its converted form.
    const std::string raw = ServerNameOf(e);
    const std::string shown = IsUtf8(raw) ? raw : std::string(e.name);
    if (!SegmentUsable(raw) || !SegmentUsable(shown)) continue;
    CrawlFolder child;
    child.path = folder.path + shown + "/";
    child.serverPath = ServerPathOf(folder) + raw + "/";
    if (child.serverPath == child.path) child.serverPath.clear();
    child.depth = folder.depth + 1;
    // Judged on the whole path from the server's root: a crawl begun at /pub/
    // still stops before /pub/pub/pub/.
    const std::string& below = child.serverPath.empty() ? child.path : child.serverPath;
    if (!FolderPathEnterable(base_.substr(1) + below)) continue;
    out.children.push_back(std::move(child));
  }
}

std::optional<ListedFolder> Crawl::ListFolder(Lister& lister, const CrawlFolder& folder) {
  ListedFolder out;
  out.path = folder.path;
  out.serverPath = folder.serverPath;
  std::string full = base_ + ServerPathOf(folder);
  if (full.size() > 1 && full.back() == '/') full.pop_back();
  int broken = 0;  // listings of this folder the server cut off
  while (lister.lost < ReconnectsInARow) {
    if (progress_.stop || OutOfTime()) return std::nullopt;
    if (!lister.session && !Open(lister)) {
      ++lister.lost;
      continue;
    }
    FtpListing listing = lister.session->List(full, FolderListingCap);
    // A listing the server cut off midway ("426", "451") is asked for again,
    // so none is stored in part; one that never comes whole is a failed folder.
    if (listing.broken && listing.reply.code != 0) {
      if (++broken < ReconnectsInARow) continue;
      out.state = CrawlFolderState::Failed;
      out.failure = listing.reply.line;
      return out;
    }
    if (listing.outcome == FtpListing::Outcome::NoReply ||
        listing.outcome == FtpListing::Outcome::NoData || listing.broken) {
      // A dropped connection: a new one goes on with the same folder.
      lister.problem = listing.outcome == FtpListing::Outcome::NoData ? "getdatasocket" : "NoReply";
      lister.session.reset();
      ++lister.lost;
      continue;
    }
    lister.lost = 0;
    if (listing.outcome == FtpListing::Outcome::Refused) {
      // "550 No such folder" or no permission: kept as such, never tried again.
      out.state = CrawlFolderState::Failed;
      out.failure = listing.reply.line;
      return out;
    }
    out.entries = listing.mlsd ? ReadMlsdListing(listing.text) : BuildListing(listing.text);
    ConvertNames(out.entries, "");
    const uint64_t print = ListingPrint(out.entries);
    bool repeat = false;
    {
      // The same listing as a folder above it: a link the server resolved
      // (MLSD shows some as plain folders) or a loop of mounts.
      std::lock_guard<std::mutex> hold(printsLock_);
      // One entry alone ("src/" in pub/ and in pub/src/a/) says too little.
      for (std::string up = folder.path; !up.empty() && !repeat && out.entries.size() > 1;) {
        up = ParentOf(up);
        auto above = prints_.find(up);
        repeat = above != prints_.end() && above->second == print;
      }
      prints_[folder.path] = print;
    }
    if (repeat) {
      out.entries.clear();
      out.state = CrawlFolderState::Skipped;
      out.failure = "same listing as a folder above it";
      return out;
    }
    // The entry limit holds within a batch too: a folder takes what room is left.
    const auto want = static_cast<int64_t>(out.entries.size());
    const int64_t take = std::clamp<int64_t>(room_.fetch_sub(want), 0, want);
    if (take < want) out.entries.resize(static_cast<std::size_t>(take));
    Children(folder, out.entries, out);
    return out;
  }
  return std::nullopt;
}

void Crawl::WaitWhilePaused() const {
  while (progress_.paused && !progress_.stop)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

CrawlOutcome Crawl::End(bool finished, std::string text) {
  CrawlOutcome outcome;
  outcome.crawlId = crawlId_;
  outcome.finished = finished;
  outcome.stopped = !finished;
  outcome.text = std::move(text);
  if (finished) {
    SiteOutcome site;
    site.url = url_;
    site.status = Ok;
    site.statusText = outcome.text;
    site.exploredAt = static_cast<int64_t>(std::time(nullptr));
    site.listed = true;
    std::string error;
    if (!store_.Finish(crawlId_, site, error)) {
      outcome.finished = false;
      outcome.stopped = true;
      outcome.text = "crawl not stored: " + error;
    }
  }
  return outcome;
}

CrawlOutcome Crawl::Run() {
  std::string error;
  const std::optional<CrawlState> state = store_.Begin(url_, error);
  if (!state) return End(false, "crawl not stored: " + error);
  crawlId_ = state->crawlId;
  progress_.listed = state->foldersListed;
  progress_.queued = state->foldersQueued;
  progress_.entries = state->entries;

  const int sessions = limits_.sessions < 1 ? 1 : (limits_.sessions > 4 ? 4 : limits_.sessions);
  std::vector<Lister> listers(static_cast<std::size_t>(sessions));
  for (;;) {
    WaitWhilePaused();
    if (progress_.stop) return End(false, "crawl stopped");
    const auto done = [&](const char* why) {
      return End(true, "crawled: " + CrawlCounts(progress_) + why);
    };
    if (OutOfTime()) return done(" (time limit)");
    if (progress_.listed >= limits_.folders) return done(" (folder limit)");
    if (progress_.entries >= limits_.entries) return done(" (entry limit)");

    const int64_t room = limits_.folders - progress_.listed;
    const int want =
        static_cast<int>(std::min<int64_t>(room, int64_t{FoldersPerSession} * sessions));
    std::vector<CrawlFolder> batch = store_.Queued(crawlId_, want, error);
    if (batch.empty()) {
      if (!error.empty()) return End(false, "crawl not stored: " + error);
      return done("");
    }

    // Each session takes the next folder of the batch until none is left, or
    // no room for entries is.
    std::vector<std::optional<ListedFolder>> listed(batch.size());
    std::atomic<std::size_t> next{0};
    room_ = limits_.entries - progress_.entries;
    const auto work = [&](Lister& lister) {
      for (std::size_t i; !lister.retired && room_ > 0 && (i = next++) < batch.size();) {
        WaitWhilePaused();
        listed[i] = ListFolder(lister, batch[i]);
        if (!listed[i]) {
          // No session (the server may allow fewer than asked for): this one
          // gives up, its folder stays queued for the sessions that work.
          lister.retired = !progress_.stop && !OutOfTime();
          return;
        }
        // The pause between listings ends early when the crawl is stopped.
        const auto resume = Clock::now() + std::chrono::milliseconds(limits_.pauseMs);
        while (limits_.pauseMs > 0 && !progress_.stop && Clock::now() < resume)
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    };
    // Only sessions that have not given up take part, one a folder at most.
    std::vector<Lister*> active;
    for (Lister& lister : listers)
      if (!lister.retired) active.push_back(&lister);
    RunOnThreads(std::min(active.size(), batch.size()), [&](std::size_t k) { work(*active[k]); });

    std::vector<ListedFolder> store;
    int64_t entries = 0;
    int64_t files = 0;
    for (std::size_t i = 0; i < listed.size(); ++i) {
      std::optional<ListedFolder>& folder = listed[i];
      if (!folder) continue;  // still queued
      // The site's own folder refused: the crawl has nothing to stand for it,
      // and finishing would empty the site's stored entries.
      if (batch[i].depth == 0 && folder->state == CrawlFolderState::Failed)
        return End(false, "crawl interrupted: " + folder->failure);
      entries += static_cast<int64_t>(folder->entries.size());
      for (const ListingEntry& e : folder->entries) files += e.isFolder ? 0 : 1;
      if (onFolder_) onFolder_(*folder);
      store.push_back(std::move(*folder));
    }
    const auto newlyQueued = [&] {
      int64_t n = 0;
      for (const ListedFolder& f : store) n += static_cast<int64_t>(f.children.size());
      return n;
    }();
    const bool listedAny = !store.empty();
    if (listedAny) {
      const int64_t count = static_cast<int64_t>(store.size());
      if (!store_.Store(crawlId_, std::move(store), error))
        return End(false, "crawl not stored: " + error);
      progress_.listed += count;
      progress_.entries += entries;
      progress_.files += files;
      // Children already known are not queued twice; the store's count is
      // read back with the next state, this one is what the row shows meanwhile.
      progress_.queued = std::max<int64_t>(0, progress_.queued - count + newlyQueued);
    }
    // Nothing listed and room left: no session could be had at all.
    if (!listedAny && room_ > 0) {
      if (progress_.stop) return End(false, "crawl stopped");
      if (OutOfTime()) return done(" (time limit)");
      std::string problem = "NoReply";
      for (const Lister& lister : listers)
        if (!lister.problem.empty()) problem = lister.problem;
      return End(false, "crawl interrupted: " + problem);
    }
  }
}

}  // namespace

std::string CrawlCounts(const CrawlProgress& progress) {
  const int64_t folders = progress.listed, files = progress.files;
  return Grouped(folders) + (folders == 1 ? " folder, " : " folders, ") + Grouped(files) +
         (files == 1 ? " file" : " files");
}

bool FolderPathEnterable(std::string_view path) {
  // Segments, each ended by '/'.
  std::string_view previous;
  int repeats = 0;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    if (!SegmentUsable(segment)) return false;
    repeats = segment == previous ? repeats + 1 : 1;
    if (repeats >= 3) return false;
    previous = segment;
    start = end + 1;
  }
  return true;
}

CrawlOutcome CrawlSite(const std::string& url, CrawlStore& store, const CrawlLimits& limits,
                       CrawlProgress& progress,
                       const std::function<void(const ListedFolder&)>& onFolder) {
  Crawl crawl(url, store, limits, progress, onFolder);
  return crawl.Run();
}

}  // namespace qb

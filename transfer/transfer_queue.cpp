#include "transfer/transfer_queue.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

#include "crawl/site_crawl.h"
#include "explore/host_slots.h"
#include "explore/site_worker.h"
#include "net/ftp_session.h"
#include "net/ftp_url.h"
#include "net/unique_fd.h"
#include "transfer/local_name.h"

namespace qb {

const char* TransferStateText(TransferState state) {
  switch (state) {
    case TransferState::Queued:
      return "queued";
    case TransferState::Fetching:
      return "fetching";
    case TransferState::Paused:
      return "paused";
    case TransferState::Done:
      return "done";
    case TransferState::Failed:
      return "failed";
  }
  return "queued";
}

namespace {

using Clock = std::chrono::steady_clock;

constexpr int FolderDepth = 8;
constexpr int64_t FolderFiles = 10000;
// Locks held on kept .part files; past this many, descriptors are left for sessions.
constexpr int MaxPartLocks = 256;

bool IsPart(const std::string& path) { return path.size() > 5 && path.ends_with(".part"); }

// The lock on a .part a transfer keeps while it is not fetching: a fetch of
// the same name (here or in another process) takes another name instead of
// going on from bytes of another file.
UniqueFd LockPart(const std::string& path) {
  if (!IsPart(path)) return {};
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st = {};
  if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
    return {};
  return fd;
}

// A cancelled transfer's .part goes, unless a fetch holds it: then it is that fetch's.
void RemovePart(const std::string& path, UniqueFd held) {
  if (!held.valid()) held = LockPart(path);
  if (held.valid()) unlink(path.c_str());
}

// The folders a listing still has to list, in memory: nothing of it is kept.
class FolderQueue final : public CrawlStore {
 public:
  std::optional<CrawlState> Begin(const std::string& url, std::string& /*error*/) override {
    queue_ = {CrawlFolder{}};
    known_ = {""};
    CrawlState state;
    state.crawlId = 1;
    state.url = url;
    state.foldersQueued = 1;
    return state;
  }
  std::vector<CrawlFolder> Queued(int64_t /*crawlId*/, int max, std::string& /*error*/) override {
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(std::max(0, max)), queue_.size());
    return {queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n)};
  }
  bool Store(int64_t /*crawlId*/, std::vector<ListedFolder> batch,
             std::string& /*error*/) override {
    std::set<std::string> listed;
    for (const ListedFolder& f : batch) {
      listed.insert(f.path);
      for (const CrawlFolder& child : f.children)
        if (known_.insert(child.path).second) queue_.push_back(child);
    }
    std::erase_if(queue_, [&](const CrawlFolder& f) { return listed.contains(f.path); });
    return true;
  }
  bool Finish(int64_t /*crawlId*/, const SiteOutcome& /*outcome*/,
              std::string& /*error*/) override {
    return true;
  }
  bool Empty() const { return queue_.empty(); }

 private:
  std::deque<CrawlFolder> queue_;
  std::set<std::string> known_;
};

// The last segment of a folder URL's path, or its host for the root.
std::string FolderNameOf(const std::string& url) {
  FtpUrlParts parts;
  ParseFtpUrl(url.c_str(), parts);
  std::string path = parts.path;
  while (!path.empty() && path.back() == '/') path.pop_back();
  const std::string name = UrlFileName(path);
  return name.empty() ? std::string(parts.host) : name;
}

bool MakeFolder(const std::string& path, std::string& error) {
  if (mkdir(path.c_str(), 0755) == 0) return true;
  struct stat st = {};
  if (errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  error = "cannot make the folder " + path + ": " + std::strerror(errno);
  return false;
}

}  // namespace

struct TransferQueue::State {
  struct Item {
    Transfer t;
    std::string server;    // the per-server bound's key
    std::string login;     // the user, password and server a session of it logs in with
    std::string slotHost;  // the sessions shared with exploring, keyed as it keys them
    std::string target;    // folder and local name: one fetch of it at a time
    std::atomic<bool> abort{false};
    // While it runs: the flag of the session it runs on, kept by its worker.
    std::atomic<bool>* sessionAbort = nullptr;
    bool running = false;
    enum class Then { Nothing, Pause, Cancel } then = Then::Nothing;
    UniqueFd partLock;
  };

  struct Listing {
    std::string url;
    std::string folder;
    CrawlProgress progress;
    std::thread thread;
    bool done = false;
  };

  State(TransferStore* s, FetchLimits l, TransferEvents e)
      : store(s), events(std::move(e)), limits(l) {}

  TransferStore* const store;
  const TransferEvents events;
  mutable std::mutex lock;
  std::condition_variable wake;
  FetchLimits limits;
  std::vector<std::unique_ptr<Item>> items;  // in the order queued
  std::map<std::string, int> busy;           // workers' sessions per server
  struct Kept;
  std::set<Kept*> kepts;          // those sessions, to stop at the end
  std::set<std::string> targets;  // of those fetching
  int running = 0;
  int partLocks = 0;
  std::vector<std::thread> workers;
  std::list<std::unique_ptr<Listing>> listings;
  bool stopping = false;
  bool hadWork = false;
  int done = 0;
  int failed = 0;
  Clock::time_point lastChanged;
  int64_t nextId = 1;  // without a store; negative for those a store could not keep

  std::unique_ptr<Item> MakeItem(Transfer t) {
    auto item = std::make_unique<Item>();
    FtpUrlParts parts;
    ParseFtpUrl(t.url.c_str(), parts);
    item->server = ServerKey(parts);
    item->login = std::string(parts.user) + '\0' + parts.password + '\0' + item->server;
    item->slotHost = parts.host;
    item->target = t.folder + '\0' + SafeLocalName(UrlFileName(parts.path));
    item->t = std::move(t);
    return item;
  }

  Item* Find(int64_t id) const {
    for (const auto& item : items)
      if (item->t.id == id) return item.get();
    return nullptr;
  }

  // Held while the transfer is not fetching.
  void HoldPart(Item& item) {
    if (item.partLock.valid() || partLocks >= MaxPartLocks || item.t.state == TransferState::Done)
      return;
    item.partLock = LockPart(item.t.path);
    if (item.partLock.valid()) ++partLocks;
  }
  UniqueFd LetPartGo(Item& item) {
    if (item.partLock.valid()) --partLocks;
    return std::move(item.partLock);
  }

  // The first queued transfer whose server has a session to spare; one of
  // login first when given, that of a session a worker has open.
  Item* Next(const std::string* login = nullptr) {
    if (running >= std::max(1, limits.atOnce)) return nullptr;
    const int perHost = std::max(1, limits.perHost);
    Item* first = nullptr;
    for (const auto& item : items) {
      if (item->running || item->t.state != TransferState::Queued) continue;
      if (login && item->login == *login && !targets.contains(item->target)) return item.get();
      if (first || busy[item->server] >= perHost || targets.contains(item->target)) continue;
      first = item.get();
      if (!login) break;
    }
    return first;
  }

  // Stops a running transfer, and the session under it, which is then not
  // used again: a stopped transfer may leave it out of step.
  static void Abort(Item& item) {
    item.abort = true;
    if (item.sessionAbort) *item.sessionAbort = true;
  }

  // Enough threads for what is queued, at most atOnce; a thread not to be
  // had leaves the work to those there are.
  void StartWorkers() {
    if (stopping) return;
    std::size_t queued = 0;
    for (const auto& item : items)
      if (!item->running && item->t.state == TransferState::Queued) ++queued;
    const auto wanted = std::min<std::size_t>(static_cast<std::size_t>(std::max(1, limits.atOnce)),
                                              static_cast<std::size_t>(running) + queued);
    while (workers.size() < wanted) {
      try {
        workers.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;
      }
    }
    wake.notify_all();
  }

  // Whether a progress-only change may be told now.
  bool ProgressDue() {
    const Clock::time_point now = Clock::now();
    if (stopping || now - lastChanged < std::chrono::milliseconds(events.progressEveryMs))
      return false;
    lastChanged = now;
    return true;
  }

  // After a state change, under the lock: whether to tell it, and the counts
  // for drained when the queue ran dry.
  struct Tell {
    bool changed = false;
    std::optional<std::pair<int, int>> drained;
  };
  Tell StateChanged() {
    Tell tell;
    if (stopping) return tell;
    lastChanged = Clock::now();
    tell.changed = true;
    const bool busyLeft = std::any_of(items.begin(), items.end(), [](const auto& item) {
      return item->running || item->t.state == TransferState::Queued;
    });
    if (hadWork && !busyLeft) {
      tell.drained = std::make_pair(done, failed);
      hadWork = false;
      done = failed = 0;
    }
    return tell;
  }
  void Say(const Tell& tell) const {
    if (tell.changed && events.changed) events.changed();
    if (tell.drained && events.drained) events.drained(tell.drained->first, tell.drained->second);
  }

  void Keep(const Transfer& t) const {
    if (!store || t.id <= 0) return;
    std::string error;
    store->UpdateTransfer(t, error);
  }
  void Forget(const std::vector<int64_t>& ids) const {
    std::vector<int64_t> kept;
    for (const int64_t id : ids)
      if (id > 0) kept.push_back(id);
    if (!store || kept.empty()) return;
    std::string error;
    store->RemoveTransfers(kept, error);
  }

  std::vector<int64_t> AddAll(std::vector<Transfer> ts) {
    std::vector<int64_t> ids;
    if (store) {
      std::string error;
      ids = store->AddTransfers(ts, error);
    }
    ids.resize(ts.size(), 0);
    std::unique_lock<std::mutex> hold(lock);
    for (std::size_t i = 0; i < ts.size(); ++i) {
      if (ids[i] == 0) ids[i] = store ? -(nextId++) : nextId++;
      ts[i].id = ids[i];
      items.push_back(MakeItem(std::move(ts[i])));
    }
    StartWorkers();
    const Tell tell = StateChanged();
    hold.unlock();
    Say(tell);
    return ids;
  }

  // A worker's session, kept open from one file of its server to the next so
  // that a folder of files costs one login, not one a file.
  struct Kept {
    std::unique_ptr<FtpSession> session;
    std::string server;  // busy counts it while set, the session being opened included
    std::string login;   // what the session logged in with
    std::string slotHost;
    bool slotTaken = false;  // of the sessions shared with exploring
    std::atomic<bool> abort{false};
  };

  // Closes the worker's session and gives back what it held; without the lock.
  void Drop(Kept& kept) {
    if (kept.session) kept.session->Quit();
    kept.session.reset();
    if (kept.slotTaken) SessionsPerHost.Give(kept.slotHost);
    kept.slotTaken = false;
    if (kept.server.empty()) return;
    std::lock_guard<std::mutex> hold(lock);
    if (--busy[kept.server] <= 0) busy.erase(kept.server);
    kept.server.clear();
    wake.notify_all();
  }

  FetchResult Fetch(Item& item, Kept& kept) {
    FetchRequest request;
    request.url = item.t.url;
    request.folder = item.t.folder;
    request.size = item.t.size;
    const auto stopped = [] {
      FetchResult r;
      r.outcome = FetchOutcome::Stopped;
      r.text = "stopped";
      return r;
    };
    for (int limitWaits = 0; !kept.session; ++limitWaits) {
      if (!kept.slotTaken) {
        if (!SessionsPerHost.Take(item.slotHost, item.abort)) return stopped();
        kept.slotTaken = true;
        kept.slotHost = item.slotHost;
      }
      kept.abort = item.abort.load();
      FetchResult failure;
      kept.session = OpenFetchSession(item.t.url, &kept.abort, failure);
      if (kept.session) break;
      SessionsPerHost.Give(kept.slotHost);
      kept.slotTaken = false;
      if (item.abort) return stopped();
      const std::optional<int> allowed = failure.connectionLimit;
      if (!allowed || limitWaits >= LimitWaitsMax) return failure;
      // Not the file's failure: the server is busy with other sessions of
      // ours. Fewer of them are let in, and this one tries again later.
      const int bound = SessionsPerHost.Lower(item.slotHost, *allowed);
      std::unique_lock<std::mutex> hold(lock);
      item.t.text = "waiting: the server allows " +
                    std::to_string(*allowed > 0 ? *allowed : bound) + " connections";
      const Tell tell = StateChanged();
      hold.unlock();
      Say(tell);
      hold.lock();
      const int64_t unit = LimitPauseUnitMs;
      const auto pause =
          std::chrono::milliseconds(std::min<int64_t>(5 * unit << limitWaits, 300 * unit));
      wake.wait_for(hold, pause, [&] { return stopping || item.abort.load(); });
      if (item.abort) return stopped();
    }
    return FetchFileOn(*kept.session, request, &item.abort, [&](const FetchProgress& p) {
      bool due = false;
      {
        std::lock_guard<std::mutex> hold(lock);
        item.t.bytes = p.bytes;
        if (p.total >= 0) item.t.size = p.total;
        item.t.rate = p.rate;
        due = ProgressDue();
      }
      if (due && events.changed) events.changed();
    });
  }

  void Work() {
    Kept kept;
    std::unique_lock<std::mutex> hold(lock);
    kepts.insert(&kept);
    for (;;) {
      Item* item = stopping ? nullptr : Next(kept.session ? &kept.login : nullptr);
      // An idle session holds a slot another server's file could use.
      if ((stopping || !item) && kept.session) {
        hold.unlock();
        Drop(kept);
        hold.lock();
        continue;
      }
      if (!item) wake.wait(hold, [&] { return stopping || (item = Next()) != nullptr; });
      if (stopping) break;
      const bool reuse = kept.session && kept.login == item->login;
      item->running = true;
      item->abort = false;
      item->sessionAbort = &kept.abort;
      item->then = Item::Then::Nothing;
      item->t.state = TransferState::Fetching;
      item->t.text.clear();
      item->t.rate = 0;
      ++running;
      if (!reuse) ++busy[item->server];
      targets.insert(item->target);
      hadWork = true;
      // Its own .part is let go for the fetch to go on from.
      LetPartGo(*item);
      const Transfer claimed = item->t;
      const Tell began = StateChanged();
      hold.unlock();
      if (!reuse) {
        Drop(kept);
        kept.server = item->server;
        kept.login = item->login;
      }
      Keep(claimed);
      Say(began);

      const FetchResult result = Fetch(*item, kept);
      // A stopped or broken session is not used again.
      const bool keep =
          kept.session && !kept.abort &&
          (result.outcome == FetchOutcome::Arrived || result.outcome == FetchOutcome::DiskFull ||
           (result.outcome == FetchOutcome::Failed && !result.sessionLost));
      hold.lock();
      Finish(hold, item, result);
      if (!keep) Drop(kept);
      hold.lock();
    }
    kepts.erase(&kept);
    hold.unlock();
    Drop(kept);
  }

  // A fetch's end, told and kept, the lock let go; the item is gone when it
  // was cancelled.
  void Finish(std::unique_lock<std::mutex>& hold, Item* item, const FetchResult& r) {
    item->running = false;
    item->sessionAbort = nullptr;
    --running;
    targets.erase(item->target);
    Transfer& t = item->t;
    t.rate = 0;
    if (!r.path.empty()) {
      t.path = r.path;
      t.bytes = r.bytes;
    }
    if (item->then == Item::Then::Cancel) {
      const int64_t id = t.id;
      const std::string part = r.outcome == FetchOutcome::Arrived ? std::string() : t.path;
      std::erase_if(items, [&](const auto& i) { return i.get() == item; });
      const Tell tell = StateChanged();
      hold.unlock();
      if (!part.empty()) RemovePart(part, {});
      Forget({id});
      Say(tell);
      wake.notify_all();
      return;
    }
    switch (r.outcome) {
      case FetchOutcome::Arrived:
        t.state = TransferState::Done;
        t.text.clear();
        if (t.size < 0) t.size = t.bytes;
        ++done;
        break;
      case FetchOutcome::Stopped:
        // Stopped by exit: queued, to go on at the next start.
        t.state = item->then == Item::Then::Pause ? TransferState::Paused : TransferState::Queued;
        t.text.clear();
        break;
      case FetchOutcome::DiskFull:
        t.state = TransferState::Failed;
        t.text = "disk full";
        ++failed;
        break;
      case FetchOutcome::Failed:
        t.state = TransferState::Failed;
        t.text = r.text;
        ++failed;
        break;
    }
    HoldPart(*item);
    const Transfer row = t;
    const Tell tell = StateChanged();
    hold.unlock();
    Keep(row);
    Say(tell);
    wake.notify_all();
  }

  void ListFolder(Listing& l) {
    FolderQueued report;
    report.url = l.url;
    std::string base = l.url;
    if (base.empty() || base.back() != '/') base += '/';
    const std::string root = l.folder + "/" + SafeLocalName(FolderNameOf(base));
    std::set<std::string> made;
    bool full = false;  // the bound of files was reached
    bool more = false;  // something was left out
    const auto onFolder = [&](const ListedFolder& f) {
      // The folder asked for, refused: nothing is queued, and that is why.
      if (f.path.empty() && f.state == CrawlFolderState::Failed) report.error = f.failure;
      const int depth = static_cast<int>(std::count(f.path.begin(), f.path.end(), '/'));
      std::vector<Transfer> batch;
      std::string error;
      const auto ensure = [&](const std::string& path) {
        return made.contains(path) || (MakeFolder(path, error) && made.insert(path).second);
      };
      std::string local = root;
      bool placed = ensure(local);
      for (std::size_t at = 0; placed && at < f.path.size();) {
        const std::size_t end = std::min(f.path.find('/', at), f.path.size());
        local += "/" + SafeLocalName(f.path.substr(at, end - at));
        placed = ensure(local);
        at = end + 1;
      }
      const std::string serverPath = f.serverPath.empty() ? f.path : f.serverPath;
      for (const ListingEntry& e : f.entries) {
        if (e.isFolder) {
          // A folder at the depth bound is not listed: what it holds is left out.
          if (depth >= FolderDepth && !e.isLink) more = true;
          if (full) more = true;
          continue;
        }
        if (full || report.files + static_cast<int64_t>(batch.size()) >= FolderFiles) {
          full = more = true;
          l.progress.stop = true;
          break;
        }
        Transfer t;
        const std::string name = ServerNameOf(e);
        t.url = base;
        t.url.append(serverPath).append(name);
        t.folder = local;
        t.size = e.size;
        batch.push_back(std::move(t));
      }
      if (!placed) {
        if (report.error.empty()) report.error = error;
        return;
      }
      if (report.files + static_cast<int64_t>(batch.size()) >= FolderFiles) {
        full = true;
        l.progress.stop = true;
      }
      report.files += static_cast<int64_t>(batch.size());
      if (!batch.empty()) AddAll(std::move(batch));
    };
    FolderQueue queue;
    CrawlLimits limits;
    limits.depth = FolderDepth;
    const Clock::time_point start = Clock::now();
    const CrawlOutcome outcome = CrawlSite(base, queue, limits, l.progress, onFolder);
    const bool bounded = l.progress.listed >= limits.folders ||
                         l.progress.entries >= limits.entries ||
                         Clock::now() - start >= std::chrono::seconds(limits.seconds);
    report.cut = more || (full && !queue.Empty()) || (outcome.finished && bounded);
    if (!outcome.finished && !full && report.error.empty()) report.error = outcome.text;
    std::unique_lock<std::mutex> hold(lock);
    l.done = true;
    const bool tell = !stopping;
    hold.unlock();
    if (tell && events.folderQueued) events.folderQueued(report);
  }
};

TransferQueue::TransferQueue(TransferStore* store, FetchLimits limits, TransferEvents events)
    : state_(std::make_unique<State>(store, limits, std::move(events))) {}

TransferQueue::~TransferQueue() {
  Stop();
  std::unique_lock<std::mutex> hold(state_->lock);
  std::list<std::unique_ptr<State::Listing>> listings = std::move(state_->listings);
  std::vector<std::thread> workers = std::move(state_->workers);
  hold.unlock();
  for (auto& l : listings) l->thread.join();
  for (std::thread& w : workers) w.join();
}

void TransferQueue::Stop() {
  State& s = *state_;
  std::lock_guard<std::mutex> hold(s.lock);
  s.stopping = true;
  for (const auto& item : s.items)
    if (item->running) State::Abort(*item);
  for (State::Kept* kept : s.kepts) kept->abort = true;
  for (const auto& l : s.listings) l->progress.stop = true;
  s.wake.notify_all();
}

bool TransferQueue::Load(std::string& error) {
  State& s = *state_;
  if (!s.store) return true;
  error.clear();
  std::vector<Transfer> rows = s.store->LoadTransfers(error);
  if (!error.empty()) return false;
  std::unique_lock<std::mutex> hold(s.lock);
  std::vector<std::unique_ptr<State::Item>> loaded;
  for (Transfer& row : rows) {
    if (s.Find(row.id)) continue;
    // Fetching when the program ended: it goes on from its .part.
    if (row.state == TransferState::Fetching) row.state = TransferState::Queued;
    row.rate = 0;
    loaded.push_back(s.MakeItem(std::move(row)));
    s.HoldPart(*loaded.back());
  }
  // Kept from before, so ahead of any added meanwhile.
  s.items.insert(s.items.begin(), std::make_move_iterator(loaded.begin()),
                 std::make_move_iterator(loaded.end()));
  s.StartWorkers();
  const State::Tell tell = s.StateChanged();
  hold.unlock();
  s.Say(tell);
  return true;
}

int64_t TransferQueue::Add(const std::string& url, const std::string& folder, int64_t size) {
  Transfer t;
  t.url = url;
  t.folder = folder;
  t.size = size;
  return state_->AddAll({t}).front();
}

void TransferQueue::AddFolder(const std::string& url, const std::string& folder) {
  State& s = *state_;
  auto listing = std::make_unique<State::Listing>();
  listing->url = url;
  listing->folder = folder;
  State::Listing* l = listing.get();
  std::list<std::unique_ptr<State::Listing>> ended;
  bool started = false;
  {
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.stopping) return;
    for (auto it = s.listings.begin(); it != s.listings.end();) {
      auto next = std::next(it);
      if ((*it)->done) ended.splice(ended.end(), s.listings, it);
      it = next;
    }
    try {
      l->thread = std::thread([&s, l] { s.ListFolder(*l); });
      s.listings.push_back(std::move(listing));
      started = true;
    } catch (const std::system_error&) {
    }
  }
  for (auto& e : ended) e->thread.join();
  if (!started && s.events.folderQueued)
    s.events.folderQueued({url, 0, false, "no thread could be started to list it"});
}

void TransferQueue::Pause(int64_t id) {
  State& s = *state_;
  std::unique_lock<std::mutex> hold(s.lock);
  State::Item* item = s.Find(id);
  if (!item) return;
  if (item->running) {
    item->then = State::Item::Then::Pause;
    State::Abort(*item);
    s.wake.notify_all();
    return;
  }
  if (item->t.state != TransferState::Queued) return;
  item->t.state = TransferState::Paused;
  const Transfer row = item->t;
  const State::Tell tell = s.StateChanged();
  hold.unlock();
  s.Keep(row);
  s.Say(tell);
}

void TransferQueue::Resume(int64_t id) {
  State& s = *state_;
  std::unique_lock<std::mutex> hold(s.lock);
  State::Item* item = s.Find(id);
  if (!item || item->running ||
      (item->t.state != TransferState::Paused && item->t.state != TransferState::Failed))
    return;
  item->t.state = TransferState::Queued;
  item->t.text.clear();
  const Transfer row = item->t;
  s.StartWorkers();
  const State::Tell tell = s.StateChanged();
  hold.unlock();
  s.Keep(row);
  s.Say(tell);
}

void TransferQueue::Retry(int64_t id) {
  {
    std::lock_guard<std::mutex> hold(state_->lock);
    const State::Item* item = state_->Find(id);
    if (!item || item->t.state != TransferState::Failed) return;
  }
  Resume(id);
}

void TransferQueue::Cancel(int64_t id) {
  State& s = *state_;
  std::unique_lock<std::mutex> hold(s.lock);
  State::Item* item = s.Find(id);
  if (!item) return;
  if (item->running) {
    // Its worker removes it once the fetch has stopped.
    item->then = State::Item::Then::Cancel;
    State::Abort(*item);
    s.wake.notify_all();
    return;
  }
  const bool arrived = item->t.state == TransferState::Done;
  const std::string part = item->t.path;
  UniqueFd held = s.LetPartGo(*item);
  std::erase_if(s.items, [&](const auto& i) { return i.get() == item; });
  const State::Tell tell = s.StateChanged();
  hold.unlock();
  // An arrived file is the user's, whatever its name.
  if (!arrived) RemovePart(part, std::move(held));
  s.Forget({id});
  s.Say(tell);
}

void TransferQueue::RemoveFinished() {
  State& s = *state_;
  std::unique_lock<std::mutex> hold(s.lock);
  std::vector<int64_t> ids;
  std::erase_if(s.items, [&](const auto& item) {
    if (item->running || item->t.state != TransferState::Done) return false;
    ids.push_back(item->t.id);
    return true;
  });
  if (ids.empty()) return;
  const State::Tell tell = s.StateChanged();
  hold.unlock();
  s.Forget(ids);
  s.Say(tell);
}

void TransferQueue::SetLimits(const FetchLimits& limits) {
  std::lock_guard<std::mutex> hold(state_->lock);
  state_->limits = limits;
  state_->StartWorkers();
}

std::vector<Transfer> TransferQueue::Snapshot() const {
  std::lock_guard<std::mutex> hold(state_->lock);
  std::vector<Transfer> out;
  out.reserve(state_->items.size());
  for (const auto& item : state_->items) out.push_back(item->t);
  return out;
}

TransferTotals TransferQueue::Totals() const {
  std::lock_guard<std::mutex> hold(state_->lock);
  TransferTotals totals;
  for (const auto& item : state_->items) {
    const Transfer& t = item->t;
    if (t.state == TransferState::Queued) ++totals.queued;
    if (t.state != TransferState::Fetching) continue;
    ++totals.fetching;
    totals.bytes += t.bytes;
    if (t.size >= 0) totals.total += t.size;
    totals.rate += t.rate;
  }
  return totals;
}

}  // namespace qb

// Explores sites on misbehaving servers for a given time with many sessions,
// while searches are reset, cleared and started anew every few seconds; checks
// the site table all along and, at the end, that memory, descriptors and
// threads are back where they were.
//   soak [SECONDS] [SESSIONS]
#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "explore/exploration_scheduler.h"
#include "tests/hostile/ftp_dialogue.h"
#include "tests/hostile/hostile_server.h"
#include "tests/support/wait.h"

using namespace qb;
using namespace std::chrono_literals;
using qbtest::FtpBehaviour;
using qbtest::HostileServer;
using Clock = std::chrono::steady_clock;

namespace {

int Failures = 0;

#define SOAK_CHECK(cond)                                                    \
  do {                                                                      \
    if (!(cond)) {                                                          \
      std::fprintf(stderr, "soak: %s:%d: %s\n", __FILE__, __LINE__, #cond); \
      ++Failures;                                                           \
    }                                                                       \
  } while (0)

int CountEntries(const char* folder) {
  DIR* dir = opendir(folder);
  if (!dir) return -1;
  int n = 0;
  while (const dirent* e = readdir(dir)) n += e->d_name[0] != '.';
  closedir(dir);
  return n;
}

// Resident memory once freed memory is handed back, so that what is counted is
// what is held, not what the allocator keeps for later.
long RssKiB() {
  malloc_trim(0);
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

const std::string SmallListing =
    "-rw-r--r-- 1 ftp ftp 123456 Jan 12 10:30 a.zip\r\n"
    "drwxr-xr-x 2 ftp ftp 512 Jan 12 1999 sub\r\n"
    "-rw-r--r-- 1 ftp ftp 99 Jan 12 1999 b.txt\r\n";

// Every class of misbehaviour the hostile tests know, one per connection in turn.
void Misbehave(HostileServer& s, int fd, int kind) {
  FtpBehaviour b;
  switch (kind % 9) {
    case 0:  // polite
      b.list = qbtest::SendListing([n = 0](std::string& chunk) mutable {
        chunk = SmallListing;
        return n++ == 0;
      });
      break;
    case 1:  // stalls after the greeting
      s.Send(fd, "220 hello\r\n");
      s.Pause(2s);
      return;
    case 2:  // trickles its replies
      b.beforeReply = [](HostileServer& server) { return server.Pause(30ms); };
      b.list = qbtest::SendListing([n = 0](std::string& chunk) mutable {
        chunk = SmallListing;
        return n++ == 0;
      });
      break;
    case 3: {  // floods the control connection
      std::string flood;
      for (int i = 0; i < 200; ++i) flood += "220 flood\r\n";
      for (int i = 0; i < 2000 && s.Send(fd, flood); ++i) {
      }
      return;
    }
    case 4:  // resets at once
      return;
    case 5:  // never opens the data connection
      b.list = [](HostileServer&, const qbtest::FtpSessionState&) {};
      break;
    case 6:  // delivers from a foreign address
      b.list = qbtest::SendListing(
          [n = 0](std::string& chunk) mutable {
            chunk = SmallListing;
            return n++ == 0;
          },
          "127.0.0.2");
      break;
    case 7:  // a listing far over the cap
      b.list = qbtest::SendListing([n = 0](std::string& chunk) mutable {
        chunk.assign(64 * 1024, 'x');
        chunk += "\r\n";
        return n++ < 64;
      });
      break;
    default:  // refuses the download
      b.retr = "550 No";
      b.list = qbtest::SendListing([n = 0](std::string& chunk) mutable {
        chunk = SmallListing;
        return n++ == 0;
      });
      break;
  }
  qbtest::ServeFtp(s, fd, b);
}

void CheckTable() {
  std::lock_guard<std::mutex> hold(SiteTableLock);
  const int n = SiteTable.count;
  SOAK_CHECK(n >= 0 && n <= SiteCapacity);
  for (int i = 0; i < n; ++i) {
    const SiteEntry* e = SiteTable.slots[i].get();
    SOAK_CHECK(e != nullptr);
    if (!e) continue;
    SOAK_CHECK(strnlen(e->url, sizeof e->url) < sizeof e->url);
    const int32_t status = e->status;
    SOAK_CHECK(status == Waiting || status == Exploring || status == Ok || status == Failed ||
               status == Refused);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const int sessions = argc > 2 ? std::atoi(argv[2]) : 32;
  if (seconds < 5 || sessions < 1) {
    std::fprintf(stderr, "usage: %s [SECONDS >= 5] [SESSIONS]\n", argv[0]);
    return 2;
  }
  Settings.MinConnect = sessions;
  Settings.HttpTimeOut = 1;
  Settings.NbRetry = 2;
  Settings.VerifyTimeOut = 0;

  const int fdsAtStart = CountEntries("/proc/self/fd");
  const int threadsAtStart = CountEntries("/proc/self/task");

  // One server per session and some more, so the one-session-per-server rule
  // never holds the sessions back.
  std::atomic<int> connections{0};
  std::vector<std::unique_ptr<HostileServer>> servers;
  for (int i = 0; i < sessions * 2; ++i) {
    servers.push_back(std::make_unique<HostileServer>(
        [&connections](HostileServer& s, int fd) { Misbehave(s, fd, connections++); }));
  }
  const int fdsWithServers = CountEntries("/proc/self/fd");
  const int threadsWithServers = CountEntries("/proc/self/task");

  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  // The allocator's per-thread arenas take about half a minute of full load to
  // settle; growth measured from before that is theirs, not a leak's.
  const auto warm = start + std::chrono::seconds(std::max(seconds / 5, std::min(30, seconds / 2)));
  long rssWarm = 0;
  int round = 0;
  while (Clock::now() < end) {
    // A new search, a clear or a reset, in turn, every few seconds.
    switch (round++ % 3) {
      case 0:
        ResetSites();
        break;
      case 1:
        ClearSites();
        break;
      default:
        break;  // the earlier sites stay and new ones join them
    }
    for (std::size_t i = 0; i < servers.size(); ++i) {
      std::string url = servers[i]->FtpUrl("/pub" + std::to_string(round) + "/");
      bool added = false;
      AddUniqueSite(url, added, false);
    }
    StartExplorationScheduler();
    const auto next = Clock::now() + 3s;
    while (Clock::now() < next && Clock::now() < end) {
      CheckTable();
      std::this_thread::sleep_for(50ms);
    }
    if (rssWarm == 0 && Clock::now() >= warm) rssWarm = RssKiB();
  }
  ResetSites();
  // Every worker and scheduler ends within a few time-outs of the reset.
  const bool quiet = qbtest::WaitUntil(
      [&] {
        return LiveSchedulers() == 0 && CountEntries("/proc/self/task") == threadsWithServers;
      },
      60s);
  SOAK_CHECK(quiet);
  const long rssEnd = RssKiB();
  const int fdsEnd = CountEntries("/proc/self/fd");
  const int threadsEnd = CountEntries("/proc/self/task");
  SOAK_CHECK(fdsEnd == fdsWithServers);

  for (auto& s : servers) s->Stop();
  servers.clear();
  const int fdsAfterServers = CountEntries("/proc/self/fd");
  const int threadsAfterServers = CountEntries("/proc/self/task");
  SOAK_CHECK(fdsAfterServers == fdsAtStart);
  SOAK_CHECK(threadsAfterServers == threadsAtStart);
  // Sanitizer builds keep freed memory in quarantine; the bound is for plain builds.
  const double growth = rssWarm > 0 ? static_cast<double>(rssEnd - rssWarm) / rssWarm : 0;
#if !defined(__SANITIZE_ADDRESS__)
  SOAK_CHECK(growth < 0.05);
#endif

  std::printf("soak: %d s, %d sessions, %d connections, %d rounds\n", seconds, sessions,
              connections.load(), round);
  std::printf("soak: RSS %ld KiB after warm-up, %ld KiB at the end (%+.1f %%)\n", rssWarm, rssEnd,
              growth * 100);
  std::printf("soak: descriptors %d at start, %d with servers, %d at the end, %d after servers\n",
              fdsAtStart, fdsWithServers, fdsEnd, fdsAfterServers);
  std::printf("soak: threads %d at start, %d with servers, %d at the end, %d after servers\n",
              threadsAtStart, threadsWithServers, threadsEnd, threadsAfterServers);
  std::printf("soak: %s\n", Failures == 0 ? "passed" : "FAILED");
  return Failures == 0 ? 0 : 1;
}

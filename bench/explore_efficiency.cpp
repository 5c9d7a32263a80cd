// Run by hand: how close a whole exploration against a real FTP server comes to
// the ideal of S / N waves of one site's dialogue.
//   explore_efficiency [N sessions] [S sites]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "explore/exploration_scheduler.h"
#include "explore/site_worker.h"
#include "tests/support/pyftpd_fixture.h"
#include "tests/support/wait.h"

using namespace qb;

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const int sessions = argc > 1 ? std::atoi(argv[1]) : 8;
  const int sites = argc > 2 ? std::atoi(argv[2]) : 16;
  if (sessions < 1 || sites < 1 || sites > 200) {
    std::fprintf(stderr, "usage: %s [sessions 1..] [sites 1..200]\n", argv[0]);
    return 2;
  }
  Settings.HttpTimeOut = 50;
  Settings.VerifyTimeOut = 15;
  Settings.NbRetry = 4;

  qbtest::TempDir tree;
  tree.File("pub/small.bin", 1000);
  tree.File("pub/big.bin", 200000);
  tree.Folder("pub/docs");
  std::vector<std::string> addresses;
  for (int i = 0; i < sites; ++i) addresses.push_back("127.0.0." + std::to_string(i + 2));
  qbtest::PyFtpd server(tree.Path(), addresses);
  if (!server.Ready()) {
    std::fprintf(stderr, "the FTP server did not start\n");
    return 1;
  }

  // One site alone, straight through the worker.
  std::string url = server.Url("/pub/", 0);
  bool added = false;
  AddUniqueSite(url, added, true);
  auto entry = SiteAt(0);
  entry->status = Exploring;
  auto start = Clock::now();
  SiteWorker(entry);
  const double single = std::chrono::duration<double>(Clock::now() - start).count();
  if (entry->status != Ok) {
    std::fprintf(stderr, "single site did not end Ok: %s\n", entry->statusText.Get().c_str());
    return 1;
  }
  ResetSites();
  if (!qbtest::WaitUntil([] { return LiveSchedulers() == 0; }, std::chrono::minutes(1))) {
    std::fprintf(stderr, "the scheduler did not end\n");
    return 1;
  }

  for (int i = 0; i < sites; ++i) {
    std::string site = server.Url("/pub/", static_cast<std::size_t>(i));
    AddUniqueSite(site, added, true);
  }
  Settings.MinConnect = sessions;
  start = Clock::now();
  StartExplorationScheduler();
  if (!qbtest::WaitUntil([&] { return FinishedWorkers >= sites; }, std::chrono::minutes(10))) {
    std::fprintf(stderr, "the sites were not all explored\n");
    return 1;
  }
  const double whole = std::chrono::duration<double>(Clock::now() - start).count();
  int ok = 0;
  for (int i = 0; i < sites; ++i) ok += SiteAt(i)->status == Ok;
  ResetSites();

  const double waves = std::ceil(static_cast<double>(sites) / sessions);
  const double ideal = waves * single;
  std::printf("sessions %d, sites %d (%d ok)\n", sessions, sites, ok);
  std::printf("one site %.2f s, whole exploration %.2f s, ideal %.0f x %.2f = %.2f s\n", single,
              whole, waves, single, ideal);
  std::printf("ratio %.3f\n", whole / ideal);
  return ok == sites ? 0 : 1;
}

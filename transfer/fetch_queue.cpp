#include "transfer/fetch_queue.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "core/run_on_threads.h"
#include "net/ftp_url.h"

namespace qb {

std::vector<FetchResult> FetchAll(
    const std::vector<FetchRequest>& requests, const FetchLimits& limits,
    const std::atomic<bool>* abort,
    const std::function<void(std::size_t, const FetchProgress&)>& progress,
    const std::function<void(std::size_t, const FetchResult&)>& done) {
  std::vector<FetchResult> results(requests.size());
  std::vector<std::string> hosts;
  hosts.reserve(requests.size());
  for (const FetchRequest& r : requests) hosts.push_back(ServerKey(r.url.c_str()));
  std::vector<bool> begun(requests.size(), false);
  std::map<std::string, int> busy;
  std::mutex lock;
  std::condition_variable freed;
  std::size_t left = requests.size();
  const int perHost = std::max(1, limits.perHost);

  const auto work = [&] {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      if (left == 0) return;
      const bool stopping = abort != nullptr && abort->load();
      // The first not begun whose server has a session to spare.
      std::size_t i = 0;
      for (; i < requests.size(); ++i) {
        if (!begun[i] && (stopping || busy[hosts[i]] < perHost)) break;
      }
      if (i == requests.size()) {
        freed.wait(hold);
        continue;
      }
      begun[i] = true;
      --left;
      if (stopping) {
        results[i].outcome = FetchOutcome::Stopped;
        results[i].text = "stopped";
        if (done) done(i, results[i]);
        continue;
      }
      ++busy[hosts[i]];
      hold.unlock();
      FetchResult result = FetchFile(requests[i], abort, [&, i](const FetchProgress& p) {
        if (progress) progress(i, p);
      });
      if (done) done(i, result);
      hold.lock();
      results[i] = std::move(result);
      --busy[hosts[i]];
      freed.notify_all();
    }
  };
  const std::size_t wanted =
      std::min(requests.size(), static_cast<std::size_t>(std::max(1, limits.atOnce)));
  RunOnThreads(wanted, [&](std::size_t) { work(); });
  return results;
}

}  // namespace qb

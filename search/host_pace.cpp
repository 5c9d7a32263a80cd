#include "search/host_pace.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>

#include "core/text_helpers.h"

namespace qb {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds CheckStep{20};
constexpr std::size_t HostsKept = 256;

std::mutex paceLock;
std::map<std::string, Clock::time_point> nextAllowed;

}  // namespace

std::string PaceKey(const std::string& url) {
  std::size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  std::size_t end = url.find_first_of("/?#", start);
  if (end == std::string::npos) end = url.size();
  std::string key = url.substr(start, end - start);
  if (const std::size_t at = key.rfind('@'); at != std::string::npos) key.erase(0, at + 1);
  for (char& c : key) c = AsciiLower(c);
  return key;
}

bool WaitForHost(const std::string& url, std::chrono::milliseconds pause,
                 const std::function<bool()>& goOn) {
  const std::string key = PaceKey(url);
  Clock::time_point slot;
  {
    std::lock_guard<std::mutex> hold(paceLock);
    const Clock::time_point now = Clock::now();
    if (nextAllowed.size() >= HostsKept) {
      std::erase_if(nextAllowed, [&](const auto& entry) { return entry.second <= now; });
    }
    auto [entry, added] = nextAllowed.try_emplace(key, now);
    slot = std::max(entry->second, now);
    // Taken at once, so engines waiting for one host are served one by one.
    entry->second = slot + pause;
  }
  while (Clock::now() < slot) {
    if (goOn && !goOn()) return false;
    std::this_thread::sleep_for(std::min<Clock::duration>(CheckStep, slot - Clock::now()));
  }
  return !goOn || goOn();
}

void DeferHost(const std::string& url, std::chrono::milliseconds wait) {
  const std::string key = PaceKey(url);
  std::lock_guard<std::mutex> hold(paceLock);
  const Clock::time_point until = Clock::now() + wait;
  auto [entry, added] = nextAllowed.try_emplace(key, until);
  entry->second = std::max(entry->second, until);
}

}  // namespace qb

#include "explore/host_slots.h"

#include <algorithm>
#include <chrono>

namespace qb {

HostSlots SessionsPerHost;

bool HostSlots::Take(const std::string& host, const std::atomic<bool>& dropped) {
  std::unique_lock<std::mutex> hold(lock_);
  Host& h = hosts_[host];
  // The wait wakes now and then to see whether the site was dropped.
  while (h.bound > 0 && h.running >= h.bound) {
    if (dropped) return false;
    freed_.wait_for(hold, std::chrono::milliseconds(50));
  }
  if (dropped) return false;
  ++h.running;
  return true;
}

void HostSlots::Give(const std::string& host) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = hosts_.find(host);
    if (found == hosts_.end()) return;
    if (found->second.running > 0) --found->second.running;
    if (found->second.running == 0 && found->second.bound == 0) hosts_.erase(found);
  }
  freed_.notify_all();
}

int HostSlots::Lower(const std::string& host, int allowed) {
  std::lock_guard<std::mutex> hold(lock_);
  Host& h = hosts_[host];
  // One below what it allows: another client of the same machine may hold a
  // session there too.
  const int wanted = allowed > 0 ? allowed - 1 : std::max(h.running, h.bound) - 1;
  const int lowered = std::max(1, wanted);
  h.bound = h.bound > 0 ? std::min(h.bound, lowered) : lowered;
  return h.bound;
}

void HostSlots::Clear() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    for (auto it = hosts_.begin(); it != hosts_.end();) {
      it->second.bound = 0;
      it = it->second.running == 0 ? hosts_.erase(it) : std::next(it);
    }
  }
  freed_.notify_all();
}

}  // namespace qb

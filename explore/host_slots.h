#pragma once
// Sessions per host: unbounded until a server says it allows fewer, then held
// to what it allows, so that the sites of one server wait their turn instead
// of failing.
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace qb {

class HostSlots {
 public:
  // Waits for a free session of host; false once dropped is set.
  bool Take(const std::string& host, const std::atomic<bool>& dropped);
  void Give(const std::string& host);
  // The server turned a session away, allowing this many (0: it did not say):
  // the host's bound becomes one fewer, or one fewer than it has running, at
  // least one. The new bound.
  int Lower(const std::string& host, int allowed);
  // Forgets every bound (a new search).
  void Clear();

 private:
  struct Host {
    int running = 0;
    int bound = 0;  // 0: none
  };
  std::mutex lock_;
  std::condition_variable freed_;
  std::map<std::string, Host> hosts_;
};

extern HostSlots SessionsPerHost;

}  // namespace qb

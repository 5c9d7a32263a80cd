#pragma once
// One program per user and display: the first start listens on a local socket,
// and a later start hands it the sites it was given (none: just show yourself)
// instead of opening a second window.
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qb {

// $XDG_RUNTIME_DIR/quillbrook-<display>.sock, else under /tmp with the user id;
// empty when no display is named or the path would not fit a socket address.
std::string InstanceSocketPath();

class SingleInstance {
 public:
  explicit SingleInstance(std::string socketPath);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  enum class Claim { First, HandedOver, NoAnswer };
  // First: this process now listens (also when no socket can be used at all).
  // HandedOver: a running program took urls. NoAnswer: one is running but did
  // not confirm within a few seconds.
  Claim ClaimOrHand(const std::vector<std::string>& urls);

  // Calls onMessage on its own thread with each later start's sites.
  void Serve(std::function<void(std::vector<std::string>)> onMessage);

 private:
  std::string path_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace qb

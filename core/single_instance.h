#pragma once
// One program per user and display: the first start listens on a local socket,
// and a later start hands it the sites it was given (none: just show yourself)
// instead of opening a second window.
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qb {

// $XDG_RUNTIME_DIR/quillbrook-<display>.sock, else in /tmp/quillbrook-<uid>/;
// empty when no display is named, the path would not fit a socket address, or
// the folder is not this user's alone (a link, another owner, open to others).
std::string InstanceSocketPath();

// A folder, not a link, owned by this user and closed to everyone else.
bool IsPrivateFolder(const std::string& path);

class SingleInstance {
 public:
  explicit SingleInstance(std::string socketPath);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  enum class Claim { First, HandedOver, NoAnswer };
  // First: this process now listens (also when no socket can be used at all,
  // and then Alone says why). HandedOver: a running program took urls.
  // NoAnswer: one is running but did not confirm within a few seconds.
  Claim ClaimOrHand(const std::vector<std::string>& urls);
  // Why this start runs without a door for later ones; empty when it has one or
  // none was asked for.
  const std::string& Alone() const { return alone_; }

  // Calls onMessage on its own thread with each later start's sites.
  void Serve(std::function<void(std::vector<std::string>)> onMessage);

 private:
  std::string path_;
  std::string alone_;
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace qb

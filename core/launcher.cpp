#include "core/launcher.h"

#include <mutex>

namespace qb {

namespace {
std::mutex launcherLock;
std::function<void(LaunchKind, const std::string&)> installed;

bool Launch(LaunchKind kind, const std::string& target) {
  std::function<void(LaunchKind, const std::string&)> fn;
  {
    std::lock_guard<std::mutex> hold(launcherLock);
    fn = installed;
  }
  if (!fn) return false;
  fn(kind, target);
  return true;
}
}  // namespace

void SetLauncher(std::function<void(LaunchKind, const std::string&)> launcher) {
  std::lock_guard<std::mutex> hold(launcherLock);
  installed = std::move(launcher);
}

bool LaunchBrowser(const std::string& url) { return Launch(LaunchKind::Browser, url); }
bool LaunchDocument(const std::string& path) { return Launch(LaunchKind::Document, path); }

}  // namespace qb

#include "core/download_folder.h"

#include <cstdlib>
#include <fstream>
#include <mutex>

#include "core/program_folders.h"

namespace qb {

namespace {

std::mutex chosenLock;
std::string chosen;

// The value of XDG_DOWNLOAD_DIR in user-dirs.dirs: "$HOME/..." or an
// absolute path, in double quotes with backslash escapes.
std::string FromUserDirs(const std::string& home) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string file =
      (config != nullptr && config[0] == '/' ? std::string(config) : home + "/.config") +
      "/user-dirs.dirs";
  std::ifstream in(file);
  std::string line;
  const std::string key = "XDG_DOWNLOAD_DIR=\"";
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string value;
    std::size_t i = key.size();
    for (; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) ++i;
      value += line[i];
    }
    if (i == line.size()) return {};  // no closing quote
    if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/'))
      value.replace(0, 5, home);
    if (value.empty() || value[0] != '/') return {};
    while (value.size() > 1 && value.back() == '/') value.pop_back();
    // The home folder itself means the desktop has none of its own.
    return value == home ? std::string() : value;
  }
  return {};
}

}  // namespace

std::string DesktopDownloadFolder() {
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  std::string folder = FromUserDirs(home);
  return folder.empty() ? home + "/Downloads" : folder;
}

std::string DownloadFolder() {
  {
    const std::lock_guard<std::mutex> hold(chosenLock);
    if (!chosen.empty()) return chosen;
  }
  return DesktopDownloadFolder();
}

void SetDownloadFolder(const std::string& folder) {
  const std::lock_guard<std::mutex> hold(chosenLock);
  chosen = folder;
}

std::string ChosenDownloadFolder() {
  const std::lock_guard<std::mutex> hold(chosenLock);
  return chosen;
}

}  // namespace qb

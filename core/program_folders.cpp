#include "core/program_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "core/settings.h"

namespace qb {

std::string SharedDir;
std::string ConfigDir;

namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

// The XDG rule: the variable when it holds an absolute path, else the default
// under the home folder.
std::string XdgFolder(const char* variable, const char* underHome) {
  if (const char* xdg = std::getenv(variable); xdg && *xdg == '/') {
    return std::string(xdg) + "/quillbrook/";
  }
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + underHome + "quillbrook/";
}

}  // namespace

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
  // Without HOME, the password database's; never a folder others share.
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && found->pw_dir[0] == '/')
    return found->pw_dir;
  return {};
}

std::string UserConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config/"); }

std::string UserDataFolder() { return XdgFolder("XDG_DATA_HOME", "/.local/share/"); }

ProgramFolders LocateProgramFolders(const std::string& exeDir) {
  // The resource library in the install tree's lib/ marks an installed program;
  // otherwise it is a build tree or portable copy (whose missing library is then
  // reported where the user would put it).
  const std::string prefix = exeDir + "../";
  const std::string installed = prefix + "lib/quillbrook/";
  if (!Exists(exeDir + ResourceLibraryName) && Exists(installed + ResourceLibraryName)) {
    return {installed, prefix + "share/quillbrook/", UserConfigFolder()};
  }
  const bool writable = access(exeDir.c_str(), W_OK) == 0;
  return {exeDir, exeDir, writable ? exeDir : UserConfigFolder()};
}

std::string SharedPath(const char* name) { return (SharedDir.empty() ? ExeDir : SharedDir) + name; }

std::string ConfigPath(const char* name) { return (ConfigDir.empty() ? ExeDir : ConfigDir) + name; }

bool MakeParentFolder(const std::string& path) {
  const fs::path folder = fs::path(path).parent_path();
  if (folder.empty()) return true;
  // Each folder made here is the user's alone; those that exist stay as they are.
  std::vector<fs::path> missing;
  std::error_code error;
  for (fs::path p = folder; !p.empty() && !fs::exists(p, error); p = p.parent_path()) {
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  std::reverse(missing.begin(), missing.end());  // outermost first
  for (const fs::path& p : missing) {
    if (mkdir(p.c_str(), S_IRWXU) != 0 && errno != EEXIST) return false;
  }
  return fs::is_directory(folder, error);
}

}  // namespace qb

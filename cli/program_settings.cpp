#include "cli/program_settings.h"

#include <unistd.h>

#include <climits>
#include <string>

#include "cli/usage.h"
#include "core/program_folders.h"
#include "core/settings.h"

namespace qb {

namespace {

std::string ExecutableDir() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  const std::string exe(path, static_cast<std::size_t>(n));
  return exe.substr(0, exe.rfind('/') + 1);
}

}  // namespace

// Without a home folder there is nowhere of the user's own for the settings;
// the executable's folder or the working one would be shared or not the user's.
bool LoadProgramSettings() {
  ExeDir = ExecutableDir();
  const ProgramFolders folders = LocateProgramFolders(ExeDir);
  if (folders.config.empty()) {
    Warn("no home folder for the settings: set HOME or XDG_CONFIG_HOME");
    return false;
  }
  SharedDir = folders.shared;
  ConfigDir = folders.config;
  LoadSettings();
  return true;
}

}  // namespace qb

#pragma once
// Where the program's own files are, and where it keeps the user's: beside the
// executable when it runs from its build tree or a portable copy; otherwise in
// the install tree's lib/ and share/ folders and the user's configuration folder.
#include <string>

namespace qb {

inline constexpr const char* ResourceLibraryName = "FtpRes.so";

struct ProgramFolders {
  std::string resources;  // the resource library
  std::string shared;     // animation and help
  std::string config;     // settings file, version.txt; made on first write
};

// exeDir and every folder returned end with "/".
ProgramFolders LocateProgramFolders(const std::string& exeDir);

// $HOME, else the password database's home folder; empty when neither names one.
std::string HomeFolder();
// $XDG_CONFIG_HOME/quillbrook/, else under the home folder's .config/; empty
// when there is no home folder (never a shared folder such as /tmp).
std::string UserConfigFolder();
// $XDG_DATA_HOME/quillbrook/, else under the home folder's .local/share/: the
// local index; empty like UserConfigFolder.
std::string UserDataFolder();

// Set at start-up; while empty, the executable's folder (ExeDir) stands in.
extern std::string SharedDir;
extern std::string ConfigDir;
std::string SharedPath(const char* name);
std::string ConfigPath(const char* name);

// Makes the folder holding path when it is missing, each new folder readable by
// the user alone; false when it cannot.
bool MakeParentFolder(const std::string& path);

}  // namespace qb

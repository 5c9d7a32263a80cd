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

// $XDG_CONFIG_HOME/quillbrook/, else $HOME/.config/quillbrook/.
std::string UserConfigFolder();
// $XDG_DATA_HOME/quillbrook/, else $HOME/.local/share/quillbrook/: the local index.
std::string UserDataFolder();

// Set at start-up; while empty, the executable's folder (ExeDir) stands in.
extern std::string SharedDir;
extern std::string ConfigDir;
std::string SharedPath(const char* name);
std::string ConfigPath(const char* name);

// Makes the folder holding path when it is missing; false when it cannot.
bool MakeParentFolder(const std::string& path);

}  // namespace qb

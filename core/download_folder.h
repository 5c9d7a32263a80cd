#pragma once
// Where downloads go: the folder the user chose, else the desktop's download
// folder ("XDG_DOWNLOAD_DIR" of user-dirs.dirs), else ~/Downloads.
#include <string>

namespace qb {

// The desktop's download folder; empty when there is no home folder.
std::string DesktopDownloadFolder();
// The chosen one when set, else the desktop's. Safe from any thread.
std::string DownloadFolder();
// Empty goes back to the desktop's; kept by Load/SaveSettings.
void SetDownloadFolder(const std::string& folder);
std::string ChosenDownloadFolder();

}  // namespace qb

#pragma once
// The application object and the frame window around the main dialog.
#include <wx/app.h>
#include <wx/frame.h>

#include <string>
#include <vector>

namespace qb {

class SingleInstance;
class TD;

inline constexpr const char* FrameTitle = " FTP Quillbrook v 0.31";
// The File menu's first item, added to the resource's menu bar.
inline constexpr int IdAddSites = 4090;

class TFW : public wxFrame {
 public:
  // The frame with menu 1 and the program's icon, at the screen's top left.
  TFW();
  void SetClient(TD* client) { client_ = client; }

 private:
  // Menu commands and their enabling go to the client, which owns them.
  bool TryBefore(wxEvent& event) override;
  void OnClose(wxCloseEvent& event);
  void OnAddSites(wxCommandEvent& event);

  TD* client_ = nullptr;
  bool forwarding_ = false;

  wxDECLARE_EVENT_TABLE();
};

class DApp : public wxApp {
 public:
  // Installs the UI door and the launcher, then makes the frame and the main dialog.
  bool OnInit() override;
  // Threads that still post to the windows are turned away from here on.
  int OnExit() override;
};

// What main() found before the toolkit starts: the sites given on the command
// line, and the door through which later starts hand over theirs.
void SetStartupRequest(std::vector<std::string> sites, SingleInstance* instance);

// The directory of an executable's full path, with its trailing "/".
std::string ExeDirOf(const std::string& exePath);

}  // namespace qb

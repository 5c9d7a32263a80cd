// Start-up: working directory, resource library, settings, then the window
// toolkit with the application object.
#include <limits.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_frame.h"
#include "core/settings.h"
#include "resources/resource_module.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {
namespace {
std::string ExecutablePath() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  path[n] = '\0';
  return path;
}

bool DisplayAvailable() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

// Shown on stderr always, in a box too when there is a screen to show it on.
void ReportStartFailure(int argc, char** argv, const std::string& text) {
  std::fprintf(stderr, "quillbrook: %s\n", text.c_str());
  if (!DisplayAvailable()) return;
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(argc, argv)) return;
  ShowMessage(nullptr, ToDisplayText(text), "FTP-ZEVO", MessageStyle::Error);
  wxEntryCleanup();
}
}  // namespace
}  // namespace qb

wxIMPLEMENT_APP_NO_MAIN(qb::DApp);

int main(int argc, char** argv) {
  using namespace qb;
  ExeDir = ExeDirOf(ExecutablePath());
  if (chdir(ExeDir.c_str()) != 0) {
    std::fprintf(stderr, "quillbrook: cannot change to %s\n", ExeDir.c_str());
  }
  std::string error;
  if (!ResourceModule::Load(ExeDir, &error)) {
    ReportStartFailure(argc, argv, error);
    return 1;
  }
  LoadSettings();
  return wxEntry(argc, argv);
}

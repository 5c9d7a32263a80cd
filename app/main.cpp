// Start-up: working directory, resource library, settings, then the window
// toolkit with the application object.
#include <limits.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_frame.h"
#include "core/given_sites.h"
#include "core/program_folders.h"
#include "core/settings.h"
#include "core/single_instance.h"
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

const char Usage[] =
    "Usage: quillbrook [OPTION] [SITE]...\n"
    "Finds files on public FTP servers: web search engines are asked for ftp:// folders,\n"
    "which are explored and shown with their files.\n"
    "\n"
    "Each SITE (an ftp:// URL, or a host name for its root folder) is explored at once,\n"
    "instead of a first search. When the program already runs on this display, the\n"
    "sites are handed to it and its window is raised.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n";

// --help and --version answer, and any other option is refused, before the
// toolkit starts: none of them needs a display. Other arguments are sites.
// -1 when the program should go on.
int AnswerOptions(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(Usage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("quillbrook %s\n", QB_VERSION);
      return 0;
    }
  }
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-') {
      std::fprintf(stderr, "quillbrook: unknown option %s\n%s", argv[i], Usage);
      return 2;
    }
  }
  return -1;
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
  if (const int answered = AnswerOptions(argc, argv); answered >= 0) return answered;
  std::vector<std::string> sites;
  for (int i = 1; i < argc; ++i) {
    const std::optional<std::string> url = GivenSiteUrl(argv[i]);
    if (!url) {
      std::fprintf(stderr, "quillbrook: not an FTP site: %s (see --help)\n", argv[i]);
      return 2;
    }
    sites.push_back(*url);
  }
  SingleInstance instance(InstanceSocketPath());
  switch (instance.ClaimOrHand(sites)) {
    case SingleInstance::Claim::HandedOver:
      std::fprintf(stderr, "quillbrook: handed over to the program already running\n");
      return 0;
    case SingleInstance::Claim::NoAnswer:
      std::fprintf(stderr, "quillbrook: the program already running did not answer\n");
      return 1;
    case SingleInstance::Claim::First:
      break;
  }
  ExeDir = ExeDirOf(ExecutablePath());
  if (chdir(ExeDir.c_str()) != 0) {
    std::fprintf(stderr, "quillbrook: cannot change to %s\n", ExeDir.c_str());
  }
  const ProgramFolders folders = LocateProgramFolders(ExeDir);
  SharedDir = folders.shared;
  ConfigDir = folders.config;
  std::string error;
  if (!ResourceModule::Load(folders.resources, &error)) {
    ReportStartFailure(argc, argv, error);
    return 1;
  }
  LoadSettings();
  SetStartupRequest(std::move(sites), &instance);
  // The sites are the program's; the toolkit sees no argument of theirs.
  int toolkitArgc = 1;
  return wxEntry(toolkitArgc, argv);
}

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
#include "core/password_text.h"
#include "core/program_folders.h"
#include "core/settings.h"
#include "core/single_instance.h"
#include "core/terminal_text.h"
#include "index/local_index.h"
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
      const std::string said = "quillbrook: unknown option " + TerminalText(argv[i]) + "\n";
      std::fputs(said.c_str(), stderr);
      std::fputs(Usage, stderr);
      return 2;
    }
  }
  return -1;
}

// Shown on stderr always, in a box too when there is a screen to show it on.
void ReportStartFailure(int argc, char** argv, const std::string& text) {
  PrintProblem("quillbrook", text);
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
  // A site that names none is reported and skipped, as the command-line
  // program and Add sites do; the others still go in.
  std::vector<std::string> sites;
  for (int i = 1; i < argc; ++i) {
    GivenSite site = ReadGivenSite(argv[i]);
    if (site.url)
      sites.push_back(std::move(*site.url));
    else if (!site.problem.empty())
      PrintProblem("quillbrook", "argument " + std::to_string(i) + ": " + site.problem);
    // Read: from here on the command line shows no password to other users.
    MaskGivenPassword(argv[i]);
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
  if (chdir(ExeDir.c_str()) != 0) PrintProblem("quillbrook", "cannot change to " + ExeDir);
  const ProgramFolders folders = LocateProgramFolders(ExeDir);
  // Without a home folder the settings would go beside the executable, a
  // folder that is not the user's own.
  if (folders.config.empty()) {
    ReportStartFailure(argc, argv,
                       "There is no home folder for the settings: set HOME or XDG_CONFIG_HOME.");
    return 1;
  }
  SharedDir = folders.shared;
  ConfigDir = folders.config;
  std::string error;
  if (!ResourceModule::Load(folders.resources, &error)) {
    ReportStartFailure(argc, argv, error);
    return 1;
  }
  LoadSettings();
  // The index would otherwise be made in the working folder.
  if (Settings.KeepIndex != 0 && UserDataFolder().empty()) {
    ReportStartFailure(argc, argv,
                       "There is no home folder for the local index: set HOME or XDG_DATA_HOME, "
                       "or KeepIndex=0 in " +
                           SettingsPath() + ".");
    return 1;
  }
  // The folders made for the index are the user's alone, as its file is.
  if (Settings.KeepIndex != 0) MakeParentFolder(UserDataFolder() + IndexFileName);
  SetStartupRequest(std::move(sites), &instance);
  // The sites are the program's; the toolkit sees no argument of theirs.
  int toolkitArgc = 1;
  return wxEntry(toolkitArgc, argv);
}

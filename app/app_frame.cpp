#include "app/app_frame.h"

#include <unistd.h>

#include <wx/icon.h>
#include <wx/menu.h>
#include <wx/utils.h>

#include <cstdio>
#include <string>
#include <thread>

#include "app/downloads_hookup.h"
#include "app/first_start.h"
#include "app/index_hookup.h"
#include "app/index_menu.h"
#include "app_icon.xpm"
#include "core/ftp_handler.h"
#include "core/launcher.h"
#include "core/settings.h"
#include "core/single_instance.h"
#include "core/terminal_text.h"
#include "core/ui_door.h"
#include "dialogs/about_dialog.h"
#include "dialogs/add_sites_dialog.h"
#include "dialogs/settings_sheet.h"
#include "dialogs/version_check_ui.h"
#include "mainwin/main_dialog.h"
#include "resources/resource_module.h"
#include "search/engine_set.h"
#include "searchwin/search_dialog.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {
std::vector<std::string> StartupSites;
SingleInstance* Instance = nullptr;
}  // namespace

void SetStartupRequest(std::vector<std::string> sites, SingleInstance* instance) {
  StartupSites = std::move(sites);
  Instance = instance;
}

wxBEGIN_EVENT_TABLE(TFW, wxFrame)
  EVT_CLOSE(TFW::OnClose)
wxEND_EVENT_TABLE()

TFW::TFW()
    : wxFrame(nullptr, wxID_ANY, FrameTitle, wxPoint(0, 0), wxDefaultSize,
              wxDEFAULT_FRAME_STYLE | wxRESIZE_BORDER | wxCLIP_CHILDREN) {
  SetIcon(wxIcon(app_icon_xpm));
  if (wxMenuBar* menu = ResourceModule::MenuBar(1)) {
    SetMenuBar(menu);
    // The first menu is the file menu: after its New search item.
    if (menu->GetMenuCount() > 0) {
      wxMenu* first = menu->GetMenu(0);
      first->Insert(first->GetMenuItemCount() > 0 ? 1 : 0, IdAddSites, "&Add sites...");
    }
  }
  Bind(wxEVT_MENU, &TFW::OnAddSites, this, IdAddSites);
  // The main dialog writes the exploration's progress here.
  CreateStatusBar(1);
}

bool TFW::TryBefore(wxEvent& event) {
  const wxEventType type = event.GetEventType();
  if (client_ && !forwarding_ && (type == wxEVT_MENU || type == wxEVT_UPDATE_UI) &&
      dynamic_cast<wxMenu*>(event.GetEventObject())) {
    forwarding_ = true;
    const bool done = client_->GetEventHandler()->ProcessEvent(event);
    forwarding_ = false;
    if (done) return true;
  }
  return wxFrame::TryBefore(event);
}

// Explored as the command line's sites are, the running exploration taking
// them, or crawled when the user asks.
void TFW::OnAddSites(wxCommandEvent&) {
  // Crawls need the index: without one the box does not offer them.
  bool crawl = false;
  const bool crawlable = !RunningCrawls().expired();
  const std::vector<std::string> sites = AskForSites(this, crawlable ? &crawl : nullptr);
  if (sites.empty() || !MainDialog) return;
  if (crawl)
    MainDialog->StartCrawls(sites);
  else
    MainDialog->ExploreGivenSites(sites);
}

// Nothing is torn down: searches and explorations end with the process; the
// index's stop ends the crawls first.
void TFW::OnClose(wxCloseEvent&) {
  StopDownloads();
  StopLocalIndex();
  std::fflush(nullptr);
  _exit(0);
}

namespace {

// Before any window: the engines that could not be read are left out, and the
// user learns which and why, once.
void ReportEngineProblems(const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  constexpr std::size_t Shown = 12;
  std::string text = "Some search engines of " + EngineFilePath() + " cannot be used:\n";
  for (std::size_t i = 0; i < problems.size() && i < Shown; ++i) text += "\n" + problems[i];
  if (problems.size() > Shown)
    text += "\n... and " + std::to_string(problems.size() - Shown) + " more";
  // A line at a time: each is the file's text, whose controls must not reach a terminal.
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    if (end > start) PrintProblem("quillbrook", std::string_view(text).substr(start, end - start));
  }
  PrintProblem("quillbrook", std::string_view(text).substr(start));
  ShowMessage(nullptr, ToDisplayText(text), "FTP Quillbrook", MessageStyle::Exclamation);
}

}  // namespace

bool DApp::OnInit() {
  // A task handed over once the application has gone is dropped.
  SetUiPoster(
      [](UiTask task) {
        if (wxTheApp) wxTheApp->CallAfter(std::move(task));
      },
      [] { return wxIsMainThread(); });
  SetLauncher([](LaunchKind kind, const std::string& target) {
    const wxString text = ToDisplayText(target);
    if (kind == LaunchKind::Browser)
      wxLaunchDefaultBrowser(text);
    else
      wxLaunchDefaultApplication(text);
  });
  StartLocalIndex();
  StartDownloads();
  ReportEngineProblems(LoadActiveEngines());
  auto* frame = new TFW;
  auto* dialog = new TD;
  dialog->SetActions({
      .runSearch = RunSearchDialog,
      .showAbout = ShowAboutDialog,
      .showSettings =
          [](wxWindow* parent) {
            ShowSettingsSheet(parent);
            ApplyDownloadSettings();
          },
      .startVersionCheck = StartVersionCheck,
      .firstStart = [](wxWindow* d) { return OfferMirrorLists(dynamic_cast<TD*>(d)); },
  });
  const bool sitesGiven = !StartupSites.empty();
  dialog->SetStartupSites(std::move(StartupSites));
  // Set before the dialog's set-up starts the threads that read it.
  MainDialog = dialog;
  if (!dialog->Create(frame)) {
    std::fprintf(stderr, "quillbrook: the main window's template cannot be loaded\n");
    return false;
  }
  frame->SetClient(dialog);
  dialog->SetTransfers(RunningDownloads());
  // xdg-mime may take a moment: the answer comes when it comes.
  std::thread([] {
    std::string handler = QueryFtpHandler();
    PostToUi([handler = std::move(handler)]() mutable {
      if (MainDialog) MainDialog->SetFtpHandler(std::move(handler));
    });
  }).detach();
  AddIndexCommands(frame, dialog);
  if (!sitesGiven) ShowLastResults(frame);
  OfferUnfinishedCrawls(dialog);
  SetTopWindow(frame);
  frame->Show();
  if (Instance) {
    // A later start: its sites are explored here, and this window comes forward.
    Instance->Serve([](std::vector<std::string> sites) {
      PostToUi([sites = std::move(sites)] {
        if (auto* top = dynamic_cast<wxFrame*>(wxTheApp->GetTopWindow())) {
          top->Iconize(false);
          top->Raise();
        }
        if (MainDialog) MainDialog->TakeHandedUrls(sites);
      });
    });
  }
  return true;
}

int DApp::OnExit() {
  CloseUiDoor();
  return wxApp::OnExit();
}

std::string ExeDirOf(const std::string& exePath) {
  const std::size_t slash = exePath.rfind('/');
  if (slash == std::string::npos) return "./";
  return exePath.substr(0, slash + 1);
}

}  // namespace qb

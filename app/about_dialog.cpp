#include "app/about_dialog.h"

#include "app/version_check.h"
#include "core/launcher.h"
#include "resources/resource_module.h"

namespace qb {

wxBEGIN_EVENT_TABLE(TAbout, wxDialog)
  EVT_BUTTON(101, TAbout::CmHomePage)
  EVT_BUTTON(wxID_OK, TAbout::CmOk)
  EVT_CLOSE(TAbout::OnCloseWindow)
wxEND_EVENT_TABLE()

TAbout* TAbout::Open() {
  TAbout* dialog = new TAbout();
  if (!ResourceModule::LoadDialog(dialog, nullptr, 10)) {
    delete dialog;
    return nullptr;
  }
  dialog->SetBackgroundColour(wxColour(225, 220, 180));
  dialog->Show();
  return dialog;
}

void TAbout::CmHomePage(wxCommandEvent&) { LaunchBrowser(HomePageUrl()); }

void TAbout::CmOk(wxCommandEvent&) { Destroy(); }

void TAbout::OnCloseWindow(wxCloseEvent&) { Destroy(); }

void ShowAboutDialog(wxWindow*) { TAbout::Open(); }

}  // namespace qb

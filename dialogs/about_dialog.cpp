#include "dialogs/about_dialog.h"

#include "core/controls.h"
#include "core/launcher.h"
#include "resources/resource_module.h"
#include "ui/colour.h"
#include "version/version_check.h"

namespace qb {

wxBEGIN_EVENT_TABLE(TAbout, wxDialog)
  EVT_BUTTON(AboutHomePageButton, TAbout::CmHomePage)
  EVT_BUTTON(wxID_OK, TAbout::CmOk)
  EVT_CLOSE(TAbout::OnCloseWindow)
wxEND_EVENT_TABLE()

TAbout* TAbout::Open(wxWindow* askedBy) {
  TAbout* dialog = new TAbout();
  if (!ResourceModule::LoadDialog(dialog, nullptr, AboutTemplate)) {
    delete dialog;
    return nullptr;
  }
  dialog->SetBackgroundColour(WxColour(DialogColour));
  if (wxWindow* over = askedBy ? wxGetTopLevelParent(askedBy) : nullptr) {
    const wxRect area = over->GetScreenRect();
    dialog->Move(area.GetPosition() + (area.GetSize() - dialog->GetSize()) / 2);
  } else {
    dialog->CentreOnScreen();
  }
  dialog->Show();
  return dialog;
}

void TAbout::CmHomePage(wxCommandEvent&) { LaunchBrowser(HomePageUrl()); }

void TAbout::CmOk(wxCommandEvent&) { Destroy(); }

void TAbout::OnCloseWindow(wxCloseEvent&) { Destroy(); }

void ShowAboutDialog(wxWindow* askedBy) { TAbout::Open(askedBy); }

}  // namespace qb

#include "dialogs/infos_dialog.h"

#include <wx/textctrl.h>

#include "core/controls.h"
#include "core/launcher.h"
#include "resources/resource_module.h"
#include "ui/display_text.h"
#include "ui/modal_owner.h"
#include "version/version_check.h"

namespace qb {

wxBEGIN_EVENT_TABLE(Tinfos, wxDialog)
  EVT_BUTTON(wxID_OK, Tinfos::CmOk)
  EVT_BUTTON(wxID_CANCEL, Tinfos::CmCancel)
  EVT_CLOSE(Tinfos::OnCloseWindow)
wxEND_EVENT_TABLE()

wxString NoticeForDisplay(const std::string& text) {
  wxString shown = ToDisplayText(text);
  // A body with "\r\n" lines arrives as "\r\r\n"; GTK would show each "\r" as a
  // line break of its own.
  shown.Replace("\r", "");
  return shown;
}

int Tinfos::Run(const std::string& text) {
  // Over the search dialog when that runs: a window under a modal one takes
  // no input. Otherwise ownerless, so the main window stays live.
  Tinfos dialog;
  if (!ResourceModule::LoadDialog(&dialog, InnermostModalDialog(), InfosTemplate)) return wxID_NONE;
  if (auto* field = dynamic_cast<wxTextCtrl*>(dialog.FindWindow(InfosTextField))) {
    field->ChangeValue(NoticeForDisplay(text));
  } else if (wxWindow* label = dialog.FindWindow(InfosTextField)) {
    label->SetLabel(NoticeForDisplay(text));
  }
  if (dialog.GetParent())
    dialog.CentreOnParent();
  else
    dialog.CentreOnScreen();
  return dialog.ShowModal();
}

void Tinfos::CmOk(wxCommandEvent&) {
  LaunchBrowser(HomePageUrl());
  Finish(wxID_OK);
}

void Tinfos::CmCancel(wxCommandEvent&) { Finish(wxID_CANCEL); }

void Tinfos::OnCloseWindow(wxCloseEvent&) { Finish(wxID_CANCEL); }

void Tinfos::Finish(int result) {
  if (IsModal()) EndModal(result);
}

}  // namespace qb

#include "dialogs/infos_dialog.h"

#include <wx/textctrl.h>

#include "core/controls.h"
#include "core/launcher.h"
#include "resources/resource_module.h"
#include "ui/display_text.h"
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

Tinfos* Tinfos::Open(wxWindow* parent, const std::string& text, std::function<void(int)> onClosed) {
  Tinfos* dialog = new Tinfos();
  if (!ResourceModule::LoadDialog(dialog, parent, InfosTemplate)) {
    delete dialog;
    return nullptr;
  }
  if (auto* field = dynamic_cast<wxTextCtrl*>(dialog->FindWindow(InfosTextField))) {
    field->ChangeValue(NoticeForDisplay(text));
  } else if (wxWindow* label = dialog->FindWindow(InfosTextField)) {
    label->SetLabel(NoticeForDisplay(text));
  }
  dialog->onClosed_ = std::move(onClosed);
  dialog->Show();
  return dialog;
}

Tinfos::~Tinfos() {
  // Whoever waits for the dialog must learn that it has gone, even when the
  // program tears it down.
  if (onClosed_) onClosed_(wxID_CANCEL);
}

void Tinfos::CmOk(wxCommandEvent&) {
  LaunchBrowser(HomePageUrl());
  Finish(wxID_OK);
}

void Tinfos::CmCancel(wxCommandEvent&) { Finish(wxID_CANCEL); }

void Tinfos::OnCloseWindow(wxCloseEvent&) { Finish(wxID_CANCEL); }

void Tinfos::Finish(int result) {
  if (onClosed_) {
    std::function<void(int)> done = std::move(onClosed_);
    onClosed_ = nullptr;
    done(result);
  }
  Destroy();
}

}  // namespace qb

#pragma once
// The about dialog; each call opens another modeless one.
#include <wx/dialog.h>

namespace qb {

class TAbout : public wxDialog {
 public:
  // Centred over the window that asked for it; OK has the focus, so that
  // Enter closes it. Null when template 10 cannot be loaded.
  static TAbout* Open(wxWindow* askedBy);

 private:
  TAbout() = default;
  void CmHomePage(wxCommandEvent& event);
  void CmOk(wxCommandEvent& event);
  void OnCloseWindow(wxCloseEvent& event);
  wxDECLARE_EVENT_TABLE();
};

// The dialog has no owner, so it neither stays above the window that asked for
// it nor closes with it.
void ShowAboutDialog(wxWindow* askedBy);

}  // namespace qb

#pragma once
// The information dialog: shows a text; OK leads to the product home page.
#include <wx/dialog.h>

#include <string>

namespace qb {

class Tinfos : public wxDialog {
 public:
  // Shows text from template 100 in a modal loop of its own, above the
  // dialog that runs modally, if any. Returns wxID_OK or wxID_CANCEL once it has closed, however
  // it closed; wxID_NONE when the template cannot be loaded.
  static int Run(const std::string& text);

 private:
  Tinfos() = default;
  void CmOk(wxCommandEvent& event);
  void CmCancel(wxCommandEvent& event);
  void OnCloseWindow(wxCloseEvent& event);
  void Finish(int result);

  wxDECLARE_EVENT_TABLE();
};

// The notice as the dialog shows it: 8-bit text taken as UTF-8 when it is
// valid UTF-8 and as Latin-1 otherwise, line ends reduced to "\n".
wxString NoticeForDisplay(const std::string& text);

}  // namespace qb

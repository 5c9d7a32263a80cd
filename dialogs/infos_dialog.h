#pragma once
// The information dialog: shows a text; OK leads to the product home page.
#include <wx/dialog.h>

#include <functional>
#include <string>

namespace qb {

class Tinfos : public wxDialog {
 public:
  // Opens a modeless dialog from template 100 showing text. onClosed runs once on
  // the UI thread with wxID_OK or wxID_CANCEL when the dialog goes, however it
  // goes. Null when the template cannot be loaded; onClosed is then never called.
  static Tinfos* Open(wxWindow* parent, const std::string& text, std::function<void(int)> onClosed);
  ~Tinfos() override;

 private:
  Tinfos() = default;
  void CmOk(wxCommandEvent& event);
  void CmCancel(wxCommandEvent& event);
  void OnCloseWindow(wxCloseEvent& event);
  void Finish(int result);

  std::function<void(int)> onClosed_;
  wxDECLARE_EVENT_TABLE();
};

// The notice as the dialog shows it: 8-bit text taken as UTF-8 when it is
// valid UTF-8 and as Latin-1 otherwise, line ends reduced to "\n".
wxString NoticeForDisplay(const std::string& text);

}  // namespace qb

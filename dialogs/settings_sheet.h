#pragma once
// The settings sheet: a tab for the sessions' four settings of "FTP-ZEVO.ini"
// (template 20), then one per further group of settings.
#include <wx/bookctrl.h>
#include <wx/panel.h>
#include <wx/propdlg.h>

#include <vector>

#include "dialogs/settings_page.h"

namespace qb {

class TConf : public wxPanel, public SettingsPage {
 public:
  // Loads template 20 into the page; false when it is missing.
  bool Create(wxWindow* parent);
  void SetUp() override;
  // The first box whose text is no whole number inside its setting's range.
  wxWindow* Refused(std::string& problem) override;
  // Stores the four boxes into the settings; Refused has passed them.
  void Apply() override;

 private:
  void CmPreset8(wxCommandEvent& event);
  void CmPreset10(wxCommandEvent& event);
  void CmPreset16(wxCommandEvent& event);
  void SetNumber(int controlId, int value);
  wxDECLARE_EVENT_TABLE();
};

class TPSConf : public wxPropertySheetDialog {
 public:
  // Null when the page's template cannot be loaded.
  static TPSConf* Open(wxWindow* parent);

 private:
  TPSConf() = default;
  wxBookCtrlBase* CreateBookCtrl() override;
  // page is a panel on the book and its SettingsPage.
  template <class Page>
  void AddSettingsPage(Page* page, const wxString& title) {
    GetBookCtrl()->AddPage(page, title);
    pages_.push_back(page);
  }
  void CmOk(wxCommandEvent& event);
  void CmCancel(wxCommandEvent& event);
  void OnCloseWindow(wxCloseEvent& event);

  std::vector<SettingsPage*> pages_;
  wxDECLARE_EVENT_TABLE();
};

// Opens a new modeless sheet; several may be open, the last confirmed wins.
void ShowSettingsSheet(wxWindow* parent);

}  // namespace qb

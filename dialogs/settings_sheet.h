#pragma once
// The settings sheet: a tab for the sessions' four settings of "FTP-ZEVO.ini"
// (template 20) and one for the network's.
#include <wx/panel.h>
#include <wx/propdlg.h>

namespace qb {

class NetworkPage;

class TConf : public wxPanel {
 public:
  // Loads template 20 into the page; false when it is missing.
  bool Create(wxWindow* parent);
  // Shows the in-memory settings.
  void SetUp();
  // Stores the four boxes into the settings: a non-number gives 0, nothing is
  // range-checked.
  void Apply();

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
  void CmOk(wxCommandEvent& event);
  void CmCancel(wxCommandEvent& event);
  void OnCloseWindow(wxCloseEvent& event);

  TConf* page_ = nullptr;
  NetworkPage* network_ = nullptr;
  wxDECLARE_EVENT_TABLE();
};

// Opens a new modeless sheet; several may be open, the last confirmed wins.
void ShowSettingsSheet(wxWindow* parent);

}  // namespace qb

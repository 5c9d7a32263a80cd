#include "dialogs/settings_sheet.h"

#include <atomic>
#include <iterator>

#include <wx/notebook.h>
#include <wx/textctrl.h>

#include "core/controls.h"
#include "core/settings.h"
#include "dialogs/downloads_page.h"
#include "dialogs/engines_page.h"
#include "dialogs/index_page.h"
#include "dialogs/network_page.h"
#include "resources/resource_module.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {
// Boxes in the order the settings are shown and stored.
struct Box {
  int controlId;
  std::atomic<int32_t> SettingsData::*field;
};
const Box boxes[] = {
    {MinConnectBox, &SettingsData::MinConnect},
    {HttpTimeOutBox, &SettingsData::HttpTimeOut},
    {VerifyTimeOutBox, &SettingsData::VerifyTimeOut},
    {NbRetryBox, &SettingsData::NbRetry},
};
}  // namespace

wxBEGIN_EVENT_TABLE(TConf, wxPanel)
  EVT_BUTTON(Preset8Button, TConf::CmPreset8)
  EVT_BUTTON(Preset10Button, TConf::CmPreset10)
  EVT_BUTTON(Preset16Button, TConf::CmPreset16)
wxEND_EVENT_TABLE()

bool TConf::Create(wxWindow* parent) {
  return ResourceModule::LoadPanel(this, parent, SettingsTemplate);
}

void TConf::SetNumber(int controlId, int value) {
  if (auto* box = dynamic_cast<wxTextCtrl*>(FindWindow(controlId))) {
    box->ChangeValue(wxString::Format("%d", value));
  }
}

void TConf::SetUp() {
  for (const Box& b : boxes) SetNumber(b.controlId, (Settings.*b.field).load());
}

wxWindow* TConf::Refused(std::string& problem) {
  for (const Box& b : boxes) {
    auto* box = dynamic_cast<wxTextCtrl*>(FindWindow(b.controlId));
    int32_t value = 0;
    if (box && !ReadSettingText(b.field, box->GetValue().utf8_string(), value, problem)) return box;
  }
  return nullptr;
}

void TConf::Apply() {
  std::string ignored;
  for (const Box& b : boxes) {
    auto* box = dynamic_cast<wxTextCtrl*>(FindWindow(b.controlId));
    int32_t value = 0;
    if (box && ReadSettingText(b.field, box->GetValue().utf8_string(), value, ignored))
      Settings.*b.field = value;
  }
}

void TConf::CmPreset8(wxCommandEvent&) { SetNumber(MinConnectBox, 8); }
void TConf::CmPreset10(wxCommandEvent&) { SetNumber(MinConnectBox, 10); }
void TConf::CmPreset16(wxCommandEvent&) { SetNumber(MinConnectBox, 16); }

wxBEGIN_EVENT_TABLE(TPSConf, wxPropertySheetDialog)
  EVT_BUTTON(wxID_OK, TPSConf::CmOk)
  EVT_BUTTON(wxID_CANCEL, TPSConf::CmCancel)
  EVT_CLOSE(TPSConf::OnCloseWindow)
wxEND_EVENT_TABLE()

// One tab per group of settings.
wxBookCtrlBase* TPSConf::CreateBookCtrl() {
  return new wxNotebook(this, wxID_ANY, wxDefaultPosition, wxDefaultSize);
}

TPSConf* TPSConf::Open(wxWindow* parent) {
  TPSConf* sheet = new TPSConf();
  sheet->Create(parent, wxID_ANY, "Quillbrook");
  TConf* page = new TConf();
  if (!page->Create(sheet->GetBookCtrl())) {
    delete page;
    sheet->Destroy();
    return nullptr;
  }
  sheet->AddSettingsPage(page, "Sessions");
  // Each further group of settings is a page of its own file, added here.
  sheet->AddSettingsPage(new NetworkPage(sheet->GetBookCtrl()), "Network");
  sheet->AddSettingsPage(new EnginesPage(sheet->GetBookCtrl()), "Engines");
  sheet->AddSettingsPage(new IndexPage(sheet->GetBookCtrl()), "Index");
  sheet->AddSettingsPage(new DownloadsPage(sheet->GetBookCtrl()), "Downloads");
  sheet->CreateButtons(wxOK | wxCANCEL);
  sheet->LayoutDialog();  // also centres it on its parent
  for (SettingsPage* p : sheet->pages_) p->SetUp();
  sheet->Show();
  return sheet;
}

void TPSConf::CmOk(wxCommandEvent&) {
  // Nothing is stored while one field is refused: the sheet stays open on it.
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    std::string problem;
    if (wxWindow* field = pages_[i]->Refused(problem)) {
      GetBookCtrl()->SetSelection(i);
      field->SetFocus();
      ShowMessage(this, ToDisplayText(problem), "Quillbrook", MessageStyle::Exclamation);
      return;
    }
  }
  for (SettingsPage* page : pages_) page->Apply();
  if (!SaveSettings()) {
    ShowMessage(this,
                ToDisplayText("The settings could not be written to " + SettingsPath() +
                              ".\nThey stay in effect until the program ends."),
                "Quillbrook", MessageStyle::Error);
  }
  Destroy();
}

void TPSConf::CmCancel(wxCommandEvent&) { Destroy(); }

void TPSConf::OnCloseWindow(wxCloseEvent&) { Destroy(); }

void ShowSettingsSheet(wxWindow* parent) { TPSConf::Open(parent); }

}  // namespace qb

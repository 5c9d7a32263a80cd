#include "dialogs/network_page.h"

#include <wx/checkbox.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "core/controls.h"
#include "core/settings.h"

namespace qb {

namespace {
// In the order of FtpDataMode.
const wxString Choices[] = {"&Passive: the program connects to the server",
                            "&Active: the server connects back to the program"};
}  // namespace

NetworkPage::NetworkPage(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
  auto* column = new wxBoxSizer(wxVERTICAL);
  auto* choice = new wxRadioBox(this, DataModeChoice, "Data connections", wxDefaultPosition,
                                wxDefaultSize, 2, Choices, 1, wxRA_SPECIFY_COLS);
  choice->SetToolTip(
      "Passive works behind the routers of nearly every home and office network. "
      "A site whose server refuses passive connections is explored in active mode.");
  column->Add(choice, 0, wxEXPAND | wxALL, 8);
  auto* note = new wxStaticText(this, wxID_ANY,
                                "Active mode needs the server to reach this computer, which a "
                                "router or firewall usually prevents.");
  note->Wrap(320);
  column->Add(note, 0, wxLEFT | wxRIGHT | wxBOTTOM, 8);

  auto* pauseRow = new wxBoxSizer(wxHORIZONTAL);
  pauseRow->Add(
      new wxStaticText(this, wxID_ANY, "Pause between two requests to one search host (ms):"), 0,
      wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
  auto* pause = new wxTextCtrl(this, EnginePauseBox, "", wxDefaultPosition, wxSize(70, -1));
  const SettingRange& range = RangeOf(&SettingsData::EnginePause);
  pause->SetToolTip(wxString::Format(
      "From %d to %d ms. Search engines are other people's servers: every engine waits at "
      "least this long between two pages from one host.",
      range.sheetMin, range.max));
  pauseRow->Add(pause, 0);
  column->Add(pauseRow, 0, wxLEFT | wxRIGHT | wxTOP, 8);

  auto* report =
      new wxCheckBox(this, ReportTermBox, "&Report the search term to the program's site");
  report->SetToolTip(
      "After a search that is explored, its term is sent once to the report "
      "host named in the settings file.");
  column->Add(report, 0, wxALL, 8);
  SetSizer(column);
}

void NetworkPage::SetUp() {
  if (auto* choice = dynamic_cast<wxRadioBox*>(FindWindow(DataModeChoice))) {
    choice->SetSelection(Settings.DataMode == FtpDataMode::Active ? 1 : 0);
  }
  if (auto* pause = dynamic_cast<wxTextCtrl*>(FindWindow(EnginePauseBox)))
    pause->ChangeValue(wxString::Format("%d", Settings.EnginePause.load()));
  if (auto* report = dynamic_cast<wxCheckBox*>(FindWindow(ReportTermBox)))
    report->SetValue(Settings.ReportTerm != 0);
}

wxWindow* NetworkPage::Refused(std::string& problem) {
  auto* pause = dynamic_cast<wxTextCtrl*>(FindWindow(EnginePauseBox));
  int32_t value = 0;
  // A pause below the sheet's least, set in the file, stays while it is not edited.
  if (!pause || pause->GetValue() == wxString::Format("%d", Settings.EnginePause.load()))
    return nullptr;
  return ReadSettingText(&SettingsData::EnginePause, pause->GetValue().utf8_string(), value,
                         problem)
             ? nullptr
             : pause;
}

void NetworkPage::Apply() {
  if (auto* choice = dynamic_cast<wxRadioBox*>(FindWindow(DataModeChoice))) {
    Settings.DataMode = choice->GetSelection() == 1 ? FtpDataMode::Active : FtpDataMode::Passive;
  }
  std::string ignored;
  int32_t value = 0;
  if (auto* pause = dynamic_cast<wxTextCtrl*>(FindWindow(EnginePauseBox));
      pause &&
      ReadSettingText(&SettingsData::EnginePause, pause->GetValue().utf8_string(), value, ignored))
    Settings.EnginePause = value;
  if (auto* report = dynamic_cast<wxCheckBox*>(FindWindow(ReportTermBox)))
    Settings.ReportTerm = report->GetValue() ? 1 : 0;
}

}  // namespace qb

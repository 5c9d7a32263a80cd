#include "dialogs/downloads_page.h"

#include <wx/checkbox.h>
#include <wx/filepicker.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "core/download_folder.h"
#include "ui/display_text.h"

namespace qb {

namespace {
// The folder as typed: blanks around it are no part of it.
std::string FolderText(const wxDirPickerCtrl* picker) {
  wxString text = picker->GetTextCtrlValue();
  text.Trim(true).Trim(false);
  return text.utf8_string();
}
}  // namespace

DownloadsPage::DownloadsPage(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(new wxStaticText(this, wxID_ANY, "&Download folder:"), 0, wxLEFT | wxRIGHT | wxTOP,
              8);
  folder_ = new wxDirPickerCtrl(this, wxID_ANY, "", "Download folder", wxDefaultPosition,
                                FromDIP(wxSize(420, -1)), wxDIRP_USE_TEXTCTRL);
  column->Add(folder_, 0, wxEXPAND | wxALL, 8);
  auto* note =
      new wxStaticText(this, wxID_ANY,
                       ToDisplayText("Left empty, files go to the desktop's download folder, " +
                                     DesktopDownloadFolder() + "."));
  note->Wrap(FromDIP(420));
  column->Add(note, 0, wxLEFT | wxRIGHT | wxBOTTOM, 8);

  auto* cells = new wxFlexGridSizer(2, FromDIP(wxSize(8, 4)));
  const auto numberBox = [&](SettingField field) {
    const SettingRange& range = RangeOf(field);
    cells->Add(new wxStaticText(this, wxID_ANY, ToDisplayText(std::string(range.label) + ":")),
               wxSizerFlags().CentreVertical());
    auto* box = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, FromDIP(wxSize(90, -1)));
    box->SetToolTip(wxString::Format("From %d to %d.", range.sheetMin, range.max));
    cells->Add(box);
    return box;
  };
  perHost_ = numberBox(&SettingsData::TransfersPerHost);
  atOnce_ = numberBox(&SettingsData::TransfersAtOnce);
  column->Add(cells, 0, wxALL, 8);
  open_ = new wxCheckBox(this, wxID_ANY, "A double-click on a file &opens it once it has arrived");
  column->Add(open_, 0, wxALL, 8);
  SetSizer(column);
}

void DownloadsPage::SetUp() {
  folder_->SetPath(ToDisplayText(ChosenDownloadFolder()));
  perHost_->ChangeValue(wxString::Format("%d", Settings.TransfersPerHost.load()));
  atOnce_->ChangeValue(wxString::Format("%d", Settings.TransfersAtOnce.load()));
  open_->SetValue(Settings.OpenOnDoubleClick != 0);
}

wxWindow* DownloadsPage::Refused(std::string& problem) {
  const std::string folder = FolderText(folder_);
  if (!folder.empty() && (folder[0] != '/' || folder.find_first_of("\r\n") != std::string::npos)) {
    problem = "The download folder must be a whole path, starting with /.";
    return folder_;
  }
  int32_t value = 0;
  if (!ReadSettingText(&SettingsData::TransfersPerHost, perHost_->GetValue().utf8_string(), value,
                       problem))
    return perHost_;
  if (!ReadSettingText(&SettingsData::TransfersAtOnce, atOnce_->GetValue().utf8_string(), value,
                       problem))
    return atOnce_;
  return nullptr;
}

void DownloadsPage::Apply() {
  SetDownloadFolder(FolderText(folder_));
  std::string ignored;
  int32_t value = 0;
  if (ReadSettingText(&SettingsData::TransfersPerHost, perHost_->GetValue().utf8_string(), value,
                      ignored))
    Settings.TransfersPerHost = value;
  if (ReadSettingText(&SettingsData::TransfersAtOnce, atOnce_->GetValue().utf8_string(), value,
                      ignored))
    Settings.TransfersAtOnce = value;
  Settings.OpenOnDoubleClick = open_->GetValue() ? 1 : 0;
}

}  // namespace qb

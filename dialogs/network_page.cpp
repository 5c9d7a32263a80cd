#include "dialogs/network_page.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/listctrl.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "core/controls.h"
#include "core/settings.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {
// In the order of FtpDataMode.
const wxString Choices[] = {"&Passive: the program connects to the server",
                            "&Active: the server connects back to the program"};
// In the order of TlsMode.
const wxString TlsChoices[] = {"When &offered", "Re&quired", "&Never"};
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

  auto* tls = new wxRadioBox(this, TlsModeChoice, "TLS", wxDefaultPosition, wxDefaultSize, 3,
                             TlsChoices, 3, wxRA_SPECIFY_COLS);
  tls->SetToolTip(
      "When offered: sessions are encrypted wherever the server can. Required: a server "
      "without TLS fails its site. Never: plain FTP, as servers of old speak it.");
  column->Add(tls, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);

  auto* accepted = new wxStaticBoxSizer(wxVERTICAL, this, "Accepted certificates");
  wxWindow* box = accepted->GetStaticBox();
  certificates_ = new wxListCtrl(box, CertificateList, wxDefaultPosition, wxSize(-1, 90),
                                 wxLC_REPORT | wxBORDER_SUNKEN);
  // Fingerprints are compared whole: the page is as wide as one.
  wxString widest = "DD";
  for (int pair = 1; pair < 32; ++pair) widest += ":DD";
  const int fingerprintWidth = certificates_->GetTextExtent(widest).x + 16;
  certificates_->AppendColumn("Server", wxLIST_FORMAT_LEFT, 140);
  certificates_->AppendColumn("SHA-256 fingerprint", wxLIST_FORMAT_LEFT, fingerprintWidth);
  certificates_->SetMinSize(wxSize(140 + fingerprintWidth + 8, 90));
  certificates_->SetToolTip(
      "Certificates no authority vouches for, accepted with Sites, Trust certificate. "
      "Sessions with these servers take them as verified.");
  // The fingerprints take the whole width: the button goes below them.
  accepted->Add(certificates_, 1, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 4);
  auto* revoke = new wxButton(box, RevokeCertificateButton, "Re&voke");
  accepted->Add(revoke, 0, wxALIGN_RIGHT | wxALL, 4);
  column->Add(accepted, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  Bind(wxEVT_BUTTON, &NetworkPage::OnRevoke, this, RevokeCertificateButton);
  Bind(wxEVT_UPDATE_UI, &NetworkPage::EnableRevoke, this, RevokeCertificateButton);

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

  auto* fast = new wxCheckBox(this, FastStartBox, "Start sessions as soon as slots are &free");
  fast->SetToolTip(
      "Every free session slot takes a waiting site at once, and a session that ends makes room "
      "for the next without delay. Otherwise one session starts every tenth of a second.");
  column->Add(fast, 0, wxLEFT | wxRIGHT | wxTOP, 8);

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
  if (auto* fast = dynamic_cast<wxCheckBox*>(FindWindow(FastStartBox)))
    fast->SetValue(Settings.FastStart != 0);
  if (auto* tls = dynamic_cast<wxRadioBox*>(FindWindow(TlsModeChoice)))
    tls->SetSelection(static_cast<int>(Settings.Tls.load()));
  shown_ = TrustedCertificates();
  revoked_.clear();
  ShowCertificates();
}

void NetworkPage::ShowCertificates() {
  certificates_->DeleteAllItems();
  for (std::size_t i = 0; i < shown_.size(); ++i) {
    const long at = certificates_->InsertItem(static_cast<long>(i), ToDisplayText(shown_[i].host));
    certificates_->SetItem(at, 1, shown_[i].sha256);
  }
  // A long server name takes its width; the list then scrolls to the fingerprint.
  if (shown_.empty()) return;
  certificates_->SetColumnWidth(0, wxLIST_AUTOSIZE);
  certificates_->SetColumnWidth(0, std::max(certificates_->GetColumnWidth(0), 140));
}

void NetworkPage::OnRevoke(wxCommandEvent&) {
  // Bottom up, so that each row removed leaves the others' numbers as they were.
  std::vector<long> rows;
  for (long row = certificates_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
       row = certificates_->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
    rows.push_back(row);
  std::sort(rows.rbegin(), rows.rend());
  for (const long row : rows) {
    if (row < 0 || static_cast<std::size_t>(row) >= shown_.size()) continue;
    revoked_.push_back(shown_[static_cast<std::size_t>(row)]);
    shown_.erase(shown_.begin() + row);
  }
  ShowCertificates();
}

void NetworkPage::EnableRevoke(wxUpdateUIEvent& event) {
  event.Enable(certificates_->GetSelectedItemCount() > 0);
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
  if (auto* fast = dynamic_cast<wxCheckBox*>(FindWindow(FastStartBox)))
    Settings.FastStart = fast->GetValue() ? 1 : 0;
  if (auto* tls = dynamic_cast<wxRadioBox*>(FindWindow(TlsModeChoice));
      tls && tls->GetSelection() >= 0 && tls->GetSelection() <= 2)
    Settings.Tls = static_cast<TlsMode>(tls->GetSelection());
  bool written = true;
  for (const TrustedCertificate& pair : revoked_)
    written = RevokeCertificate(pair.host, pair.sha256) && written;
  revoked_.clear();
  if (!written) {
    ShowMessage(this,
                ToDisplayText("The revoked certificates could not be removed from " +
                              TrustedCertificatesPath() + ": they are still trusted."),
                "Quillbrook", MessageStyle::Error);
  }
}

}  // namespace qb

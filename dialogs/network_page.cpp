#include "dialogs/network_page.h"

#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

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
  SetSizer(column);
}

void NetworkPage::SetUp() {
  if (auto* choice = dynamic_cast<wxRadioBox*>(FindWindow(DataModeChoice))) {
    choice->SetSelection(Settings.DataMode == FtpDataMode::Active ? 1 : 0);
  }
}

void NetworkPage::Apply() {
  if (auto* choice = dynamic_cast<wxRadioBox*>(FindWindow(DataModeChoice))) {
    Settings.DataMode = choice->GetSelection() == 1 ? FtpDataMode::Active : FtpDataMode::Passive;
  }
}

}  // namespace qb

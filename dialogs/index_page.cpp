#include "dialogs/index_page.h"

#include <wx/checkbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "core/controls.h"
#include "core/program_folders.h"
#include "core/settings.h"
#include "index/local_index.h"
#include "ui/display_text.h"

namespace qb {

IndexPage::IndexPage(wxWindow* parent) : wxPanel(parent, wxID_ANY) {
  auto* column = new wxBoxSizer(wxVERTICAL);
  auto* keep = new wxCheckBox(this, KeepIndexBox,
                              "&Keep every explored site and its files, to find them later");
  column->Add(keep, 0, wxALL, 8);
  column->Add(new wxStaticText(this, wxID_ANY, "The index file:"), 0, wxLEFT | wxRIGHT, 8);
  // A long path scrolls in its box rather than widening the sheet.
  auto* path = new wxTextCtrl(this, wxID_ANY, ToDisplayText(UserDataFolder() + IndexFileName),
                              wxDefaultPosition, FromDIP(wxSize(420, -1)), wxTE_READONLY);
  column->Add(path, 0, wxEXPAND | wxALL, 8);
  auto* note = new wxStaticText(this, wxID_ANY,
                                "A change counts from the next start. What the index holds "
                                "stays until its file is deleted.");
  note->Wrap(FromDIP(420));
  column->Add(note, 0, wxLEFT | wxRIGHT | wxBOTTOM, 8);
  SetSizer(column);
}

void IndexPage::SetUp() {
  if (auto* keep = dynamic_cast<wxCheckBox*>(FindWindow(KeepIndexBox)))
    keep->SetValue(Settings.KeepIndex != 0);
}

void IndexPage::Apply() {
  if (auto* keep = dynamic_cast<wxCheckBox*>(FindWindow(KeepIndexBox)))
    Settings.KeepIndex = keep->GetValue() ? 1 : 0;
}

}  // namespace qb

#include "dialogs/index_page.h"

#include <wx/checkbox.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
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

  auto* crawl = new wxStaticBoxSizer(wxVERTICAL, this, "Crawl");
  wxWindow* group = crawl->GetStaticBox();
  auto* cells = new wxFlexGridSizer(2, FromDIP(wxSize(8, 4)));
  for (const CrawlBox& b : CrawlBoxes) {
    const SettingRange& range = RangeOf(b.field);
    cells->Add(new wxStaticText(group, wxID_ANY, ToDisplayText(std::string(range.label) + ":")),
               wxSizerFlags().CentreVertical());
    auto* box = new wxTextCtrl(group, b.controlId, "", wxDefaultPosition, FromDIP(wxSize(90, -1)));
    box->SetToolTip(wxString::Format("From %d to %d.", range.sheetMin, range.max));
    cells->Add(box);
  }
  crawl->Add(cells, 0, wxALL, 4);
  auto* bounds = new wxStaticText(group, wxID_ANY,
                                  "A crawl lists a whole site, folder by folder, until one of "
                                  "these bounds is reached; a change counts from the next crawl.");
  bounds->Wrap(FromDIP(420));
  crawl->Add(bounds, 0, wxALL, 4);
  column->Add(crawl, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  SetSizer(column);
}

void IndexPage::SetUp() {
  if (auto* keep = dynamic_cast<wxCheckBox*>(FindWindow(KeepIndexBox)))
    keep->SetValue(Settings.KeepIndex != 0);
  for (const CrawlBox& b : CrawlBoxes) {
    if (auto* box = dynamic_cast<wxTextCtrl*>(FindWindow(b.controlId)))
      box->ChangeValue(wxString::Format("%d", (Settings.*b.field).load()));
  }
}

wxWindow* IndexPage::Refused(std::string& problem) {
  for (const CrawlBox& b : CrawlBoxes) {
    auto* box = dynamic_cast<wxTextCtrl*>(FindWindow(b.controlId));
    int32_t value = 0;
    if (box && !ReadSettingText(b.field, box->GetValue().utf8_string(), value, problem)) return box;
  }
  return nullptr;
}

void IndexPage::Apply() {
  if (auto* keep = dynamic_cast<wxCheckBox*>(FindWindow(KeepIndexBox)))
    Settings.KeepIndex = keep->GetValue() ? 1 : 0;
  std::string ignored;
  for (const CrawlBox& b : CrawlBoxes) {
    auto* box = dynamic_cast<wxTextCtrl*>(FindWindow(b.controlId));
    int32_t value = 0;
    if (box && ReadSettingText(b.field, box->GetValue().utf8_string(), value, ignored))
      Settings.*b.field = value;
  }
}

}  // namespace qb

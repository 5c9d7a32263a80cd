#include "dialogs/add_sites_dialog.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <fstream>
#include <iterator>

#include "core/given_sites.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {
namespace {
// A list of sites, not a disc image picked by mistake.
constexpr std::streamoff MostFileBytes = 1 << 20;
}  // namespace

AddSitesDialog::AddSitesDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Add sites", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(new wxStaticText(this, wxID_ANY,
                               "FTP sites to explore, one a line: ftp:// addresses, or host "
                               "names for their root folder."),
              wxSizerFlags().Border(wxALL, 10));
  text_ = new wxTextCtrl(this, IdSitesText, wxEmptyString, wxDefaultPosition, wxSize(480, 220),
                         wxTE_MULTILINE | wxTE_DONTWRAP);
  column->Add(text_, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT, 10));
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->Add(new wxButton(this, IdLoadFile, "Load from file..."));
  buttons->AddStretchSpacer();
  buttons->Add(CreateButtonSizer(wxOK | wxCANCEL));
  column->Add(buttons, wxSizerFlags().Expand().Border(wxALL, 10));
  SetSizerAndFit(column);
  Bind(wxEVT_BUTTON, &AddSitesDialog::OnLoadFile, this, IdLoadFile);
  text_->SetFocus();
  CentreOnParent();
}

bool AddSitesDialog::LoadFromFile(const wxString& path) {
  std::ifstream in(path.utf8_string(), std::ios::binary);
  in.seekg(0, std::ios::end);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  in.seekg(0);
  std::string content;
  if (size >= 0 && size <= MostFileBytes) content.assign(std::istreambuf_iterator<char>(in), {});
  if (size < 0 || size > MostFileBytes || in.bad()) {
    ShowMessage(this,
                (size > MostFileBytes ? "Too large for a list of sites: " : "Cannot read ") + path,
                "Add sites", MessageStyle::Error);
    return false;
  }
  const wxString current = text_->GetValue();
  if (!current.empty() && !current.EndsWith("\n")) text_->AppendText("\n");
  text_->AppendText(ToDisplayText(content));
  return true;
}

std::vector<std::string> AddSitesDialog::TakeSites() {
  GivenSitesText parsed = ParseGivenSites(text_->GetValue().utf8_string());
  if (!parsed.problems.empty()) {
    wxString message = parsed.urls.empty() ? "No site was added:\n"
                                           : "The other lines were added; these were not:\n";
    // A long paste's problems are counted, not all shown.
    constexpr std::size_t Shown = 12;
    for (std::size_t i = 0; i < parsed.problems.size() && i < Shown; ++i) {
      message += "\n" + ToDisplayText(parsed.problems[i]);
    }
    if (parsed.problems.size() > Shown) {
      message += wxString::Format("\n... and %zu more", parsed.problems.size() - Shown);
    }
    ShowMessage(this, message, "Add sites", MessageStyle::Exclamation);
  }
  return std::move(parsed.urls);
}

void AddSitesDialog::OnLoadFile(wxCommandEvent&) {
  wxFileDialog ask(this, "Load sites from a file", wxEmptyString, wxEmptyString,
                   "Text files (*.txt)|*.txt|All files|*", wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (ask.ShowModal() == wxID_OK) LoadFromFile(ask.GetPath());
}

std::vector<std::string> AskForSites(wxWindow* parent) {
  AddSitesDialog dialog(parent);
  if (dialog.ShowModal() != wxID_OK) return {};
  return dialog.TakeSites();
}

}  // namespace qb

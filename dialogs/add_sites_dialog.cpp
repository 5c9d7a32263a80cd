#include "dialogs/add_sites_dialog.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choicdlg.h>
#include <wx/filedlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <thread>

#include "core/given_sites.h"
#include "search/engine_file.h"
#include "search/engine_keys.h"
#include "search/engine_set.h"
#include "search/site_list.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {
namespace {
// A list of sites, not a disc image picked by mistake.
constexpr std::streamoff MostFileBytes = 1 << 20;
}  // namespace

AddSitesDialog::AddSitesDialog(wxWindow* parent, bool offerCrawl)
    : wxDialog(parent, wxID_ANY, "Add sites", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      link_(WindowLink<AddSitesDialog>::To(this)) {
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(new wxStaticText(this, wxID_ANY,
                               "FTP sites to explore, one a line: ftp:// addresses, or host "
                               "names for their root folder."),
              wxSizerFlags().Border(wxALL, 10));
  text_ = new wxTextCtrl(this, IdSitesText, wxEmptyString, wxDefaultPosition, wxSize(480, 220),
                         wxTE_MULTILINE | wxTE_DONTWRAP);
  column->Add(text_, wxSizerFlags(1).Expand().Border(wxLEFT | wxRIGHT, 10));
  if (offerCrawl) {
    crawl_ = new wxCheckBox(this, IdCrawl, "Crawl instead of explore");
    crawl_->SetToolTip("List every folder of each site into the local index");
    column->Add(crawl_, wxSizerFlags().Border(wxLEFT | wxRIGHT | wxTOP, 10));
  }
  listStatus_ = new wxStaticText(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                                 wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
  column->Add(listStatus_, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxTOP, 10));
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->Add(new wxButton(this, IdLoadFile, "Load from file..."));
  fromList_ = new wxButton(this, IdFromList, "From a site list...");
  fromList_->SetToolTip("The FTP sites a published mirror list names");
  buttons->Add(fromList_, wxSizerFlags().Border(wxLEFT, 6));
  buttons->AddStretchSpacer();
  buttons->Add(CreateButtonSizer(wxOK | wxCANCEL));
  column->Add(buttons, wxSizerFlags().Expand().Border(wxALL, 10));
  SetSizerAndFit(column);
  Bind(wxEVT_BUTTON, &AddSitesDialog::OnLoadFile, this, IdLoadFile);
  Bind(wxEVT_BUTTON, &AddSitesDialog::OnFromList, this, IdFromList);
  text_->SetFocus();
  CentreOnParent();
}

// A fetch still running posts to a dialog that has gone: its link drops that.
AddSitesDialog::~AddSitesDialog() { link_->Detach(); }

void AddSitesDialog::OnFromList(wxCommandEvent&) {
  const std::vector<EngineDef> lists = KnownSiteLists(ReadEngineFile(EngineFilePath()).engines);
  wxArrayString names;
  for (const EngineDef& list : lists) names.Add(ToDisplayText(list.name));
  wxSingleChoiceDialog choose(this, "The site list whose FTP sites to add:", "From a site list",
                              names);
  if (choose.ShowModal() != wxID_OK || choose.GetSelection() < 0) return;
  LoadList(lists[static_cast<std::size_t>(choose.GetSelection())]);
}

void AddSitesDialog::LoadFromList(const std::string& name) {
  if (const std::optional<EngineDef> list =
          FindSiteList(name, ReadEngineFile(EngineFilePath()).engines))
    LoadList(*list);
}

void AddSitesDialog::LoadList(const EngineDef& list) {
  fromList_->Disable();
  listStatus_->SetLabel(ToDisplayText("Fetching " + list.name + "..."));
  // A page can take the whole fetch time-out to come: never on the UI thread.
  std::thread([link = link_, list] {
    FetchedSiteList fetched = FetchSiteList(list, EngineKeys().Lookup());
    link->Post([name = list.name, fetched = std::move(fetched)](AddSitesDialog& dialog) {
      dialog.ListFetched(name, fetched.sites.sites, fetched.problem);
    });
  }).detach();
}

void AddSitesDialog::ListFetched(const std::string& name, const std::vector<std::string>& sites,
                                 const std::string& problem) {
  fromList_->Enable();
  const wxString current = text_->GetValue();
  if (!sites.empty() && !current.empty() && !current.EndsWith("\n")) text_->AppendText("\n");
  for (const std::string& site : sites) text_->AppendText(ToDisplayText(site) + "\n");
  std::string status =
      std::to_string(sites.size()) + (sites.size() == 1 ? " site" : " sites") + " from " + name;
  if (!problem.empty()) status += "; " + problem;
  listStatus_->SetLabel(ToDisplayText(status));
  listStatus_->SetToolTip(ToDisplayText(status));
}

wxString AddSitesDialog::ListStatus() const { return listStatus_->GetLabel(); }

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

bool AddSitesDialog::Crawl() const { return crawl_ && crawl_->GetValue(); }

void AddSitesDialog::OnLoadFile(wxCommandEvent&) {
  wxFileDialog ask(this, "Load sites from a file", wxEmptyString, wxEmptyString,
                   "Text files (*.txt)|*.txt|All files|*", wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (ask.ShowModal() == wxID_OK) LoadFromFile(ask.GetPath());
}

std::vector<std::string> AskForSites(wxWindow* parent, bool* crawl) {
  AddSitesDialog dialog(parent, crawl != nullptr);
  if (dialog.ShowModal() != wxID_OK) return {};
  if (crawl) *crawl = dialog.Crawl();
  return dialog.TakeSites();
}

}  // namespace qb

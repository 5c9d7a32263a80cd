#include "mainwin/find_pane.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>

#include "core/launcher.h"
#include "core/text_helpers.h"
#include "index/export_rows.h"
#include "ui/clipboard.h"
#include "ui/display_text.h"

namespace qb {

namespace {
constexpr long PageRows = 200;
// Every hit an export writes, at most.
constexpr int64_t ExportLimit = 1000000;
enum { IdCopyUrl = wxID_HIGHEST + 1, IdShowSite, IdExport };
const char* const Columns[] = {"Name", "Size", "Date", "Site", "Explored"};
std::string Utf8(const wxString& text) { return std::string(text.utf8_str()); }
}  // namespace

FindPane::FindPane(wxWindow* parent, std::unique_ptr<IndexDb> reader,
                   std::function<bool(const std::string&)> showSite)
    : wxFrame(parent, wxID_ANY, "Find in explored sites", wxDefaultPosition, wxSize(760, 480)),
      reader_(std::move(reader)),
      showSite_(std::move(showSite)),
      typing_(this) {
  auto* panel = new wxPanel(this);
  text_ = new wxTextCtrl(panel, wxID_ANY, "", wxDefaultPosition, wxSize(220, -1));
  text_->SetHint("Part of a name");
  extension_ = new wxTextCtrl(panel, wxID_ANY, "", wxDefaultPosition, wxSize(70, -1));
  extension_->SetHint("Extension");
  minSize_ = new wxTextCtrl(panel, wxID_ANY, "", wxDefaultPosition, wxSize(90, -1));
  minSize_->SetHint("Min. bytes");
  const wxString kinds[] = {"Files and folders", "Files", "Folders"};
  kind_ = new wxChoice(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize, 3, kinds);
  kind_->SetSelection(0);
  auto* exportButton = new wxButton(panel, IdExport, ToDisplayText("Export…"));
  list_ = new VirtualListCtrl;
  list_->Create(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL);
  const int widths[] = {220, 80, 110, 220, 120};
  for (int c = 0; c < 5; ++c) list_->AppendColumn(Columns[c], wxLIST_FORMAT_LEFT, widths[c]);
  list_->text = [this](long row, long column) -> wxString {
    const FoundEntry* hit = Row(row);
    if (!hit) return {};
    switch (column) {
      case 0:
        return ToDisplayText(hit->isFolder ? hit->name + "/" : hit->name);
      case 1:
        return hit->isFolder ? wxString() : wxString::Format("%lld", (long long)hit->size);
      case 2:
        return ToDisplayText(hit->date);
      case 3:
        return ToDisplayText(hit->siteUrl);
      default:
        return ToDisplayText(WhenText(hit->exploredAt));
    }
  };
  list_->image = [](long) { return -1; };
  countLabel_ = new wxStaticText(panel, wxID_ANY, "");

  auto* filters = new wxBoxSizer(wxHORIZONTAL);
  filters->Add(text_, 1, wxRIGHT, 6);
  filters->Add(extension_, 0, wxRIGHT, 6);
  filters->Add(minSize_, 0, wxRIGHT, 6);
  filters->Add(kind_, 0, wxRIGHT, 6);
  filters->Add(exportButton, 0);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(filters, 0, wxEXPAND | wxALL, 6);
  column->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 6);
  column->Add(countLabel_, 0, wxEXPAND | wxALL, 6);
  panel->SetSizer(column);

  for (wxTextCtrl* box : {text_, extension_, minSize_})
    box->Bind(wxEVT_TEXT, &FindPane::OnEdit, this);
  kind_->Bind(wxEVT_CHOICE, &FindPane::OnEdit, this);
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { RunQuery(); });
  list_->Bind(wxEVT_LIST_ITEM_ACTIVATED, &FindPane::OnActivate, this);
  list_->Bind(wxEVT_LIST_ITEM_RIGHT_CLICK, &FindPane::OnContextMenu, this);
  exportButton->Bind(wxEVT_BUTTON, &FindPane::OnExport, this);
  RunQuery();
}

FindQuery FindPane::Query() const {
  FindQuery q;
  q.text = Utf8(text_->GetValue());
  q.extension = Utf8(extension_->GetValue());
  if (!q.extension.empty() && q.extension[0] == '.') q.extension.erase(0, 1);
  q.minSize = AtoL(Utf8(minSize_->GetValue()).c_str());
  if (q.minSize < 0) q.minSize = 0;
  const int kind = kind_->GetSelection();
  q.kind = kind == 1 ? FindKind::Files : (kind == 2 ? FindKind::Folders : FindKind::All);
  return q;
}

void FindPane::OnEdit(wxCommandEvent&) { typing_.StartOnce(250); }

void FindPane::RunQuery() {
  typing_.Stop();
  shownQuery_ = Query();
  pageStart_ = -1;
  page_.clear();
  std::string error;
  count_ = reader_ ? reader_->Count(shownQuery_, error) : 0;
  list_->SetItemCount(static_cast<long>(count_));
  list_->Refresh();
  countLabel_->SetLabel(error.empty() ? wxString::Format("%lld found", (long long)count_)
                                      : ToDisplayText(error));
}

const FoundEntry* FindPane::Row(long row) {
  if (row < 0 || row >= count_ || !reader_) return nullptr;
  if (pageStart_ < 0 || row < pageStart_ || row >= pageStart_ + static_cast<long>(page_.size())) {
    std::string error;
    pageStart_ = row - row % PageRows;
    page_ = reader_->Find(shownQuery_, pageStart_, PageRows, error);
  }
  const long at = row - static_cast<long>(pageStart_);
  return at < static_cast<long>(page_.size()) ? &page_[static_cast<std::size_t>(at)] : nullptr;
}

std::string FindPane::RowUrl(long row) {
  const FoundEntry* hit = Row(row);
  return hit ? EntryUrl(hit->siteUrl, hit->name, hit->isFolder) : std::string();
}

bool FindPane::ExportHits(const std::string& path, std::string& error) {
  if (!reader_) return false;
  std::vector<ExportRow> rows;
  for (const FoundEntry& hit : reader_->Find(shownQuery_, 0, ExportLimit, error))
    rows.push_back(RowOf(hit));
  if (!error.empty()) return false;
  return WriteExportFile(path, "Files found: " + shownQuery_.text, rows, error);
}

void FindPane::OnActivate(wxListEvent& event) {
  const std::string url = RowUrl(event.GetIndex());
  if (!url.empty()) LaunchBrowser(url);
}

void FindPane::OnContextMenu(wxListEvent& event) {
  const long row = event.GetIndex();
  const FoundEntry* hit = Row(row);
  if (!hit) return;
  const std::string site = hit->siteUrl;
  wxMenu menu;
  menu.Append(IdCopyUrl, "Copy URL");
  menu.Append(IdShowSite, "Show site in the site list");
  const int chosen = GetPopupMenuSelectionFromUser(menu);
  if (chosen == IdCopyUrl) CopyToClipboard(RowUrl(row));
  if (chosen == IdShowSite && !(showSite_ && showSite_(site))) {
    countLabel_->SetLabel("That site is not in the current site list.");
  }
}

void FindPane::OnExport(wxCommandEvent&) {
  wxFileDialog dialog(this, "Export found files", "", "found.csv",
                      "CSV (*.csv)|*.csv|Web page (*.html)|*.html",
                      wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (dialog.ShowModal() != wxID_OK) return;
  std::string error;
  if (!ExportHits(Utf8(dialog.GetPath()), error))
    wxMessageBox(ToDisplayText(error), "Export", wxOK | wxICON_ERROR, this);
}

}  // namespace qb

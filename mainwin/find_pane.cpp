#include "mainwin/find_pane.h"

#include <wx/button.h>
#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/filedlgcustomize.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>

#include <algorithm>
#include <ctime>
#include <string_view>

#include "core/byte_size.h"
#include "core/launcher.h"
#include "core/text_helpers.h"
#include "index/export_rows.h"
#include "index/export_writer.h"
#include "mainwin/list_logic.h"
#include "ui/clipboard.h"
#include "ui/display_text.h"

namespace qb {

namespace {
constexpr long PageRows = 200;
// Every hit an export writes, or a sort holds, at most.
constexpr int64_t ExportLimit = 1000000;
enum { IdShowSite = wxID_HIGHEST + 1, IdExport };
enum { ColName, ColFolder, ColSize, ColDate, ColSite, ColExplored, ColumnCount };
const char* const Columns[] = {"Name", "Folder", "Size", "Date", "Site", "Explored"};
std::string Utf8(const wxString& text) { return std::string(text.utf8_str()); }

bool SameHit(const FoundEntry& a, const FoundEntry& b) {
  return a.isFolder == b.isFolder && a.name == b.name && a.folder == b.folder &&
         a.siteUrl == b.siteUrl;
}

// The path of the site's URL, from the slash after its host on.
std::string_view SitePath(std::string_view url) {
  const std::size_t scheme = url.find("://");
  const std::size_t slash = url.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
  return slash == std::string_view::npos ? std::string_view("/") : url.substr(slash);
}

std::string InSite(const std::string& siteUrl, const std::string& folder) {
  if (folder.empty() || siteUrl.empty() || siteUrl.back() == '/') return siteUrl + folder;
  return siteUrl + "/" + folder;
}

int Number(std::string_view text) {
  int n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9' || n > 100000) return -1;
    n = n * 10 + (c - '0');
  }
  return text.empty() ? -1 : n;
}

int MonthOf(std::string_view word) {
  static const char* const names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                      "jul", "aug", "sep", "oct", "nov", "dec"};
  if (word.size() < 3) return 0;
  for (int m = 0; m < 12; ++m)
    if (EqualNoCase(word.substr(0, 3), names[m])) return m + 1;
  return 0;
}

// "09:47" or "9:47PM" as hours * 100 + minutes; -1 for anything else.
int TimeOf(std::string_view word) {
  const std::size_t colon = word.find(':');
  if (colon == std::string_view::npos || word.size() < colon + 3) return -1;
  const int h = Number(word.substr(0, colon));
  const int m = Number(word.substr(colon + 1, 2));
  if (h < 0 || m < 0) return -1;
  const std::string_view rest = word.substr(colon + 3);
  const int pm = EqualNoCase(rest, "PM") && h < 12 ? 12 : 0;
  return (EqualNoCase(rest, "AM") && h == 12 ? 0 : h + pm) * 100 + m;
}

// Listings print dates in the server's own shape ("Jan 12 1999", "Jan 12 09:47"
// within the last half year, "1995-04-21 09:16", "Oct 08, 2002 09:47",
// "04-21-95 09:16AM"); this orders them as dates, YYYYMMDDhhmm, -1 when unread.
int64_t DateKey(const FoundEntry& hit) {
  std::vector<std::string_view> words;
  std::string_view text = hit.date;
  while (!text.empty()) {
    const std::size_t start = text.find_first_not_of(" ,");
    if (start == std::string_view::npos) break;
    text.remove_prefix(start);
    const std::size_t end = std::min(text.find_first_of(" ,"), text.size());
    words.push_back(text.substr(0, end));
    text.remove_prefix(end);
  }
  if (words.empty()) return -1;
  int year = -1, month = 0, day = -1, time = 0;
  const std::string_view first = words[0];
  if (first.size() >= 8 && first[2] == '-' && first[5] == '-') {
    month = Number(first.substr(0, 2));
    day = Number(first.substr(3, 2));
    year = Number(first.substr(6));
    if (year >= 0 && year < 100) year += year < 70 ? 2000 : 1900;
  } else if (first.size() == 10 && first[4] == '-' && first[7] == '-') {
    year = Number(first.substr(0, 4));
    month = Number(first.substr(5, 2));
    day = Number(first.substr(8, 2));
  } else if (words.size() >= 3 && (month = MonthOf(first)) != 0) {
    day = Number(words[1]);
    if (const int clock = TimeOf(words[2]); clock >= 0) {
      // No year: the last such day up to the exploration.
      const std::time_t when = static_cast<std::time_t>(hit.exploredAt);
      std::tm local{};
      localtime_r(&when, &local);
      year = local.tm_year + 1900;
      if (month > local.tm_mon + 1 || (month == local.tm_mon + 1 && day > local.tm_mday)) --year;
      time = clock;
      words.clear();
    } else {
      year = Number(words[2]);
      words.erase(words.begin(), words.begin() + 2);
    }
  }
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31) return -1;
  if (words.size() >= 2) time = std::max(0, TimeOf(words[1]));
  return ((static_cast<int64_t>(year) * 100 + month) * 100 + day) * 10000 + time;
}

int Compare(const FoundEntry& a, const FoundEntry& b, int column) {
  const auto order = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (column) {
    case ColName:
      return CompareNoCase(a.name, b.name);
    case ColFolder:
      return CompareNoCase(FolderPath(a), FolderPath(b));
    case ColSize:
      // Folders have no size of their own: they come before every file.
      return order(a.isFolder ? -1 : a.size, b.isFolder ? -1 : b.size);
    case ColDate:
      return order(DateKey(a), DateKey(b));
    case ColSite:
      return CompareNoCase(a.siteUrl, b.siteUrl);
    default:
      return order(a.exploredAt, b.exploredAt);
  }
}

class KeepPasswordsHook : public wxFileDialogCustomizeHook {
 public:
  void AddCustomControls(wxFileDialogCustomize& customizer) override {
    box_ = customizer.AddCheckBox(KeepPasswordsLabel);
  }
  void TransferDataFromCustomControls() override { keep = box_ && box_->GetValue(); }
  bool keep = false;

 private:
  wxFileDialogCheckBox* box_ = nullptr;
};

}  // namespace

std::string FolderPath(const FoundEntry& hit) {
  std::string path(SitePath(hit.siteUrl));
  if (path.back() != '/') path += '/';
  return path + hit.folder;
}

std::string HitUrl(const FoundEntry& hit) {
  const std::string& folder = hit.serverFolder.empty() ? hit.folder : hit.serverFolder;
  return EntryUrl(InSite(hit.siteUrl, folder), hit.serverName.empty() ? hit.name : hit.serverName,
                  hit.isFolder);
}

bool AskExportFile(wxWindow* parent, const wxString& title, const wxString& fileName,
                   std::string& path, bool& keepPasswords) {
  wxFileDialog dialog(parent, title, "", fileName, "CSV (*.csv)|*.csv|Web page (*.html)|*.html",
                      wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  KeepPasswordsHook hook;
  dialog.SetCustomizeHook(hook);
  if (dialog.ShowModal() != wxID_OK) return false;
  path = Utf8(dialog.GetPath());
  keepPasswords = hook.keep;
  return true;
}

FindPane::FindPane(wxWindow* parent, std::unique_ptr<IndexDb> reader,
                   std::function<bool(const std::string&)> showSite)
    : wxFrame(parent, wxID_ANY, "Find in explored sites", wxDefaultPosition, wxSize(880, 480),
              wxDEFAULT_FRAME_STYLE | (parent ? wxFRAME_FLOAT_ON_PARENT : 0)),
      reader_(std::move(reader)),
      showSite_(std::move(showSite)),
      typing_(this) {
  auto* panel = new wxPanel(this);
  text_ = new wxTextCtrl(panel, wxID_ANY, "", wxDefaultPosition, wxSize(220, -1));
  text_->SetHint("Part of a name");
  extension_ = new wxTextCtrl(panel, wxID_ANY, "", wxDefaultPosition, wxSize(70, -1));
  extension_->SetHint("Extension");
  minSize_ = new wxTextCtrl(panel, wxID_ANY, "", wxDefaultPosition, wxSize(90, -1));
  minSize_->SetHint("Min. size");
  minSize_->SetToolTip("Smallest file size: bytes, or a number with K, M or G");
  const wxString kinds[] = {"Files and folders", "Files", "Folders"};
  kind_ = new wxChoice(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize, 3, kinds);
  kind_->SetSelection(0);
  auto* exportButton = new wxButton(panel, IdExport, ToDisplayText("Export…"));
  list_ = new VirtualListCtrl;
  list_->Create(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL);
  const int widths[] = {195, 170, 80, 110, 170, 135};
  for (int c = 0; c < ColumnCount; ++c)
    list_->AppendColumn(Columns[c], wxLIST_FORMAT_LEFT, widths[c]);
  list_->text = [this](long row, long column) -> wxString {
    const FoundEntry* hit = Row(row);
    if (!hit) return {};
    switch (column) {
      case ColName:
        return ToDisplayText(hit->isFolder ? hit->name + "/" : hit->name);
      case ColFolder:
        return ToDisplayText(FolderPath(*hit));
      case ColSize:
        return hit->isFolder ? wxString() : wxString::Format("%lld", (long long)hit->size);
      case ColDate:
        return ToDisplayText(hit->date);
      case ColSite:
        return ToDisplayText(HidePassword(hit->siteUrl));
      default:
        return ToDisplayText(WhenText(hit->exploredAt));
    }
  };
  list_->image = [](long) { return -1; };
  list_->Bind(wxEVT_LIST_COL_CLICK, &FindPane::OnColumnClick, this);
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
  Bind(wxEVT_MENU, &FindPane::OnCopyUrl, this, wxID_COPY);
  Bind(wxEVT_MENU, &FindPane::OnShowSite, this, IdShowSite);
  PlaceOver(parent);
  RunQuery();
}

void FindPane::PlaceOver(wxWindow* parent) {
  const int number = wxDisplay::GetFromWindow(parent ? parent : this);
  const wxRect screen = wxDisplay(number == wxNOT_FOUND ? 0u : unsigned(number)).GetClientArea();
  wxRect r(GetPosition(), GetSize());
  r.width = std::min(r.width, screen.width);
  r.height = std::min(r.height, screen.height);
  if (parent) {
    const wxRect over = parent->GetScreenRect();
    r.x = over.x + (over.width - r.width) / 2;
    r.y = over.y + (over.height - r.height) / 2;
  } else {
    r = r.CentreIn(screen);
  }
  r.x = std::clamp(r.x, screen.x, screen.x + screen.width - r.width);
  r.y = std::clamp(r.y, screen.y, screen.y + screen.height - r.height);
  SetSize(r);
}

std::optional<FindQuery> FindPane::Query(std::string& problem) const {
  FindQuery q;
  q.text = Utf8(text_->GetValue());
  q.extension = Utf8(extension_->GetValue());
  if (!q.extension.empty() && q.extension[0] == '.') q.extension.erase(0, 1);
  const std::string minSize = Utf8(minSize_->GetValue());
  if (minSize.find_first_not_of(" \t") != std::string::npos) {
    const std::optional<int64_t> size = ParseByteSize(minSize);
    if (!size) {
      problem =
          "Min. size: \"" + minSize + "\" is no size; give bytes, or a number with K, M or G.";
      return std::nullopt;
    }
    q.minSize = *size;
  }
  const int kind = kind_->GetSelection();
  q.kind = kind == 1 ? FindKind::Files : (kind == 2 ? FindKind::Folders : FindKind::All);
  return q;
}

void FindPane::OnEdit(wxCommandEvent&) { typing_.StartOnce(250); }

std::optional<FoundEntry> FindPane::SelectedHit() {
  const std::vector<long> rows = list_->SelectedRows();
  const FoundEntry* hit = rows.empty() ? nullptr : Row(rows.front());
  return hit ? std::optional<FoundEntry>(*hit) : std::nullopt;
}

void FindPane::RunQuery() { Rerun(SelectedHit()); }

void FindPane::Rerun(const std::optional<FoundEntry>& selected) {
  typing_.Stop();
  std::string error;
  const std::optional<FindQuery> query = Query(error);
  queryRead_ = query.has_value();
  if (query) shownQuery_ = *query;
  pageStart_ = -1;
  page_.clear();
  sorted_.clear();
  sortCut_ = false;
  count_ = 0;
  if (queryRead_ && reader_) {
    count_ = reader_->Count(shownQuery_, error);
    if (error.empty() && sortColumn_ >= 0) LoadSorted(error);
  }
  list_->SetItemCount(static_cast<long>(count_));
  // The list keeps row numbers selected; what they show now may be other hits.
  const long row = selected && error.empty() ? RowShowing(*selected) : -1;
  list_->SelectOnly(row >= 0 ? std::vector<long>{row} : std::vector<long>{});
  if (row >= 0) {
    list_->SetItemState(row, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    list_->EnsureVisible(row);
  }
  list_->Refresh();
  wxString label = wxString::Format("%lld found", (long long)count_);
  if (sortCut_)
    label += wxString::Format("; only the first %lld are sorted", (long long)ExportLimit);
  countLabel_->SetLabel(error.empty() ? label : ToDisplayText(error));
}

void FindPane::LoadSorted(std::string& error) {
  sorted_ = reader_->Find(shownQuery_, 0, ExportLimit, error);
  sortCut_ = count_ > static_cast<int64_t>(sorted_.size());
  if (sortCut_) count_ = static_cast<int64_t>(sorted_.size());
  const int column = sortColumn_;
  const bool ascending = sortAscending_;
  std::stable_sort(sorted_.begin(), sorted_.end(),
                   [column, ascending](const FoundEntry& a, const FoundEntry& b) {
                     const int c = Compare(a, b, column);
                     return ascending ? c < 0 : c > 0;
                   });
}

long FindPane::RowShowing(const FoundEntry& hit) {
  if (sortColumn_ >= 0) {
    for (std::size_t i = 0; i < sorted_.size(); ++i)
      if (SameHit(sorted_[i], hit)) return static_cast<long>(i);
    return -1;
  }
  if (!reader_) return -1;
  long found = -1, at = 0;
  std::string error;
  reader_->Scan(
      shownQuery_, 0, count_,
      [&](const FoundEntry& candidate) {
        if (SameHit(candidate, hit)) found = at;
        ++at;
        return found < 0;
      },
      error);
  return found;
}

void FindPane::SortBy(int column) {
  if (column < 0 || column >= ColumnCount) return;
  // Taken while the rows are still in the order it was selected in.
  const std::optional<FoundEntry> selected = SelectedHit();
  sortAscending_ = column == sortColumn_ ? !sortAscending_ : true;
  sortColumn_ = column;
  list_->ShowSortIndicator(column, sortAscending_);
  Rerun(selected);
}

void FindPane::OnColumnClick(wxListEvent& event) { SortBy(event.GetColumn()); }

const FoundEntry* FindPane::Row(long row) {
  if (row < 0 || row >= count_ || !reader_) return nullptr;
  if (sortColumn_ >= 0) {
    return static_cast<std::size_t>(row) < sorted_.size() ? &sorted_[static_cast<std::size_t>(row)]
                                                          : nullptr;
  }
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
  return hit ? HitUrl(*hit) : std::string();
}

bool FindPane::ExportHits(const std::string& path, bool keepPasswords, std::string& error) {
  if (!reader_ || !queryRead_) {
    error = "Nothing is found to export.";
    return false;
  }
  std::vector<ExportRow> rows;
  // The export makes each URL from the site's: the folder goes with it.
  const auto rowOf = [](const FoundEntry& hit) {
    ExportRow row = RowOf(hit);
    row.siteUrl = InSite(hit.siteUrl, hit.folder);
    return row;
  };
  if (sortColumn_ >= 0) {
    for (const FoundEntry& hit : sorted_) rows.push_back(rowOf(hit));
  } else {
    for (const FoundEntry& hit : reader_->Find(shownQuery_, 0, ExportLimit, error))
      rows.push_back(rowOf(hit));
  }
  if (!error.empty()) return false;
  return WriteExportFile(path, "Files found: " + shownQuery_.text, rows, keepPasswords, error);
}

void FindPane::OnActivate(wxListEvent& event) {
  const std::string url = RowUrl(event.GetIndex());
  if (url.empty()) return;
  const FoundEntry* hit = Row(event.GetIndex());
  if (activate_ && hit)
    activate_(url, hit->isFolder, hit->isFolder ? -1 : hit->size);
  else
    LaunchBrowser(url);
}

void FindPane::OnContextMenu(wxListEvent& event) {
  const long row = event.GetIndex();
  if (!Row(row)) return;
  // The commands act on the selection: the row clicked becomes it.
  list_->SelectOnly({row});
  wxMenu menu;
  menu.Append(wxID_COPY, "Copy URL");
  menu.Append(IdShowSite, "Show site in the site list");
  PopupMenu(&menu);
}

void FindPane::OnCopyUrl(wxCommandEvent&) {
  const std::optional<FoundEntry> hit = SelectedHit();
  if (hit) CopyToClipboard(HitUrl(*hit));
}

void FindPane::OnShowSite(wxCommandEvent&) {
  const std::optional<FoundEntry> hit = SelectedHit();
  if (!hit || !showSite_) return;
  // The folder itself when a search put it in the table, else its site.
  const std::string folder = InSite(hit->siteUrl, hit->folder);
  const bool shown = (!hit->folder.empty() && showSite_(folder)) || showSite_(hit->siteUrl);
  if (!shown) countLabel_->SetLabel("That site is not in the current site list.");
}

void FindPane::OnExport(wxCommandEvent&) {
  std::string path;
  bool keepPasswords = false;
  if (!AskExportFile(this, "Export found files", "found.csv", path, keepPasswords)) return;
  std::string error;
  if (!ExportHits(path, keepPasswords, error))
    wxMessageBox(ToDisplayText(error), "Export", wxOK | wxICON_ERROR, this);
}

}  // namespace qb

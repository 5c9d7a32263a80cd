#include "mainwin/site_list.h"

#include <algorithm>

#include "core/password_text.h"
#include "mainwin/list_logic.h"
#include "resources/resource_module.h"
#include "ui/display_text.h"

namespace qb {

SiteListView::SiteListView()
    : images_(16, 16, true, 1), shown_(SiteCapacity), urls_(SiteCapacity) {}

void SiteListView::Attach(VirtualListCtrl* list) {
  list_ = list;
  for (int icon = 10; icon <= 14; ++icon) images_.Add(ResourceModule::Icon(icon));
  list_->InsertColumn(0, "Ftp", wxLIST_FORMAT_LEFT, 210);
  list_->InsertColumn(1, "Status", wxLIST_FORMAT_RIGHT, 85);
  list_->InsertColumn(2, "TLS", wxLIST_FORMAT_LEFT, 115);
  list_->SetImageList(&images_, wxIMAGE_LIST_SMALL);
  list_->text = [this](long row, long column) { return Text(row, column); };
  list_->image = [this](long row) { return Image(row); };
  // The rows are drawn, and take the pointer, in a child window of the list.
  for (wxWindow* child : list_->GetChildren()) {
    child->Bind(wxEVT_MOTION, [this](wxMouseEvent& event) {
      if (event.GetEventObject() == list_->RowsWindow()) ShowRowTip(event.GetPosition());
      event.Skip();
    });
  }
}

void SiteListView::ShowRowTip(const wxPoint& at) {
  int flags = 0;
  const int site = SiteOfRow(list_->HitTest(at, flags));
  const wxString tip =
      site < 0 || shown_[site].text.empty()
          ? wxString()
          : ToDisplayText(HidePassword(urls_[site])) + "\n" + ToDisplayText(shown_[site].text);
  if (tip == tip_) return;
  tip_ = tip;
  if (tip.empty())
    list_->RowsWindow()->UnsetToolTip();
  else
    list_->RowsWindow()->SetToolTip(tip);
}

wxString SiteListView::Text(long row, long column) const {
  const int site = SiteOfRow(row);
  if (site < 0) return wxString();
  // The list is in view of anyone at the screen: a password shows as stars.
  if (column == 0) return ToDisplayText(HidePassword(urls_[site]));
  if (column == 2) return TlsColumnText(shown_[site].tls);
  return ToDisplayText(shown_[site].text);
}

int SiteListView::Image(long row) const {
  const int site = SiteOfRow(row);
  return site < 0 ? -1 : shown_[site].image;
}

int SiteListView::SiteOfRow(long row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= rowSites_.size()) return -1;
  return rowSites_[row];
}

void SiteListView::Empty() {
  rowSites_.clear();
  list_->SelectOnly({});
  list_->SetItemCount(0);
  list_->Refresh();
}

std::vector<long> SiteListView::RowsOf(const std::vector<int>& sites) const {
  std::vector<char> wanted(SiteCapacity, 0);
  for (int site : sites) wanted[site] = 1;
  std::vector<long> rows;
  for (std::size_t row = 0; row < rowSites_.size(); ++row) {
    if (wanted[rowSites_[row]]) rows.push_back(static_cast<long>(row));
  }
  return rows;
}

bool SiteListView::Refresh(bool showAll) {
  // Copies under the table's locks; the rows are touched after they are released.
  const std::vector<SiteSnapshot> sites = TakeSiteSnapshot();
  counts_ = CountExplored(sites);
  const SiteListPlan plan = PlanSiteListPass(rowSites_, shown_, sites, showAll);
  if (plan.ops.empty()) return false;
  const bool rowsMove = std::any_of(plan.ops.begin(), plan.ops.end(), [](const SiteListOp& op) {
    return op.kind == SiteListOp::Delete;
  });
  // The list keeps its selection by row: rows that move take it along.
  const std::vector<int> selected = rowsMove ? SelectedSites() : std::vector<int>();
  for (const SiteListOp& op : plan.ops) {
    switch (op.kind) {
      case SiteListOp::Delete:
        rowSites_.erase(rowSites_.begin() + op.row);
        break;
      case SiteListOp::SetImage:
        shown_[op.site].image = op.image;
        break;
      case SiteListOp::SetText:
        shown_[op.site].text = op.text;
        break;
      case SiteListOp::SetTls:
        shown_[op.site].tls = op.tls;
        break;
      case SiteListOp::Append:
        urls_[op.site] = sites[op.site].entry->url;
        rowSites_.push_back(op.site);
        shown_[op.site].image = op.image;
        shown_[op.site].text.clear();
        shown_[op.site].tls = op.tls;
        break;
    }
  }
  if (rowsMove) list_->SelectOnly({});
  list_->SetItemCount(static_cast<long>(rowSites_.size()));
  if (rowsMove) list_->SelectOnly(RowsOf(selected));
  list_->Refresh();
  return plan.textChanged;
}

void SiteListView::Sort(const TLwComparator& comparator, int flag) {
  const std::vector<int> selected = SelectedSites();
  SiteSortKeys keys = TakeSiteSortKeys();
  CompUrl.keys = &keys;
  CompErrorCode.keys = &keys;
  CompTls.keys = &keys;
  std::stable_sort(rowSites_.begin(), rowSites_.end(),
                   [&](int a, int b) { return comparator.compare(a, b, flag) < 0; });
  CompUrl.keys = nullptr;
  CompErrorCode.keys = nullptr;
  CompTls.keys = nullptr;
  const std::vector<long> rows = RowsOf(selected);
  list_->SelectOnly(rows);
  if (!rows.empty()) {
    list_->SetItemState(rows.front(), wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
    list_->EnsureVisible(rows.front());
  }
  list_->Refresh();
}

std::vector<int> SiteListView::SelectedSites() const {
  std::vector<int> chosen;
  for (long row : list_->SelectedRows()) {
    const int site = SiteOfRow(row);
    if (site >= 0) chosen.push_back(site);
  }
  return chosen;
}

bool SiteListView::ShowSite(int site) {
  const std::vector<long> rows = RowsOf({site});
  if (rows.empty()) return false;
  list_->SelectOnly(rows);
  list_->SetItemState(rows.front(), wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
  list_->EnsureVisible(rows.front());
  return true;
}

}  // namespace qb

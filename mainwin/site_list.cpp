#include "mainwin/site_list.h"

#include "mainwin/list_logic.h"
#include "mainwin/sort_rows.h"
#include "resources/resource_module.h"
#include "ui/display_text.h"

namespace qb {

SiteListView::SiteListView() : images_(16, 16, true, 1), shown_(SiteCapacity) {}

void SiteListView::Attach(wxListCtrl* list) {
  list_ = list;
  for (int icon = 10; icon <= 14; ++icon) images_.Add(ResourceModule::Icon(icon));
  list_->InsertColumn(0, "Ftp", wxLIST_FORMAT_LEFT, 210);
  list_->InsertColumn(1, "Status", wxLIST_FORMAT_RIGHT, 85);
  list_->SetImageList(&images_, wxIMAGE_LIST_SMALL);
}

void SiteListView::Empty() {
  list_->DeleteAllItems();
  rowSites_.clear();
}

bool SiteListView::Refresh(bool showAll) {
  // Copies under the table's locks; the list is touched after they are released.
  const std::vector<SiteSnapshot> sites = TakeSiteSnapshot();
  const SiteListPlan plan = PlanSiteListPass(rowSites_, shown_, sites, showAll);
  if (plan.ops.empty()) return false;
  const bool many = plan.ops.size() > 50;
  if (many) list_->Freeze();
  for (const SiteListOp& op : plan.ops) {
    switch (op.kind) {
      case SiteListOp::Delete:
        list_->DeleteItem(op.row);
        rowSites_.erase(rowSites_.begin() + op.row);
        break;
      case SiteListOp::SetImage:
        list_->SetItemImage(op.row, op.image);
        shown_[op.site].image = op.image;
        break;
      case SiteListOp::SetText:
        list_->SetItem(op.row, 1, ToDisplayText(op.text));
        shown_[op.site].text = op.text;
        break;
      case SiteListOp::Append: {
        const SiteSnapshot& site = sites[op.site];
        const long row = list_->InsertItem(op.row, ToDisplayText(site.entry->url), op.image);
        list_->SetItemData(row, op.site);
        rowSites_.push_back(op.site);
        shown_[op.site].image = op.image;
        shown_[op.site].text.clear();
        break;
      }
    }
  }
  if (many) list_->Thaw();
  return plan.textChanged;
}

void SiteListView::Sort(const TLwComparator& comparator, int flag) {
  SiteSortKeys keys = TakeSiteSortKeys();
  CompUrl.keys = &keys;
  CompErrorCode.keys = &keys;
  SortRows(list_, comparator, flag);
  CompUrl.keys = nullptr;
  CompErrorCode.keys = nullptr;
  const int n = list_->GetItemCount();
  rowSites_.resize(n);
  for (int row = 0; row < n; ++row) rowSites_[row] = static_cast<int>(list_->GetItemData(row));
}

std::vector<int> SiteListView::SelectedSites() const {
  std::vector<int> chosen;
  for (long row = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
       row = list_->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
    chosen.push_back(static_cast<int>(list_->GetItemData(row)));
  return chosen;
}

}  // namespace qb

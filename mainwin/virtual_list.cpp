#include "mainwin/virtual_list.h"

namespace qb {

wxIMPLEMENT_DYNAMIC_CLASS(VirtualListCtrl, wxListCtrl);

wxString VirtualListCtrl::OnGetItemText(long item, long column) const {
  return text ? text(item, column) : wxString();
}

int VirtualListCtrl::OnGetItemImage(long item) const { return image ? image(item) : -1; }

wxWindow* VirtualListCtrl::RowsWindow() const {
  wxWindow* rows = const_cast<VirtualListCtrl*>(this);
  int height = -1;
  for (wxWindow* child : GetChildren()) {
    if (child->GetSize().y > height) {
      height = child->GetSize().y;
      rows = child;
    }
  }
  return rows;
}

std::vector<long> VirtualListCtrl::SelectedRows() const {
  std::vector<long> rows;
  for (long row = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
       row = GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
    rows.push_back(row);
  return rows;
}

void VirtualListCtrl::SelectOnly(const std::vector<long>& rows) {
  reselecting_ = true;
  for (long row : SelectedRows()) SetItemState(row, 0, wxLIST_STATE_SELECTED);
  for (long row : rows) SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  reselecting_ = false;
}

}  // namespace qb

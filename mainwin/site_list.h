#pragma once
// The site list: a row per shown site of the table, with its icon and status
// text, brought in line with the table by a cheap pass on every tick.
#include <vector>

#include <wx/imaglist.h>
#include <wx/listctrl.h>

#include "mainwin/site_list_pass.h"

namespace qb {

class TLwComparator;

class SiteListView {
 public:
  SiteListView();
  // Columns and icons of the template's list.
  void Attach(wxListCtrl* list);
  wxListCtrl* List() const { return list_; }

  // Returns whether a status text changed.
  bool Refresh(bool showAll);
  void Sort(const TLwComparator& comparator, int flag);
  void Empty();
  // Site indexes of the selected rows, top to bottom.
  std::vector<int> SelectedSites() const;

 private:
  wxListCtrl* list_ = nullptr;
  wxImageList images_;
  // Each row's site index, and per site what its row shows.
  std::vector<int> rowSites_;
  std::vector<ShownRow> shown_;
};

}  // namespace qb

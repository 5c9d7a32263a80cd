#pragma once
// The site list: a row per shown site of the table, with its icon, status text
// and how its last session was secured, brought in line with the table by a
// cheap pass on every tick. The list shows only what is on screen; its rows
// live here.
#include <string>
#include <vector>

#include <wx/imaglist.h>

#include "mainwin/site_list_pass.h"
#include "mainwin/virtual_list.h"

namespace qb {

class TLwComparator;

class SiteListView {
 public:
  SiteListView();
  // Columns and icons of the template's list.
  void Attach(VirtualListCtrl* list);
  VirtualListCtrl* List() const { return list_; }

  // Returns whether a status text changed.
  bool Refresh(bool showAll);
  // The exploration's progress as the last Refresh saw it.
  ExplorationCounts Counts() const { return counts_; }
  // Selected sites stay selected, and the first of them in view.
  void Sort(const TLwComparator& comparator, int flag);
  void Empty();
  // Site indexes of the selected rows, top to bottom.
  std::vector<int> SelectedSites() const;
  // The site a row shows, or -1.
  int SiteOfRow(long row) const;
  // Selects the row of site alone and scrolls to it; false when it has no row.
  bool ShowSite(int site);

 private:
  wxString Text(long row, long column) const;
  int Image(long row) const;
  // The status column is narrow: the row under the pointer tells its whole text.
  void ShowRowTip(const wxPoint& at);
  // Rows of the given sites, where they are shown.
  std::vector<long> RowsOf(const std::vector<int>& sites) const;

  VirtualListCtrl* list_ = nullptr;
  wxImageList images_;
  // Each row's site index, and per site its URL and what its row shows.
  std::vector<int> rowSites_;
  std::vector<ShownRow> shown_;
  std::vector<std::string> urls_;
  ExplorationCounts counts_;
  wxString tip_;
};

}  // namespace qb

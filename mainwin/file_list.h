#pragma once
// The file list: the selected site's listing, one row per file or folder. The
// list shows only what is on screen; its rows live here, in a copy of the
// listing taken when the site was chosen.
#include <string>
#include <vector>

#include <wx/imaglist.h>

#include "core/site_table.h"
#include "mainwin/virtual_list.h"

namespace qb {

class TLwComparator;

// What a filled list holds, for the counts below it.
struct ListingCounts {
  int files = 0;
  int folders = 0;
  float totalSize = 0;
};

class FileListView {
 public:
  FileListView();
  // Columns and icons of the template's list.
  void Attach(VirtualListCtrl* list);
  VirtualListCtrl* List() const { return list_; }

  // A copy of the site's listing, sorted by name.
  ListingCounts Fill(const SiteEntry& site);
  void Empty();
  // The selected row stays selected.
  void Sort(const TLwComparator& comparator, int flag);
  // The entry the first selected row shows, or null.
  const ListingEntry* Selected() const;
  // Every selected row's entry, top to bottom.
  std::vector<const ListingEntry*> SelectedEntries() const;
  // The entry a row shows, or null.
  const ListingEntry* EntryOfRow(long row) const;
  // Column 0 takes the width the other columns leave, so that all show whole.
  void FitColumns(int firstColumnWidth);

 private:
  wxString Text(long row, long column) const;

  VirtualListCtrl* list_ = nullptr;
  wxImageList images_;
  std::vector<ListingEntry> entries_;
  // Row order: indexes into entries_.
  std::vector<int> rows_;
};

}  // namespace qb

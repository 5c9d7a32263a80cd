#pragma once
// The file list: the selected site's listing, one row per file or folder,
// each row pointing into the list's own copy of the listing.
#include <string>
#include <vector>

#include <wx/imaglist.h>
#include <wx/listctrl.h>

#include "core/site_table.h"

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
  void Attach(wxListCtrl* list);
  wxListCtrl* List() const { return list_; }

  // A copy of the site's listing, sorted by name.
  ListingCounts Fill(const SiteEntry& site);
  void Empty();
  void Sort(const TLwComparator& comparator, int flag);
  // The name shown in the first selected row, or empty.
  std::string SelectedName() const;
  // Whether a row is selected and the first selected one is a folder.
  bool SelectedIsFolder() const;
  bool HasSelection() const;

 private:
  wxListCtrl* list_ = nullptr;
  wxImageList images_;
  std::vector<ListingEntry> rows_;
};

}  // namespace qb

#pragma once
// A report list that holds no rows of its own: it asks its owner for the rows
// it shows, so a list of thousands of sites costs only the rows on screen.
// Templates create it as <object class="wxListCtrl" subclass="VirtualListCtrl">
// with the wxLC_VIRTUAL style.
#include <functional>
#include <vector>

#include <wx/listctrl.h>

namespace qb {

class VirtualListCtrl : public wxListCtrl {
 public:
  // What row shows in column, and its icon; set by the list's owner.
  std::function<wxString(long row, long column)> text;
  std::function<int(long row)> image;

  // Selected rows, top to bottom.
  std::vector<long> SelectedRows() const;
  // Selects exactly rows, with no selection events.
  void SelectOnly(const std::vector<long>& rows);
  // The window that draws the rows and takes the pointer over them: the
  // list's tallest child, below its header.
  wxWindow* RowsWindow() const;
  // True while SelectOnly runs: selection events then come from the owner.
  bool Reselecting() const { return reselecting_; }

 private:
  wxString OnGetItemText(long item, long column) const override;
  int OnGetItemImage(long item) const override;

  bool reselecting_ = false;

  wxDECLARE_DYNAMIC_CLASS(VirtualListCtrl);
};

}  // namespace qb

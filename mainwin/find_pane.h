#pragma once
// A window over the local index: file and folder names found by any part of
// their name across every explored site, with filters, in a virtual list.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <wx/choice.h>
#include <wx/frame.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include "index/index_db.h"
#include "mainwin/virtual_list.h"

namespace qb {

// The file box's tick for writing passwords out.
inline constexpr const char* KeepPasswordsLabel = "Keep passwords in the URLs";
// Asks where to export, as CSV or a web page, and whether passwords in the
// URLs are written out (they are not unless the box is ticked). False when the
// user cancels.
bool AskExportFile(wxWindow* parent, const wxString& title, const wxString& fileName,
                   std::string& path, bool& keepPasswords);

// Where a hit lies on its server: the path of its site's URL and its folder,
// "/pub/linux/" for a file of the folder "linux/" in "ftp://h/pub/".
std::string FolderPath(const FoundEntry& hit);
// The escaped URL of the hit itself, made from the server's bytes.
std::string HitUrl(const FoundEntry& hit);

// The menu commands (wxID_COPY copies the URL) act on the selected hit.
class FindPane : public wxFrame {
 public:
  // showSite selects a site of the current table by its URL; false when the
  // table does not hold it. The window opens centred over parent, above it
  // and wholly on parent's screen.
  FindPane(wxWindow* parent, std::unique_ptr<IndexDb> reader,
           std::function<bool(const std::string&)> showSite);

  // What a double-click or Enter on a hit does with its escaped URL; while
  // unset the URL goes to the desktop.
  void SetActivate(std::function<void(const std::string& link, bool isFolder, int64_t size)> act) {
    activate_ = std::move(act);
  }

  // The query the controls describe; none, with problem set to a sentence
  // naming the field, when one cannot be read.
  std::optional<FindQuery> Query(std::string& problem) const;
  // Runs the query now (typing runs it after a short pause). The selected hit
  // stays selected if it is still found, wherever it now is; else none is.
  void RunQuery();
  int64_t HitCount() const { return count_; }
  // The hit a row shows; unsorted rows are read from the index a page at a time.
  const FoundEntry* Row(long row);
  std::string RowUrl(long row);
  // Sorts by a column, as a click on its header does: a second click on the
  // same column reverses the order.
  void SortBy(int column);
  int SortColumn() const { return sortColumn_; }
  bool SortAscending() const { return sortAscending_; }
  // Writes every hit, in the order shown, to path: HTML when it ends in
  // ".html" or ".htm", else CSV.
  bool ExportHits(const std::string& path, bool keepPasswords, std::string& error);

  wxTextCtrl* TextBox() const { return text_; }
  wxTextCtrl* ExtensionBox() const { return extension_; }
  wxTextCtrl* MinSizeBox() const { return minSize_; }
  wxChoice* KindChoice() const { return kind_; }
  VirtualListCtrl* List() const { return list_; }
  wxStaticText* CountLabel() const { return countLabel_; }

 private:
  void OnEdit(wxCommandEvent& event);
  void OnActivate(wxListEvent& event);
  void OnContextMenu(wxListEvent& event);
  void OnCopyUrl(wxCommandEvent& event);
  void OnShowSite(wxCommandEvent& event);
  void OnExport(wxCommandEvent& event);
  void OnColumnClick(wxListEvent& event);
  std::optional<FoundEntry> SelectedHit();
  // Runs the query, then selects the row now showing selected, if any.
  void Rerun(const std::optional<FoundEntry>& selected);
  // Loads and orders every hit of the shown query when a column sorts.
  void LoadSorted(std::string& error);
  // The row now showing the hit that was selected, or -1.
  long RowShowing(const FoundEntry& hit);
  void PlaceOver(wxWindow* parent);

  std::unique_ptr<IndexDb> reader_;
  std::function<bool(const std::string&)> showSite_;
  std::function<void(const std::string&, bool, int64_t)> activate_;
  wxTextCtrl* text_;
  wxTextCtrl* extension_;
  wxTextCtrl* minSize_;
  wxChoice* kind_;
  VirtualListCtrl* list_;
  wxStaticText* countLabel_;
  wxTimer typing_;
  FindQuery shownQuery_;
  bool queryRead_ = true;  // false while a field cannot be read: nothing is shown
  int64_t count_ = 0;
  int64_t pageStart_ = -1;
  std::vector<FoundEntry> page_;
  int sortColumn_ = -1;  // none: the index's order
  bool sortAscending_ = true;
  std::vector<FoundEntry> sorted_;  // every hit shown, while a column sorts
  bool sortCut_ = false;            // more hits than a sort holds
};

}  // namespace qb

#pragma once
// A window over the local index: file and folder names found by any part of
// their name across every explored site, with filters, in a virtual list.
#include <cstdint>
#include <functional>
#include <memory>
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

class FindPane : public wxFrame {
 public:
  // showSite selects a site of the current table by its URL; false when the
  // table does not hold it.
  FindPane(wxWindow* parent, std::unique_ptr<IndexDb> reader,
           std::function<bool(const std::string&)> showSite);

  // The query the controls describe.
  FindQuery Query() const;
  // Runs the query now (typing runs it after a short pause).
  void RunQuery();
  int64_t HitCount() const { return count_; }
  // The hit a row shows; rows are read from the index a page at a time.
  const FoundEntry* Row(long row);
  std::string RowUrl(long row);
  // Writes every hit to path, as HTML when it ends in ".html" or ".htm", else CSV.
  bool ExportHits(const std::string& path, std::string& error);

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
  void OnExport(wxCommandEvent& event);

  std::unique_ptr<IndexDb> reader_;
  std::function<bool(const std::string&)> showSite_;
  wxTextCtrl* text_;
  wxTextCtrl* extension_;
  wxTextCtrl* minSize_;
  wxChoice* kind_;
  VirtualListCtrl* list_;
  wxStaticText* countLabel_;
  wxTimer typing_;
  FindQuery shownQuery_;
  int64_t count_ = 0;
  int64_t pageStart_ = -1;
  std::vector<FoundEntry> page_;
};

}  // namespace qb

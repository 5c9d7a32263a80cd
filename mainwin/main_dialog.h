#pragma once
// The main window's content: site and file lists, progress, counters, the
// selected site's details, and every command of the program.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <wx/imaglist.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/timer.h>

#include "core/site_table.h"
#include "mainwin/layout.h"
#include "mainwin/site_list_pass.h"

namespace qb {

class AviPlayer;
struct DialogLink;

class TD : public wxPanel {
 public:
  TD();
  ~TD() override;

  // Builds the panel from template 1 under the frame and sets it up. With
  // startActivities off (tests), the first search and the version check are
  // not started.
  bool Create(wxWindow* frame, bool startActivities = true);

  // Timer work, also called by the commands.
  void RefreshSiteList();
  void RefreshDetails();
  void FillFileList();
  void ClearRunDisplay();
  // Frame at its share of the screen, at (0, 0).
  void SizeFrameToScreen();

  // Commands.
  void CmNewSearch(wxCommandEvent& event);
  void CmAbout(wxCommandEvent& event);
  void CmExit(wxCommandEvent& event);
  void CmSettings(wxCommandEvent& event);
  void CmHelp(wxCommandEvent& event);
  void CmPause(wxCommandEvent& event);
  void CmShowAll(wxCommandEvent& event);
  void CmHideSites(wxCommandEvent& event);
  void CmReexplore(wxCommandEvent& event);
  void CmCopySiteUrl(wxCommandEvent& event);
  void CmCopyFileUrl(wxCommandEvent& event);
  void CmExploreFolder(wxCommandEvent& event);
  void CmOpenUrl(wxCommandEvent& event);
  void CmCopyUrl(wxCommandEvent& event);

  // The submenu a right click on window shows, or null.
  wxMenu* ContextMenuFor(wxWindow* window);

  int32_t SelectedSite() const { return selectedSite; }
  bool ShowAll() const { return showAll; }
  wxListCtrl* SiteList() const { return siteList; }
  wxListCtrl* FileList() const { return fileList; }

  // Tests answer the new-search question and stand in for the search dialog.
  static void SetQuestionHook(std::function<bool(const wxString& text)> hook);
  static void SetSearchRunner(std::function<bool(wxWindow* parent)> runner);

 private:
  void SetUpColumns();
  void SetUpColours();
  // Site indexes of the selected rows, top to bottom.
  std::vector<int> SelectedSites() const;
  void EmptySiteList();
  void EmptyFileList();
  void SortSites(const class TLwComparator& comparator, int flag);
  void SortFiles(const class TLwComparator& comparator, int flag);
  void SetText(int id, const wxString& text);
  void CaptureLayout();
  void ApplyLayout();

  void OnTimer(wxTimerEvent& event);
  void OnSize(wxSizeEvent& event);
  void OnPaint(wxPaintEvent& event);
  void OnSiteSelection(wxListEvent& event);
  void OnSiteColumn(wxListEvent& event);
  void OnFileColumn(wxListEvent& event);
  void OnSiteKey(wxListEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);
  void OnNothing(wxCommandEvent& event);
  void EnableWithSites(wxUpdateUIEvent& event);
  void EnableWithSelection(wxUpdateUIEvent& event);
  void CheckShowAll(wxUpdateUIEvent& event);

  wxListCtrl* siteList = nullptr;
  wxListCtrl* fileList = nullptr;
  wxImageList siteImages;
  wxImageList fileImages;
  // The first submenus of menu resources 2, 3 and 4.
  std::unique_ptr<wxMenu> siteMenu;
  std::unique_ptr<wxMenu> fileMenu;
  std::unique_ptr<wxMenu> folderMenu;
  AviPlayer* animation = nullptr;
  wxColour fieldBrush;
  wxColour panelBrush;
  int32_t selectedSite = -1;
  bool showAll = false;

  wxTimer timer_;
  // The site list as shown: each row's site index, and per site its icon and text.
  std::vector<int> rowSites_;
  std::vector<ShownRow> shown_;
  // A copy of the selected site's listing; file rows point into it.
  std::vector<ListingEntry> fileRows_;

  bool layoutCaptured_ = false;
  wxRect initialClientRect_;
  LayoutRect layoutRects_[LayoutGroupCount * LayoutGroupSlots];
  int layoutCounts_[LayoutGroupCount] = {};

  std::shared_ptr<DialogLink> link_;

  wxDECLARE_EVENT_TABLE();
};

// The one main dialog; set by start-up, never reset.
extern TD* MainDialog;

// Puts a text on the clipboard; failures are silent. UI thread only.
void CopyToClipboard(const std::string& text);

// Colours of the main dialog's painting and controls.
extern const wxColour ListColour;
extern const wxColour FieldColour;
extern const wxColour PanelColour;
extern const wxColour BandColour;

}  // namespace qb

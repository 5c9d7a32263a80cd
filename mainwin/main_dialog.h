#pragma once
// The main window's content: site and file lists, progress, counters, the
// selected site's details, and every command of the program. It wires those
// pieces to the timer, the menus and the threads.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/timer.h>

#include "core/site_table.h"
#include "mainwin/details_pane.h"
#include "mainwin/file_list.h"
#include "mainwin/layout.h"
#include "mainwin/site_list.h"
#include "ui/window_link.h"

namespace qb {

class AviPlayer;
class TLwComparator;

// The windows the main dialog opens but does not own; start-up hands them in.
struct MainDialogActions {
  // Runs the search; true when the user went on to the exploration.
  std::function<bool(wxWindow* parent)> runSearch = nullptr;
  std::function<void(wxWindow* parent)> showAbout = nullptr;
  std::function<void(wxWindow* parent)> showSettings = nullptr;
  std::function<void(wxWindow* mainDialog)> startVersionCheck = nullptr;
};

class TD : public wxPanel {
 public:
  TD();
  ~TD() override;

  // Set before Create; an action left empty does nothing (a search: none runs).
  void SetActions(MainDialogActions actions) { actions_ = std::move(actions); }

  // Builds the panel from its template under the frame and sets it up. With
  // startActivities, the first search (or the given sites' exploration) and
  // the version check start once the frame is on screen; tests leave it off.
  bool Create(wxWindow* frame, bool startActivities = true);

  // Timer work, also called by the commands.
  void RefreshSiteList();
  void RefreshDetails();
  void FillFileList();
  void ClearRunDisplay();
  // Frame at its share of the screen, at (0, 0).
  void SizeFrameToScreen();
  // Sites the user named (command line, a second start): added to the table and
  // explored; with startActivities they stand in for the first search.
  void ExploreGivenSites(const std::vector<std::string>& urls);
  void SetStartupSites(std::vector<std::string> urls) { startupSites_ = std::move(urls); }
  // Selects the site with this URL in the site list; false when it is not shown.
  bool ShowSiteOfUrl(const std::string& url);

  // Commands.
  void CmNewSearch(wxCommandEvent& event);
  // The frame's title names the search whose sites the table holds.
  void TitleFollowsTerm(const std::string& term);
  void ForgetSelectedSite();
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
  wxListCtrl* SiteList() const { return sites_.List(); }
  wxListCtrl* FileList() const { return files_.List(); }
  // The site a row of the site list shows, or -1.
  int SiteOfRow(long row) const { return sites_.SiteOfRow(row); }

 private:
  void StartActivitiesOnceShown(std::chrono::steady_clock::time_point until);
  // In the frame's status bar, when it has one.
  void ShowProgressText();
  void SortSites(const TLwComparator& comparator, int flag);
  // The Pause button says what it will do, whoever changed the state.
  void ShowPauseCaption();
  void EmptyFileList();
  // The URL of the first selected file row as the site table keeps it, or empty.
  std::string SelectedFileUrl() const;
  // The same escaped, as another program takes it (a folder's ends with '/').
  std::string SelectedFileLink() const;
  // The URL field's text as another program takes it.
  std::string FieldLink() const;

  // Placing and painting.
  void SetUpColours();
  void CaptureLayout();
  void ApplyLayout();
  void OnSize(wxSizeEvent& event);
  void OnPaint(wxPaintEvent& event);

  void OnTimer(wxTimerEvent& event);
  void OnSiteSelection(wxListEvent& event);
  void OnSiteColumn(wxListEvent& event);
  void OnFileColumn(wxListEvent& event);
  void OnSiteKey(wxListEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);
  void OnNothing(wxCommandEvent& event);
  void EnableWithSites(wxUpdateUIEvent& event);
  void EnableWithSelection(wxUpdateUIEvent& event);
  void CheckShowAll(wxUpdateUIEvent& event);

  MainDialogActions actions_;
  std::vector<std::string> startupSites_;
  // The search that opens at start-up keeps what the table holds by then (the
  // last results, read from the index); the search's own question decides.
  bool startupSearch_ = false;
  SiteListView sites_;
  FileListView files_;
  DetailsPane details_;
  // The first submenus of menu resources 2, 3 and 4.
  std::unique_ptr<wxMenu> siteMenu;
  std::unique_ptr<wxMenu> fileMenu;
  std::unique_ptr<wxMenu> folderMenu;
  AviPlayer* animation = nullptr;
  int32_t selectedSite = -1;
  bool showAll = false;
  wxTimer timer_;

  bool layoutCaptured_ = false;
  wxRect initialClientRect_;
  LayoutRect layoutRects_[LayoutGroupCount * LayoutGroupSlots];
  int layoutCounts_[LayoutGroupCount] = {};

  // What other threads hold to reach the dialog.
  std::shared_ptr<WindowLink<wxWindow>> link_;

  wxDECLARE_EVENT_TABLE();
};

// The one main dialog; set by start-up, never reset.
extern TD* MainDialog;

}  // namespace qb

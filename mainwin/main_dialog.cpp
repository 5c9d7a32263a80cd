#include "mainwin/main_dialog.h"

#include <wx/frame.h>
#include <wx/statusbr.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "core/controls.h"
#include "core/program_folders.h"
#include "core/settings.h"
#include "core/url_text.h"
#include "explore/exploration_scheduler.h"
#include "explore/exploration_view.h"
#include "mainwin/exploration_display.h"
#include "mainwin/list_logic.h"
#include "resources/resource_module.h"
#include "ui/avi_player.h"

namespace qb {

TD* MainDialog = nullptr;

namespace {
constexpr int TimerPeriodMs = 300;
// How long the first activities wait for the frame to reach the screen.
constexpr std::chrono::seconds FrameShowBound{3};

// The part of a context-menu resource that is shown: a copy of its first
// submenu, since the toolkit pops up only menus that have no parent.
std::unique_ptr<wxMenu> ShownPart(wxMenu* resource) {
  std::unique_ptr<wxMenu> owner(resource);
  if (!resource || resource->GetMenuItemCount() == 0) return nullptr;
  wxMenu* first = resource->FindItemByPosition(0)->GetSubMenu();
  if (!first) return nullptr;
  auto shown = std::make_unique<wxMenu>();
  for (wxMenuItem* item : first->GetMenuItems()) {
    if (item->IsSeparator())
      shown->AppendSeparator();
    else
      shown->Append(item->GetId(), item->GetItemLabel(), item->GetHelp(), item->GetKind());
  }
  return shown;
}
}  // namespace

// Menu items and buttons of one command share a handler.
#define QB_COMMAND(id, handler) EVT_MENU(id, handler) EVT_BUTTON(id, handler)

wxBEGIN_EVENT_TABLE(TD, wxPanel)
  QB_COMMAND(IdNewSearch, TD::CmNewSearch)
  QB_COMMAND(IdAbout, TD::CmAbout)
  QB_COMMAND(IdExit, TD::CmExit)
  QB_COMMAND(IdSettings, TD::CmSettings)
  QB_COMMAND(IdHelp, TD::CmHelp)
  QB_COMMAND(IdPause, TD::CmPause)
  QB_COMMAND(IdShowAll, TD::CmShowAll)
  QB_COMMAND(IdHideSites, TD::CmHideSites)
  QB_COMMAND(IdReexplore, TD::CmReexplore)
  QB_COMMAND(IdCopySiteUrl, TD::CmCopySiteUrl)
  QB_COMMAND(IdCopyFileUrl, TD::CmCopyFileUrl)
  QB_COMMAND(IdExploreFolder, TD::CmExploreFolder)
  QB_COMMAND(IdOpenUrl, TD::CmOpenUrl)
  QB_COMMAND(IdCopyUrl, TD::CmCopyUrl)
  QB_COMMAND(wxID_OK, TD::OnNothing)
  QB_COMMAND(wxID_CANCEL, TD::OnNothing)
  EVT_UPDATE_UI(IdShowAll, TD::CheckShowAll)
  EVT_UPDATE_UI(IdHideSites, TD::EnableWithSites)
  EVT_UPDATE_UI(IdReexplore, TD::EnableWithSites)
  EVT_UPDATE_UI(IdCopySiteUrl, TD::EnableWithSelection)
  EVT_UPDATE_UI(IdCopyFileUrl, TD::EnableWithSelection)
  EVT_UPDATE_UI(IdExploreFolder, TD::EnableWithSelection)
  EVT_LIST_ITEM_SELECTED(IdSiteList, TD::OnSiteSelection)
  EVT_LIST_ITEM_DESELECTED(IdSiteList, TD::OnSiteSelection)
  EVT_LIST_COL_CLICK(IdSiteList, TD::OnSiteColumn)
  EVT_LIST_COL_CLICK(IdFileList, TD::OnFileColumn)
  EVT_LIST_KEY_DOWN(IdSiteList, TD::OnSiteKey)
  EVT_CONTEXT_MENU(TD::OnContextMenu)
  EVT_TIMER(wxID_ANY, TD::OnTimer)
  EVT_SIZE(TD::OnSize)
  EVT_PAINT(TD::OnPaint)
wxEND_EVENT_TABLE()

TD::TD() {
  ResetSortState();
  timer_.SetOwner(this);
}

TD::~TD() {
  timer_.Stop();
  if (link_) {
    // Before the hooks let go of it, so that no other thread's last copy
    // unhooks this window while it is being destroyed.
    link_->Detach();
    SetExplorationView(nullptr);
    SetClearSitesHook(nullptr);
  }
  if (MainDialog == this) MainDialog = nullptr;
}

bool TD::Create(wxWindow* frame, bool startActivities) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  if (!ResourceModule::LoadPanel(this, frame, MainTemplate)) return false;
  auto* siteList = dynamic_cast<VirtualListCtrl*>(FindWindow(IdSiteList));
  auto* fileList = dynamic_cast<VirtualListCtrl*>(FindWindow(IdFileList));
  animation = dynamic_cast<AviPlayer*>(FindWindow(IdAnimation));
  if (!siteList || !fileList) return false;
  sites_.Attach(siteList);
  files_.Attach(fileList);
  details_.Attach(this);

  // The template's positions are the layout's first state.
  CaptureLayout();

  SetUpColours();
  if (auto* pause = FindWindow(IdPause)) pause->SetCursor(ResourceModule::Cursor(2));
  if (animation) animation->Open(SharedPath("ZEVO.avi"));
  timer_.Start(TimerPeriodMs);
  siteMenu = ShownPart(ResourceModule::Menu(2));
  fileMenu = ShownPart(ResourceModule::Menu(3));
  folderMenu = ShownPart(ResourceModule::Menu(4));
  SizeFrameToScreen();

  link_ = WindowLink<wxWindow>::To(this);
  SetExplorationView(MakeExplorationDisplay(link_));
  SetClearSitesHook([link = link_] {
    link->Post([](wxWindow& d) {
      if (auto* dialog = dynamic_cast<TD*>(&d)) dialog->sites_.Empty();
    });
  });

  if (startActivities) {
    const auto until = std::chrono::steady_clock::now() + FrameShowBound;
    CallAfter([this, until] { StartActivitiesOnceShown(until); });
  }
  return true;
}

void TD::StartActivitiesOnceShown(std::chrono::steady_clock::time_point until) {
  // A dialog shown before its owner is on screen can end up below it, where it
  // takes no clicks.
  wxWindow* frame = GetParent();
  if (frame && frame->IsShown() && !frame->IsShownOnScreen() &&
      std::chrono::steady_clock::now() < until) {
    CallAfter([this, until] { StartActivitiesOnceShown(until); });
    return;
  }
  if (!startupSites_.empty()) {
    ExploreGivenSites(startupSites_);
  } else {
    // Posted, so that the version check starts before the search's modal loop.
    startupSearch_ = true;
    wxCommandEvent search(wxEVT_MENU, IdNewSearch);
    wxPostEvent(this, search);
  }
  if (actions_.startVersionCheck) actions_.startVersionCheck(this);
}

void TD::SizeFrameToScreen() {
  wxWindow* frame = GetParent();
  if (!frame) return;
  const wxSize screen = wxGetDisplaySize();
  // Below the template's size the proportional layout makes controls overlap;
  // a screen smaller than that still gets a frame that fits on it.
  const wxSize least = initialClientRect_.GetSize();
  frame->SetMinClientSize(
      wxSize(std::min(least.x, screen.x - 40), std::min(least.y, screen.y - 80)));
  const FrameSize size = FrameSizeForScreen(screen.x, screen.y);
  frame->SetSize(size.width, size.height);
  frame->Move(0, 0);
}

// ---- lists and details ------------------------------------------------

void TD::RefreshSiteList() {
  const bool textChanged = sites_.Refresh(showAll);
  if (StatusAutoSort && textChanged) SortSites(CompErrorCode, 0);
  ShowProgressText();
}

void TD::ShowProgressText() {
  auto* frame = dynamic_cast<wxFrame*>(GetParent());
  if (!frame || !frame->GetStatusBar()) return;
  const wxString text = ProgressText(sites_.Counts(), ActiveSessions);
  if (frame->GetStatusBar()->GetStatusText() != text) frame->SetStatusText(text);
}

void TD::SortSites(const TLwComparator& comparator, int flag) { sites_.Sort(comparator, flag); }

void TD::RefreshDetails() {
  std::shared_ptr<SiteEntry> site = selectedSite == -1 ? nullptr : SiteAt(selectedSite);
  details_.ShowSite(site.get());
}

void TD::EmptyFileList() { files_.Empty(); }

void TD::FillFileList() {
  details_.ShowListing(nullptr, {});
  EmptyFileList();
  if (selectedSite == -1) return;
  std::shared_ptr<SiteEntry> site = SiteAt(selectedSite);
  if (!site) return;
  details_.ShowListing(site.get(), files_.Fill(*site));
}

void TD::ClearRunDisplay() {
  details_.ClearRun();
  selectedSite = -1;
  RefreshSiteList();
}

std::string TD::SelectedFileUrl() const {
  const ListingEntry* entry = files_.Selected();
  if (selectedSite == -1 || !entry) return {};
  auto site = SiteAt(selectedSite);
  if (!site) return {};
  return JoinFileUrl(site->url, entry->name);
}

std::string TD::SelectedFileLink() const {
  const ListingEntry* entry = files_.Selected();
  if (selectedSite == -1 || !entry) return {};
  auto site = SiteAt(selectedSite);
  if (!site) return {};
  return EntryUrl(site->url, std::string(entry->name, strnlen(entry->name, sizeof entry->name)),
                  entry->isFolder != 0);
}

// ---- events -------------------------------------------------------------

void TD::OnSiteSelection(wxListEvent&) {
  // The list moving the selection along with sorted rows changes nothing.
  if (sites_.List()->Reselecting()) return;
  const std::vector<int> chosen = sites_.SelectedSites();
  const int last = chosen.empty() ? -1 : chosen.back();
  if (chosen.size() >= 2) {
    selectedSite = -1;
  } else {
    if (last == selectedSite) return;
    selectedSite = last;
  }
  RefreshDetails();
  FillFileList();
}

void TD::OnSiteColumn(wxListEvent& event) {
  if (event.GetColumn() == 0) {
    SortSites(CompUrl, SortFlags[SortSiteUrl]);
    SortFlags[SortSiteUrl] ^= 1;
    StatusAutoSort = false;
  } else if (event.GetColumn() == 1) {
    SortSites(CompErrorCode, SortFlags[SortSiteStatus]);
    SortFlags[SortSiteStatus] ^= 1;
    StatusAutoSort = SortFlags[SortSiteStatus] != 0;
  }
}

void TD::OnFileColumn(wxListEvent& event) {
  static const struct {
    const TLwComparator* comparator;
    SortColumn flag;
  } columns[] = {
      {&CompNameFile, SortFileName}, {&CompExtFile, SortFileExt}, {&CompFileSize, SortFileSize}};
  const int column = event.GetColumn();
  if (column < 0 || column > 2) return;
  files_.Sort(*columns[column].comparator, SortFlags[columns[column].flag]);
  SortFlags[columns[column].flag] ^= 1;
}

void TD::OnSiteKey(wxListEvent& event) {
  if (event.GetKeyCode() == WXK_DELETE) {
    wxCommandEvent none;
    CmHideSites(none);
    return;
  }
  // Moving, paging and the menus' shortcuts belong to the list and the frame.
  event.Skip();
}

wxMenu* TD::ContextMenuFor(wxWindow* window) {
  if (window == SiteList()) return siteMenu.get();
  if (window == FileList()) {
    const ListingEntry* entry = files_.Selected();
    if (!entry) return nullptr;
    return entry->isFolder ? folderMenu.get() : fileMenu.get();
  }
  return nullptr;
}

void TD::OnContextMenu(wxContextMenuEvent& event) {
  auto* window = dynamic_cast<wxWindow*>(event.GetEventObject());
  wxMenu* menu = ContextMenuFor(window);
  if (!menu) return;
  wxPoint at = event.GetPosition();
  at = at == wxDefaultPosition ? wxDefaultPosition : ScreenToClient(at);
  PopupMenu(menu, at);
}

void TD::OnTimer(wxTimerEvent&) {
  ShowPauseCaption();
  RefreshSiteList();
  RefreshDetails();
}

void TD::OnNothing(wxCommandEvent&) {}

void TD::EnableWithSites(wxUpdateUIEvent& event) { event.Enable(SiteTable.count > 0); }

void TD::EnableWithSelection(wxUpdateUIEvent& event) { event.Enable(selectedSite != -1); }

void TD::CheckShowAll(wxUpdateUIEvent& event) {
  event.Enable(true);
  event.Check(showAll);
}

}  // namespace qb

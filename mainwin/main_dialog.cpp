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
#include "mainwin/transfer_text.h"
#include "net/name_charset.h"
#include "resources/resource_module.h"
#include "ui/avi_player.h"
#include "ui/display_text.h"

namespace qb {

TD* MainDialog = nullptr;

namespace {
constexpr int TimerPeriodMs = 300;
constexpr int CrawlTimerPeriodMs = 500;
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

// After the template's items: the charsets are the FTP library's.
void AppendSiteSecurityItems(wxMenu* menu) {
  if (!menu) return;
  menu->AppendSeparator();
  menu->Append(IdTrustCertificate, "&Trust certificate",
               "Take the certificate this server showed as verified in its next sessions");
  auto* charsets = new wxMenu;
  charsets->AppendRadioItem(IdCharsetFirst, "&Detect");
  int id = IdCharsetFirst + 1;
  for (const Charset& charset : SiteCharsets()) {
    if (id > IdCharsetLast) break;
    charsets->AppendRadioItem(id++, charset.label);
  }
  menu->AppendSubMenu(charsets, "&Names' charset");
}

// Files: fetched here or handed on. Folders: fetched as a tree.
void AppendDownloadItems(wxMenu* menu, bool files) {
  if (!menu) return;
  menu->Insert(0, IdDownload, "&Download", "Fetch into the download folder");
  menu->Insert(1, IdDownloadTo, ToDisplayText("Download &to…"), "Fetch into a folder chosen now");
  menu->InsertSeparator(2);
  if (!files) return;
  menu->AppendSeparator();
  menu->Append(IdCopyCurl, "Copy as c&url command", "A shell command that fetches the file");
  menu->Append(IdExportUrls, ToDisplayText("E&xport URL list…"),
               "The selected files' URLs, one a line, for wget -i or aria2c -i");
  menu->Append(IdOpenInFileManager, "Open in &file manager",
               "Hand the URL to the program the desktop opens ftp:// with");
}

void AppendCrawlItems(wxMenu* menu) {
  if (!menu) return;
  menu->AppendSeparator();
  menu->Append(IdCrawlSite, "C&rawl site",
               "List every folder of the selected sites into the local index");
  menu->Append(IdCrawlAllOk, "Crawl all &Ok sites", "Crawl every site whose exploration went well");
  menu->Append(IdShowCrawls, ToDisplayText("Cra&wls…"), "Show the crawls of this run");
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
  EVT_MENU(IdOpenUrl, TD::CmOpenUrl)
  EVT_BUTTON(IdOpenUrl, TD::OnOpenButton)
  EVT_MENU(IdCopyUrl, TD::CmCopyUrl)
  EVT_BUTTON(IdCopyUrl, TD::OnCopyButton)
  EVT_MENU(IdDownload, TD::CmDownload)
  EVT_MENU(IdDownloadTo, TD::CmDownloadTo)
  EVT_MENU(IdCopyCurl, TD::CmCopyCurl)
  EVT_MENU(IdExportUrls, TD::CmExportUrls)
  EVT_MENU(IdOpenInFileManager, TD::CmOpenInFileManager)
  EVT_MENU(IdShowTransfers, TD::CmShowTransfers)
  EVT_UPDATE_UI(IdDownload, TD::EnableWithFiles)
  EVT_UPDATE_UI(IdDownloadTo, TD::EnableWithFiles)
  EVT_UPDATE_UI(IdOpenInFileManager, TD::EnableFileManager)
  EVT_LIST_ITEM_ACTIVATED(IdFileList, TD::OnFileActivated)
  EVT_LIST_KEY_DOWN(IdFileList, TD::OnFileKey)
  EVT_MENU(IdTrustCertificate, TD::CmTrustCertificate)
  EVT_MENU_RANGE(IdCharsetFirst, IdCharsetLast, TD::CmCharset)
  EVT_MENU(IdCrawlSite, TD::CmCrawlSite)
  EVT_MENU(IdCrawlAllOk, TD::CmCrawlAllOk)
  EVT_MENU(IdShowCrawls, TD::CmShowCrawls)
  QB_COMMAND(wxID_OK, TD::OnNothing)
  QB_COMMAND(wxID_CANCEL, TD::OnNothing)
  EVT_UPDATE_UI(IdShowAll, TD::CheckShowAll)
  EVT_UPDATE_UI(IdHideSites, TD::EnableWithSites)
  EVT_UPDATE_UI(IdReexplore, TD::EnableWithSites)
  EVT_UPDATE_UI(IdCopySiteUrl, TD::EnableWithSelection)
  EVT_UPDATE_UI(IdCopyFileUrl, TD::EnableWithSelection)
  EVT_UPDATE_UI(IdExploreFolder, TD::EnableWithSelection)
  EVT_UPDATE_UI(IdTrustCertificate, TD::EnableTrust)
  EVT_UPDATE_UI_RANGE(IdCharsetFirst, IdCharsetLast, TD::CheckCharset)
  EVT_UPDATE_UI(IdCrawlSite, TD::EnableCrawlSite)
  EVT_UPDATE_UI(IdCrawlAllOk, TD::EnableCrawlAllOk)
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
  crawlTimer_.SetOwner(this);
}

TD::~TD() {
  timer_.Stop();
  crawlTimer_.Stop();
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
  crawlTimer_.Start(CrawlTimerPeriodMs);
  siteMenu = ShownPart(ResourceModule::Menu(2));
  AppendSiteSecurityItems(siteMenu.get());
  AppendCrawlItems(siteMenu.get());
  // The Sites menu of the frame mirrors the site list's context menu.
  if (auto* owner = dynamic_cast<wxFrame*>(frame); owner && owner->GetMenuBar()) {
    wxMenu* sitesMenu = nullptr;
    if (owner->GetMenuBar()->FindItem(IdShowAll, &sitesMenu)) {
      AppendSiteSecurityItems(sitesMenu);
      AppendCrawlItems(sitesMenu);
    }
  }
  fileMenu = ShownPart(ResourceModule::Menu(3));
  folderMenu = ShownPart(ResourceModule::Menu(4));
  AppendDownloadItems(fileMenu.get(), true);
  AppendDownloadItems(folderMenu.get(), false);
  if (auto* owner = dynamic_cast<wxFrame*>(frame); owner && owner->GetMenuBar()) {
    wxMenu* searchMenu = nullptr;
    if (owner->GetMenuBar()->FindItem(IdPause, &searchMenu) && searchMenu)
      searchMenu->Insert(2, IdShowTransfers, ToDisplayText("&Downloads…\tCtrl+J"),
                         "Show the downloads of this run");
  }
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
    TakeHandedUrls(startupSites_);
  } else if (actions_.firstStart && actions_.firstStart(this)) {
    // What it offered runs instead of the first search.
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
  std::string progress = ProgressText(sites_.Counts(), ActiveSessions);
  if (const int crawls = RunningCrawls(); crawls > 0)
    progress += (progress.empty() ? "" : ", ") + std::to_string(crawls) +
                (crawls == 1 ? " crawl" : " crawls");
  if (const std::shared_ptr<TransferQueue> queue = transfers_.lock()) {
    if (const std::string downloads = TransfersStatusText(queue->Totals()); !downloads.empty())
      progress += (progress.empty() ? "" : " · ") + downloads;
  }
  const wxString text = ToDisplayText(progress);
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
  } else if (event.GetColumn() == 2) {
    SortSites(CompTls, SortFlags[SortSiteTls]);
    SortFlags[SortSiteTls] ^= 1;
    StatusAutoSort = false;
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
    const std::vector<const ListingEntry*> entries = files_.SelectedEntries();
    if (entries.empty()) return nullptr;
    // A file among them gets the file commands, which act on the files.
    const bool folders = std::all_of(entries.begin(), entries.end(),
                                     [](const ListingEntry* e) { return e->isFolder != 0; });
    return folders ? folderMenu.get() : fileMenu.get();
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

void TD::OnTimer(wxTimerEvent& event) {
  if (&event.GetTimer() == &crawlTimer_) {
    FollowCrawls();
    FollowTransfers();
    return;
  }
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

#pragma once
// The main window's content: site and file lists, progress, counters, the
// selected site's details, and every command of the program. It wires those
// pieces to the timer, the menus and the threads.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include "core/site_table.h"
#include "crawl/crawl_runs.h"
#include "mainwin/crawl_window.h"
#include "mainwin/details_pane.h"
#include "mainwin/file_list.h"
#include "mainwin/layout.h"
#include "mainwin/site_crawls.h"
#include "mainwin/site_list.h"
#include "mainwin/transfers_window.h"
#include "ui/window_link.h"

namespace qb {

class AviPlayer;
class TLwComparator;

// Site commands the menus get in code, beside those of the templates.
inline constexpr int IdTrustCertificate = 640;
// "Detect", then one per charset of SiteCharsets(), in its order.
inline constexpr int IdCharsetFirst = 650;
inline constexpr int IdCharsetLast = 679;
inline constexpr int IdCrawlSite = 690;
inline constexpr int IdCrawlAllOk = 691;
inline constexpr int IdShowCrawls = 692;
// File list commands that fetch or hand on the selected entries.
inline constexpr int IdDownload = 700;
inline constexpr int IdDownloadTo = 701;
inline constexpr int IdCopyCurl = 702;
inline constexpr int IdExportUrls = 703;
inline constexpr int IdOpenInFileManager = 704;
inline constexpr int IdShowTransfers = 705;

// The windows the main dialog opens but does not own; start-up hands them in.
struct MainDialogActions {
  // Runs the search; true when the user went on to the exploration.
  std::function<bool(wxWindow* parent)> runSearch = nullptr;
  std::function<void(wxWindow* parent)> showAbout = nullptr;
  std::function<void(wxWindow* parent)> showSettings = nullptr;
  std::function<void(wxWindow* mainDialog)> startVersionCheck = nullptr;
  // At start-up instead of the first search; true when it took the start's
  // place (the user went on with what it offered).
  std::function<bool(wxWindow* mainDialog)> firstStart = nullptr;
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

  // The crawls of this run, kept in the local index; none when no index is
  // kept. readListing brings a crawled site's own folder back into its row.
  void SetCrawls(std::weak_ptr<CrawlRuns> runs, ListingReader readListing = nullptr);
  // Where a folder shown from the file list or Find takes its stored entries
  // from; without one it is always explored.
  void SetFolderReader(FolderReader readFolder) { readFolder_ = std::move(readFolder); }
  // Crawls the sites at urls instead of exploring them, adding those the table
  // lacks, and opens the crawl window.
  void StartCrawls(const std::vector<std::string>& urls);
  // Asks once the frame is on screen whether to go on with the crawls an
  // earlier run left unfinished; they are started on Yes.
  void OfferToResumeCrawls(std::vector<std::string> urls);
  // The crawl window when it is open.
  CrawlWindow* OpenCrawlWindow() const { return crawlWindow_.get(); }

  // The downloads of this run; without them the file list fetches nothing.
  void SetTransfers(std::weak_ptr<TransferQueue> queue);
  // Queues files at their URLs (kept form) into the download folder.
  void DownloadUrls(const std::vector<std::string>& urls);
  // A hit of Find activated: a file is downloaded (or opened, as the settings
  // say), a folder explored and shown. link is escaped.
  void ActivateFound(const std::string& link, bool isFolder, int64_t size);
  // URLs handed to the program: files are downloaded, folders explored.
  void TakeHandedUrls(const std::vector<std::string>& urls);
  TransfersWindow* OpenTransfersWindow() const { return transfersWindow_.get(); }
  void ShowTransfersWindow();
  // The desktop's ftp:// handler other than this program, as found at start; empty for none.
  void SetFtpHandler(std::string desktopEntry) { ftpHandler_ = std::move(desktopEntry); }

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
  // Accepts the selected site's certificate for its host and port, once the
  // user has seen its fingerprint.
  void CmTrustCertificate(wxCommandEvent& event);
  // Sets the selected site's charset and reads its listed names again in it.
  void CmCharset(wxCommandEvent& event);
  // The selected sites, and every site whose exploration went well.
  void CmCrawlSite(wxCommandEvent& event);
  void CmCrawlAllOk(wxCommandEvent& event);
  void CmShowCrawls(wxCommandEvent& event);
  // On the selected entries of the file list.
  void CmDownload(wxCommandEvent& event);
  void CmDownloadTo(wxCommandEvent& event);
  void CmCopyCurl(wxCommandEvent& event);
  void CmExportUrls(wxCommandEvent& event);
  void CmOpenInFileManager(wxCommandEvent& event);
  void CmShowTransfers(wxCommandEvent& event);

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
  void AskToResumeCrawls(std::vector<std::string> urls,
                         std::chrono::steady_clock::time_point until);
  // The running crawls, or null with the user told why there are none.
  std::shared_ptr<CrawlRuns> CrawlsOrSayWhy();
  int RunningCrawls() const;
  void ShowCrawlWindow();
  // Rows follow their crawls; a crawled site's listing is read back.
  void FollowCrawls();
  // In the frame's status bar, when it has one.
  void ShowProgressText();
  void SortSites(const TLwComparator& comparator, int flag);
  // The Pause button says what it will do, whoever changed the state.
  void ShowPauseCaption();
  void EmptyFileList();
  // The URL field's text as another program takes it.
  std::string FieldLink() const;

  // A selected entry of the file list, as the commands on it need it.
  struct EntryTarget {
    std::string url;   // kept form, made from the server's bytes
    std::string link;  // escaped, as another program takes it
    std::string serverName;
    bool isFolder = false;
    int64_t size = -1;
    bool tls = false;
  };
  std::vector<EntryTarget> SelectedTargets() const;
  // The running downloads, or null with the user told why there are none.
  std::shared_ptr<TransferQueue> TransfersOrSayWhy();
  void Download(const std::vector<EntryTarget>& targets, const std::string& folder,
                bool openWhenDone);
  // A folder of the file list shown as a site of its own, and selected: with
  // the entries the index holds for it, else explored.
  void ShowFolder(const std::string& url);
  void AddShownFolder(std::string url, std::optional<StoredFolder> stored);
  void OnFileActivated(wxListEvent& event);
  void OnFileKey(wxListEvent& event);
  // The Open and Copy buttons act on the selected entries, else on the URL field.
  void OnOpenButton(wxCommandEvent& event);
  void OnCopyButton(wxCommandEvent& event);
  void EnableWithFiles(wxUpdateUIEvent& event);
  void EnableFileManager(wxUpdateUIEvent& event);
  // Files asked to be opened are, once they have arrived.
  void FollowTransfers();

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
  void EnableTrust(wxUpdateUIEvent& event);
  void CheckCharset(wxUpdateUIEvent& event);
  void EnableCrawlSite(wxUpdateUIEvent& event);
  void EnableCrawlAllOk(wxUpdateUIEvent& event);

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
  std::weak_ptr<CrawlRuns> crawls_;
  ListingReader readListing_;
  FolderReader readFolder_;
  SiteCrawls crawlRows_;
  wxTimer crawlTimer_;
  wxWeakRef<CrawlWindow> crawlWindow_;
  std::weak_ptr<TransferQueue> transfers_;
  wxWeakRef<TransfersWindow> transfersWindow_;
  std::vector<int64_t> openWhenDone_;
  std::string ftpHandler_;

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

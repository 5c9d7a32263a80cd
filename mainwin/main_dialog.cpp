#include "mainwin/main_dialog.h"

#include <unistd.h>

#include <wx/clipbrd.h>
#include <wx/dcclient.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cstdio>
#include <mutex>

#include "app/about_dialog.h"
#include "app/settings_sheet.h"
#include "app/version_check_ui.h"
#include "core/launcher.h"
#include "core/settings.h"
#include "core/ui_door.h"
#include "explore/exploration_scheduler.h"
#include "explore/exploration_view.h"
#include "mainwin/avi_player.h"
#include "mainwin/display_text.h"
#include "mainwin/list_logic.h"
#include "resources/resource_module.h"
#include "search/search_dialog.h"
#include "search/search_run.h"

namespace qb {

TD* MainDialog = nullptr;

const wxColour ListColour(255, 245, 235);
const wxColour FieldColour(225, 235, 230);
const wxColour PanelColour(250, 200, 120);
const wxColour BandColour(192, 192, 192);

namespace {
enum : int {
  IdPercent = 101,
  IdSiteList = 990,
  IdFileList = 1050,
  IdAnimation = 8000,
  IdProgress = 11000,
  IdSessions = 11102,
  IdWaiting = 11103,
  IdFinished = 11104,
  IdPause = 11200,
  IdShowAll = 11201,
  IdHideSites = 11202,
  IdReexplore = 11203,
  IdBandLabels = 11300,
  IdTotal = 11302,
  IdFolders = 11303,
  IdOpenUrl = 11304,
  IdCopyUrl = 11305,
  IdFiles = 11306,
  IdBandEnd = 11400,
  IdUrl = 11402,
  IdHost = 11502,
  IdTestedFile = 11601,
  IdStatusText = 11602,
  IdLoginReply = 11801,
  IdUser = 12002,
  IdPassword = 12003,
  IdNewSearch = 4000,
  IdAbout = 4001,
  IdExit = 4002,
  IdSettings = 4003,
  IdHelp = 7000,
  IdCopySiteUrl = 610,
  IdCopyFileUrl = 620,
  IdExploreFolder = 630,
};

constexpr int TimerPeriodMs = 300;
constexpr std::size_t QuestionChars = 179;
constexpr std::size_t HeaderChars = 199;
constexpr std::size_t UrlFieldChars = 499;
constexpr std::size_t RowTextChars = 399;

std::mutex hookLock;
std::function<bool(const wxString&)> questionHook;
std::function<bool(wxWindow*)> searchRunner;

wxString Cut(const wxString& text, std::size_t chars) { return text.Left(chars); }

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

struct SortCall {
  const TLwComparator* comparator;
  int flag;
};

int CompareRows(wxIntPtr a, wxIntPtr b, wxIntPtr data) {
  const auto* call = reinterpret_cast<const SortCall*>(data);
  return call->comparator->compare(a, b, call->flag);
}
}  // namespace

// What other threads hold to reach the dialog: cleared when it is destroyed,
// read and written on the UI thread only.
struct DialogLink {
  TD* dialog = nullptr;
};

namespace {
class MainExplorationView : public ExplorationView {
 public:
  explicit MainExplorationView(std::shared_ptr<DialogLink> link) : link_(std::move(link)) {}

  void SetNumber(int controlId, int value) override {
    Post([controlId, value](TD* d) {
      if (auto* w = d->FindWindow(controlId)) w->SetLabel(wxString::Format("%d", value));
    });
  }
  void SetProgress(int percent) override {
    Post([percent](TD* d) {
      if (auto* gauge = dynamic_cast<wxGauge*>(d->FindWindow(IdProgress))) gauge->SetValue(percent);
    });
  }
  void PlayAnimation() override {
    Post([](TD* d) {
      if (auto* a = dynamic_cast<AviPlayer*>(d->FindWindow(IdAnimation))) a->Play();
    });
  }
  void StopAnimation() override {
    Post([](TD* d) {
      if (auto* a = dynamic_cast<AviPlayer*>(d->FindWindow(IdAnimation))) a->Stop();
    });
  }

 private:
  template <typename F>
  void Post(F action) {
    PostToUi([link = link_, action] {
      if (link->dialog) action(link->dialog);
    });
  }
  std::shared_ptr<DialogLink> link_;
};
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

TD::TD()
    : siteImages(16, 16, true, 1),
      fileImages(16, 16, true, 1),
      shown_(SiteCapacity),
      link_(std::make_shared<DialogLink>()) {
  ResetSortState();
  timer_.SetOwner(this);
}

TD::~TD() {
  timer_.Stop();
  if (link_->dialog == this) {
    SetExplorationView(nullptr);
    SetClearSitesHook(nullptr);
  }
  link_->dialog = nullptr;
  if (MainDialog == this) MainDialog = nullptr;
}

bool TD::Create(wxWindow* frame, bool startActivities) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  if (!ResourceModule::LoadPanel(this, frame, 1)) return false;
  siteList = dynamic_cast<wxListCtrl*>(FindWindow(IdSiteList));
  fileList = dynamic_cast<wxListCtrl*>(FindWindow(IdFileList));
  animation = dynamic_cast<AviPlayer*>(FindWindow(IdAnimation));
  if (!siteList || !fileList) return false;
  for (int icon = 10; icon <= 14; ++icon) siteImages.Add(ResourceModule::Icon(icon));
  fileImages.Add(ResourceModule::Icon(20));
  fileImages.Add(ResourceModule::Icon(10));

  // The template's positions are the layout's first state.
  CaptureLayout();

  SetUpColours();
  if (auto* pause = FindWindow(IdPause)) pause->SetCursor(ResourceModule::Cursor(2));
  SetUpColumns();
  fieldBrush = FieldColour;
  panelBrush = PanelColour;
  if (animation) animation->Open(ExeDir + "ZEVO.avi");
  timer_.Start(TimerPeriodMs);
  siteMenu = ShownPart(ResourceModule::Menu(2));
  fileMenu = ShownPart(ResourceModule::Menu(3));
  folderMenu = ShownPart(ResourceModule::Menu(4));
  SizeFrameToScreen();

  link_->dialog = this;
  SetExplorationView(std::make_shared<MainExplorationView>(link_));
  SetClearSitesHook([link = link_] {
    PostToUi([link] {
      if (link->dialog) link->dialog->EmptySiteList();
    });
  });

  if (startActivities) {
    wxCommandEvent search(wxEVT_MENU, IdNewSearch);
    wxPostEvent(this, search);
    StartVersionCheck(this);
  }
  return true;
}

void TD::SetUpColours() {
  siteList->SetBackgroundColour(ListColour);
  fileList->SetBackgroundColour(ListColour);
  // Labels draw on the dialog's own painting; editable fields get their colour.
  for (wxWindow* child : GetChildren()) {
    const int id = child->GetId();
    if (id == IdSiteList || id == IdFileList || id == IdLoginReply) continue;
    auto* edit = dynamic_cast<wxTextCtrl*>(child);
    if (edit && edit->IsEditable()) edit->SetBackgroundColour(FieldColour);
  }
  if (animation) animation->SetBackgroundColour(PanelColour);
}

void TD::SetUpColumns() {
  siteList->InsertColumn(0, "Ftp", wxLIST_FORMAT_LEFT, 210);
  siteList->InsertColumn(1, "Status", wxLIST_FORMAT_RIGHT, 85);
  siteList->SetImageList(&siteImages, wxIMAGE_LIST_SMALL);
  fileList->InsertColumn(0, Cut(ResourceModule::String(102), HeaderChars), wxLIST_FORMAT_LEFT, 145);
  fileList->InsertColumn(1, Cut(ResourceModule::String(109), HeaderChars), wxLIST_FORMAT_RIGHT, 40);
  fileList->InsertColumn(2, Cut(ResourceModule::String(104), HeaderChars), wxLIST_FORMAT_RIGHT, 65);
  fileList->InsertColumn(3, Cut(ResourceModule::String(103), HeaderChars), wxLIST_FORMAT_RIGHT,
                         100);
  fileList->SetImageList(&fileImages, wxIMAGE_LIST_SMALL);
}

void TD::SizeFrameToScreen() {
  wxWindow* frame = GetParent();
  if (!frame) return;
  const wxSize screen = wxGetDisplaySize();
  const FrameSize size = FrameSizeForScreen(screen.x, screen.y);
  frame->SetSize(size.width, size.height);
  frame->Move(0, 0);
}

namespace {
wxString ControlText(wxWindow* w) {
  if (auto* edit = dynamic_cast<wxTextCtrl*>(w)) return edit->GetValue();
  return w->GetLabel();
}

void SetControlText(wxWindow* w, const wxString& text) {
  if (auto* edit = dynamic_cast<wxTextCtrl*>(w))
    edit->ChangeValue(text);
  else
    w->SetLabel(text);
}
}  // namespace

void TD::SetText(int id, const wxString& text) {
  if (wxWindow* w = FindWindow(id)) SetControlText(w, text);
}

// ---- site list ----------------------------------------------------------

void TD::EmptySiteList() {
  siteList->DeleteAllItems();
  rowSites_.clear();
}

void TD::EmptyFileList() {
  fileList->DeleteAllItems();
  fileRows_.clear();
}

void TD::RefreshSiteList() {
  // Copies under the table's locks; the list is touched after they are released.
  const std::vector<SiteSnapshot> sites = TakeSiteSnapshot();
  const SiteListPlan plan = PlanSiteListPass(rowSites_, shown_, sites, showAll);
  if (plan.ops.empty()) return;
  const bool many = plan.ops.size() > 50;
  if (many) siteList->Freeze();
  for (const SiteListOp& op : plan.ops) {
    switch (op.kind) {
      case SiteListOp::Delete:
        siteList->DeleteItem(op.row);
        rowSites_.erase(rowSites_.begin() + op.row);
        break;
      case SiteListOp::SetImage:
        siteList->SetItemImage(op.row, op.image);
        shown_[op.site].image = op.image;
        break;
      case SiteListOp::SetText:
        siteList->SetItem(op.row, 1, ToDisplayText(op.text));
        shown_[op.site].text = op.text;
        break;
      case SiteListOp::Append: {
        const SiteSnapshot& site = sites[op.site];
        const long row = siteList->InsertItem(op.row, ToDisplayText(site.entry->url), op.image);
        siteList->SetItemData(row, op.site);
        rowSites_.push_back(op.site);
        shown_[op.site].image = op.image;
        shown_[op.site].text.clear();
        break;
      }
    }
  }
  if (many) siteList->Thaw();
  if (StatusAutoSort && plan.textChanged) SortSites(CompErrorCode, 0);
}

void TD::SortSites(const TLwComparator& comparator, int flag) {
  SiteSortKeys keys = TakeSiteSortKeys();
  CompUrl.keys = &keys;
  CompErrorCode.keys = &keys;
  SortCall call{&comparator, flag};
  siteList->SortItems(CompareRows, reinterpret_cast<wxIntPtr>(&call));
  CompUrl.keys = nullptr;
  CompErrorCode.keys = nullptr;
  const int n = siteList->GetItemCount();
  rowSites_.resize(n);
  for (int row = 0; row < n; ++row) rowSites_[row] = static_cast<int>(siteList->GetItemData(row));
}

void TD::SortFiles(const TLwComparator& comparator, int flag) {
  SortCall call{&comparator, flag};
  fileList->SortItems(CompareRows, reinterpret_cast<wxIntPtr>(&call));
}

void TD::RefreshDetails() {
  static const int ids[] = {IdUrl, IdStatusText, IdLoginReply, IdTestedFile};
  std::shared_ptr<SiteEntry> site = selectedSite == -1 ? nullptr : SiteAt(selectedSite);
  if (!site) {
    for (int id : ids) SetText(id, wxString());
    return;
  }
  const std::string values[] = {site->url, site->statusText.Get(), site->loginReply.Get(),
                                site->testedFile.Get()};
  for (int i = 0; i < 4; ++i) {
    wxWindow* w = FindWindow(ids[i]);
    if (!w) continue;
    const wxString value = ToDisplayText(values[i]);
    if (ControlText(w) != value) SetControlText(w, value);
  }
}

void TD::FillFileList() {
  for (int id : {IdUser, IdPassword, IdHost, IdFiles, IdFolders, IdTotal}) SetText(id, wxString());
  EmptyFileList();
  if (selectedSite == -1) return;
  std::shared_ptr<SiteEntry> site = SiteAt(selectedSite);
  if (!site) return;
  {
    std::lock_guard<std::mutex> hold(ListingLock);
    fileRows_ = site->listing;
  }
  int files = 0, folders = 0;
  float total = 0;
  fileList->Freeze();
  char size[16];
  for (std::size_t i = 0; i < fileRows_.size(); ++i) {
    const ListingEntry& e = fileRows_[i];
    const long row =
        fileList->InsertItem(fileList->GetItemCount(), ToDisplayText(e.name), e.isFolder ? 1 : 0);
    fileList->SetItemPtrData(row, reinterpret_cast<wxUIntPtr>(&e));
    fileList->SetItem(
        row, 2, e.isFolder ? wxString() : wxString(FormatFileSize(e.size, size, sizeof size)));
    fileList->SetItem(row, 3, ToDisplayText(e.date));
    if (e.isFolder) {
      ++folders;
    } else {
      std::string ext;
      if (FileExtension(e.name, &ext)) fileList->SetItem(row, 1, ToDisplayText(ext));
      ++files;
      total += static_cast<float>(e.size);
    }
  }
  SortFiles(CompNameFile, 1);
  fileList->Thaw();
  SetText(IdFiles, wxString::Format("%d", files));
  SetText(IdFolders, wxString::Format("%d", folders));
  SetText(IdTotal, FormatTotal(total));
  const UrlParts parts = SplitUrlParts(site->url);
  SetText(IdUser, ToDisplayText(parts.user));
  SetText(IdPassword, ToDisplayText(parts.password));
  SetText(IdHost, ToDisplayText(parts.host));
}

std::vector<int> TD::SelectedSites() const {
  std::vector<int> chosen;
  for (long row = siteList->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
       row = siteList->GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
    chosen.push_back(static_cast<int>(siteList->GetItemData(row)));
  return chosen;
}

void TD::OnSiteSelection(wxListEvent&) {
  const std::vector<int> chosen = SelectedSites();
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
  SortFiles(*columns[column].comparator, SortFlags[columns[column].flag]);
  SortFlags[columns[column].flag] ^= 1;
}

void TD::OnSiteKey(wxListEvent& event) {
  if (event.GetKeyCode() == WXK_DELETE) {
    wxCommandEvent none;
    CmHideSites(none);
  }
}

// ---- commands -----------------------------------------------------------

void TD::CmShowAll(wxCommandEvent&) {
  showAll = !showAll;
  EmptySiteList();
  selectedSite = -1;
  RefreshSiteList();
}

void TD::CmHideSites(wxCommandEvent&) {
  for (int index : SelectedSites()) {
    if (auto site = SiteAt(index)) site->dropped = true;
  }
  selectedSite = -1;
  RefreshSiteList();
}

void TD::CmReexplore(wxCommandEvent&) {
  for (int index : SelectedSites()) {
    std::shared_ptr<SiteEntry> site = SiteAt(index);
    // Only finished sites go back: a site whose worker still runs is left to it
    // (its result would overwrite the fresh state), and a waiting one may be
    // taken by the scheduler at any moment, so its status is never written here.
    if (!site) continue;
    int32_t finished = site->status;
    if (finished == Exploring || finished == Waiting) continue;
    if (index == selectedSite) EmptyFileList();
    {
      std::lock_guard<std::mutex> hold(ListingLock);
      std::vector<ListingEntry>().swap(site->listing);
    }
    site->statusText.Clear();
    site->status.compare_exchange_strong(finished, Waiting);
  }
  RefreshSiteList();
}

void TD::CmCopySiteUrl(wxCommandEvent&) {
  const long row = siteList->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  if (row == -1) return;
  if (auto site = SiteAt(static_cast<int>(siteList->GetItemData(row)))) CopyToClipboard(site->url);
}

namespace {
// The URL of the first selected file row, or empty.
std::string FileRowUrl(wxListCtrl* files, int selectedSite) {
  if (selectedSite == -1) return {};
  const long row = files->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  if (row == -1) return {};
  auto site = SiteAt(selectedSite);
  if (!site) return {};
  const std::string text = files->GetItemText(row).ToStdString(wxConvUTF8).substr(0, RowTextChars);
  return JoinFileUrl(site->url, text);
}
}  // namespace

void TD::CmCopyFileUrl(wxCommandEvent&) {
  const std::string url = FileRowUrl(fileList, selectedSite);
  if (!url.empty()) CopyToClipboard(url);
}

void TD::CmExploreFolder(wxCommandEvent&) {
  std::string url = FileRowUrl(fileList, selectedSite);
  if (url.empty()) return;
  bool added = false;
  AddUniqueSite(url, added, false);
}

void TD::CmOpenUrl(wxCommandEvent&) {
  if (wxWindow* w = FindWindow(IdUrl))
    LaunchBrowser(Cut(ControlText(w), UrlFieldChars).ToStdString(wxConvUTF8));
}

void TD::CmCopyUrl(wxCommandEvent&) {
  if (wxWindow* w = FindWindow(IdUrl))
    CopyToClipboard(Cut(ControlText(w), UrlFieldChars).ToStdString(wxConvUTF8));
}

void TD::CmHelp(wxCommandEvent&) { LaunchDocument(ExeDir + "ZevO.chm"); }

void TD::CmAbout(wxCommandEvent&) { ShowAboutDialog(this); }

void TD::CmSettings(wxCommandEvent&) { ShowSettingsSheet(this); }

void TD::CmExit(wxCommandEvent&) {
  std::fflush(nullptr);
  _exit(0);
}

void TD::CmPause(wxCommandEvent&) {
  const bool paused = !ExplorationPaused;
  ExplorationPaused = paused;
  if (paused) {
    ExplorationLimit = Settings.MinConnect.load();
    if (animation) animation->Stop();
  } else if (animation) {
    animation->Play();
  }
  if (wxWindow* button = FindWindow(IdPause)) button->SetLabel(paused ? "Continue" : "Pause");
}

void TD::CmNewSearch(wxCommandEvent&) {
  const std::string lastTerm = GetLastTerm();
  if (!lastTerm.empty()) {
    const wxString question = Cut(ResourceModule::String(101), QuestionChars) +
                              wxString::Format("\"%s\" ?", ToDisplayText(lastTerm));
    std::function<bool(const wxString&)> hook;
    {
      std::lock_guard<std::mutex> hold(hookLock);
      hook = questionHook;
    }
    bool yes;
    if (hook) {
      yes = hook(question);
    } else {
      wxMessageDialog box(this, question, "ZEVO", wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION);
      yes = box.ShowModal() == wxID_YES;
    }
    if (!yes) return;
    ClearLastTerm();
  }
  EmptySiteList();
  EmptyFileList();
  ResetSortState();
  ResetSites();
  std::function<bool(wxWindow*)> runner;
  {
    std::lock_guard<std::mutex> hold(hookLock);
    runner = searchRunner;
  }
  const bool ok = runner ? runner(this) : RunSearchDialog(this);
  if (!ok) return;
  showAll = false;
  ClearRunDisplay();
  if (SiteTable.count > 0) StartExplorationScheduler();
}

void TD::ClearRunDisplay() {
  if (auto* gauge = dynamic_cast<wxGauge*>(FindWindow(IdProgress))) gauge->SetValue(0);
  for (int id : {IdWaiting, IdSessions, IdFinished}) SetText(id, wxString());
  selectedSite = -1;
  RefreshSiteList();
}

void TD::OnNothing(wxCommandEvent&) {}

void TD::EnableWithSites(wxUpdateUIEvent& event) { event.Enable(SiteTable.count > 0); }

void TD::EnableWithSelection(wxUpdateUIEvent& event) { event.Enable(selectedSite != -1); }

void TD::CheckShowAll(wxUpdateUIEvent& event) {
  event.Enable(true);
  event.Check(showAll);
}

// ---- context menus, timer ---------------------------------------------

wxMenu* TD::ContextMenuFor(wxWindow* window) {
  if (window == siteList) return siteMenu.get();
  if (window == fileList) {
    const long row = fileList->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
    if (row == -1) return nullptr;
    wxListItem item;
    item.SetId(row);
    item.SetMask(wxLIST_MASK_IMAGE);
    fileList->GetItem(item);
    return item.GetImage() == 1 ? folderMenu.get() : fileMenu.get();
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
  RefreshSiteList();
  RefreshDetails();
}

// ---- layout and painting ----------------------------------------------

void TD::CaptureLayout() {
  initialClientRect_ = GetClientRect();
  for (int g = 0; g < LayoutGroupCount; ++g) {
    int k = 0;
    for (; k < LayoutGroupSlots; ++k) {
      wxWindow* w = FindWindow(LayoutGroups[g].firstId + k);
      if (!w) break;
      const wxRect r = w->GetRect();
      layoutRects_[g * LayoutGroupSlots + k] = {r.GetLeft(), r.GetTop(), r.GetLeft() + r.GetWidth(),
                                                r.GetTop() + r.GetHeight()};
    }
    layoutCounts_[g] = k;
  }
  layoutCaptured_ = true;
}

void TD::ApplyLayout() {
  const wxRect client = GetClientRect();
  const int dx = client.GetRight() - initialClientRect_.GetRight();
  const int dy = client.GetBottom() - initialClientRect_.GetBottom();
  for (int g = 0; g < LayoutGroupCount; ++g) {
    for (int k = 0; k < layoutCounts_[g]; ++k) {
      wxWindow* w = FindWindow(LayoutGroups[g].firstId + k);
      if (!w) break;
      const Placement p =
          PlaceControl(layoutRects_[g * LayoutGroupSlots + k], LayoutGroups[g], dx, dy);
      // A size below zero would ask the toolkit for its default size instead.
      w->SetSize(p.x, p.y, std::max(p.width, 0), std::max(p.height, 0), wxSIZE_FORCE);
    }
  }
  siteList->SetColumnWidth(0, SiteColumnWidth(dx));
  fileList->SetColumnWidth(0, FileColumnWidth(dx));
  Refresh();
  Update();
}

void TD::OnSize(wxSizeEvent&) {
  if (layoutCaptured_ && siteList && fileList) ApplyLayout();
}

void TD::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  const wxSize client = GetClientSize();
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(panelBrush.IsOk() ? panelBrush : PanelColour));
  dc.DrawRectangle(0, 0, client.x, client.y);
  wxWindow* bandEnd = FindWindow(IdBandEnd);
  if (!siteList || !bandEnd) return;
  const int top = siteList->GetRect().GetBottom() + 1;
  const int bottom = bandEnd->GetRect().GetTop();
  if (bottom > top) {
    dc.SetBrush(wxBrush(BandColour));
    dc.DrawRectangle(0, top, client.x, bottom - top);
  }
  // Labels draw on the dialog, so their own background is painted here: the
  // totals line's labels in the band's grey, every other label in the panel's
  // colour, also where it lies on the band.
  for (wxWindow* child : GetChildren()) {
    if (!dynamic_cast<wxStaticText*>(child)) continue;
    const int id = child->GetId();
    const bool band = id >= IdBandLabels && id <= IdTotal;
    dc.SetBrush(wxBrush(band ? BandColour : (panelBrush.IsOk() ? panelBrush : PanelColour)));
    dc.DrawRectangle(child->GetRect());
  }
}

// ---- test hooks, clipboard --------------------------------------------

void TD::SetQuestionHook(std::function<bool(const wxString&)> hook) {
  std::lock_guard<std::mutex> hold(hookLock);
  questionHook = std::move(hook);
}

void TD::SetSearchRunner(std::function<bool(wxWindow*)> runner) {
  std::lock_guard<std::mutex> hold(hookLock);
  searchRunner = std::move(runner);
}

void CopyToClipboard(const std::string& text) {
  if (!wxTheClipboard->Open()) return;
  wxTheClipboard->SetData(new wxTextDataObject(ToDisplayText(text)));
  wxTheClipboard->Flush();
  wxTheClipboard->Close();
}

}  // namespace qb

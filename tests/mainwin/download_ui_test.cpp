// Files of a real local server fetched from the file list: a double-click
// downloads, the transfers window follows, and the entries' URLs are handed on
// as commands and lists.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/frame.h>
#include <wx/statusbr.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/controls.h"
#include "core/download_folder.h"
#include "core/launcher.h"
#include "core/settings.h"
#include "core/ui_door.h"
#include "index/index_db.h"
#include "index/local_index.h"
#include "mainwin/main_dialog.h"
#include "mainwin/site_crawls.h"
#include "mainwin/transfers_window.h"
#include "tests/index/listed_entry.h"
#include "tests/index/listed_folder.h"
#include "tests/support/gui_driver.h"
#include "tests/support/pyftpd_fixture.h"
#include "tests/support/screenshot.h"
#include "transfer/transfer_queue.h"

using namespace qb;

namespace {

bool WaitFor(const std::function<bool()>& done, int boundMs = 20000) {
  return qbtest::YieldUntil(done, std::chrono::milliseconds(boundMs));
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Clipboard() {
  wxTextDataObject data;
  if (!wxTheClipboard->Open()) return "<closed>";
  wxTheClipboard->GetData(data);
  wxTheClipboard->Close();
  return data.GetText().utf8_string();
}

class DownloadUiTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetSites();
    Settings.MinConnect = 8;
    Settings.OpenOnDoubleClick = 0;
    SetUiPoster([](UiTask task) { wxTheApp->CallAfter(std::move(task)); },
                [] { return wxIsMainThread(); });
    SetLauncher([this](LaunchKind, const std::string& target) { launched.push_back(target); });
    tree.File("pub/readme.txt", 3000);
    tree.File("pub/big file.iso", 200000);
    tree.Folder("pub/docs");
    tree.Folder("other");
    server = std::make_unique<qbtest::PyFtpd>(tree.Path());
    ASSERT_TRUE(server->Ready());
    SetDownloadFolder(downloads.Path());
    queue = std::make_shared<TransferQueue>(nullptr, FetchLimits{2, 4}, TransferEvents{});
    frame = new wxFrame(nullptr, wxID_ANY, "downloads");
    frame->CreateStatusBar(1);
    td = new TD;
    ASSERT_TRUE(td->Create(frame, false));
    td->SetTransfers(queue);
    frame->Show();
    ASSERT_TRUE(WaitFor([&] { return frame->IsShownOnScreen(); }));

    std::string url = server->Url("/pub/");
    bool added = false;
    AddUniqueSite(url, added, false);
    const auto site = SiteAt(0);
    site->status = Ok;
    site->listing.resize(3);
    const auto entry = [&](int i, const char* name, bool folder, int64_t size) {
      std::snprintf(site->listing[i].name, sizeof site->listing[i].name, "%s", name);
      site->listing[i].isFolder = folder ? 1 : 0;
      site->listing[i].size = size;
    };
    entry(0, "docs", true, 0);
    entry(1, "big file.iso", false, 200000);
    entry(2, "readme.txt", false, 3000);
    td->RefreshSiteList();
    td->SiteList()->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    ASSERT_TRUE(WaitFor([&] { return td->FileList()->GetItemCount() == 3; }));
  }
  void TearDown() override {
    frame->Destroy();
    wxYield();
    queue.reset();
    SetLauncher(nullptr);
    SetDownloadFolder("");
    ResetSites();
  }

  // The file list's row showing name.
  long RowOf(const std::string& name) {
    for (long r = 0; r < td->FileList()->GetItemCount(); ++r) {
      if (td->FileList()->GetItemText(r) == name) return r;
    }
    return -1;
  }
  void SelectFiles(std::initializer_list<const char*> names) {
    wxListCtrl* files = td->FileList();
    for (long r = 0; r < files->GetItemCount(); ++r)
      files->SetItemState(r, 0, wxLIST_STATE_SELECTED);
    for (const char* name : names)
      files->SetItemState(RowOf(name), wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    wxYield();
  }
  void Activate(const std::string& name) {
    wxListEvent event(wxEVT_LIST_ITEM_ACTIVATED, td->FileList()->GetId());
    event.SetEventObject(td->FileList());
    event.m_itemIndex = RowOf(name);
    td->FileList()->GetEventHandler()->ProcessEvent(event);
  }
  void Command(int id) {
    wxCommandEvent event(wxEVT_MENU, id);
    event.SetEventObject(td);
    td->GetEventHandler()->ProcessEvent(event);
  }
  bool Enabled(int id) {
    wxUpdateUIEvent event(id);
    event.SetEventObject(td);
    td->GetEventHandler()->ProcessEvent(event);
    return !event.GetSetEnabled() || event.GetEnabled();
  }
  wxString Cell(int row, int column) {
    TransfersWindow* window = td->OpenTransfersWindow();
    if (!window || row >= static_cast<int>(window->List()->GetItemCount())) return "<no row>";
    wxVariant value;
    window->List()->GetValue(value, static_cast<unsigned>(row), static_cast<unsigned>(column));
    return value.GetType() == "long" ? wxString::Format("%ld", value.GetLong()) : value.GetString();
  }

  qbtest::TempDir tree;
  qbtest::TempDir downloads;
  std::unique_ptr<qbtest::PyFtpd> server;
  std::shared_ptr<TransferQueue> queue;
  wxFrame* frame = nullptr;
  TD* td = nullptr;
  std::vector<std::string> launched;
};

}  // namespace

TEST_F(DownloadUiTest, DoubleClickOnAFileDownloadsItAndTheWindowFollows) {
  Activate("readme.txt");
  ASSERT_NE(td->OpenTransfersWindow(), nullptr) << "opened by the download";
  ASSERT_EQ(queue->Snapshot().size(), 1u);
  EXPECT_EQ(Cell(0, TransfersWindow::ColName), "readme.txt");
  const std::string arrived = downloads.Path() + "/readme.txt";
  ASSERT_TRUE(WaitFor([&] {
    return Cell(0, TransfersWindow::ColState) == "done" &&
           Cell(0, TransfersWindow::ColProgress) == "100";
  })) << Cell(0, TransfersWindow::ColState);
  EXPECT_EQ(FileText(arrived), FileText(tree.Path() + "/pub/readme.txt"));
  EXPECT_TRUE(launched.empty()) << "downloaded, not opened";

  // The same file again lands beside the first, never over it; opened this
  // time, as the setting asks.
  Settings.OpenOnDoubleClick = 1;
  Activate("big file.iso");
  ASSERT_TRUE(WaitFor([&] { return launched.size() == 1; }));
  EXPECT_EQ(launched[0], downloads.Path() + "/big file.iso");
  EXPECT_EQ(FileText(launched[0]), FileText(tree.Path() + "/pub/big file.iso"));
  Settings.OpenOnDoubleClick = 0;

  TransfersWindow* window = td->OpenTransfersWindow();
  window->Raise();
  wxYield();
  EXPECT_TRUE(SaveWindowScreenshot(
      window, std::getenv("QB_BUILD_DIR") + std::string("/transfers_window.png")));
  EXPECT_EQ(td->FileList()->GetItemCount(), 3) << "the file list stays as it was";
}

TEST_F(DownloadUiTest, DoubleClickOnAFolderExploresItAsASiteAndShowsIt) {
  Activate("docs");
  ASSERT_EQ(SiteTable.count, 2);
  EXPECT_EQ(std::string(SiteAt(1)->url), server->Url("/pub/docs/"));
  EXPECT_EQ(td->SelectedSite(), 1);
  EXPECT_TRUE(queue->Snapshot().empty());
}

// The server's docs folder is empty: the names shown come from the crawl, read
// on the index's writer thread.
TEST_F(DownloadUiTest, DoubleClickOnACrawledFolderShowsTheEntriesTheIndexHolds) {
  qbtest::TempDir folder;
  const std::string site = server->Url("/pub/");
  {
    std::string error;
    auto db = IndexDb::Open(folder.Path() + "/" + IndexFileName, error);
    ASSERT_TRUE(db) << error;
    const auto crawl = db->BeginCrawl(site, error);
    ASSERT_TRUE(crawl) << error;
    ASSERT_TRUE(db->StoreCrawlBatch(
        crawl->crawlId,
        {qbtest::ListedFolderOf("", {qbtest::ListedEntry("docs", 0, true)}),
         qbtest::ListedFolderOf("docs/", {qbtest::ListedEntry("manual.pdf", 5000),
                                          qbtest::ListedEntry("notes.txt", 10)})},
        error))
        << error;
    ASSERT_TRUE(db->FinishCrawl(crawl->crawlId, {site, Ok, "ok", "", 1700000001, "", {}}, error))
        << error;
  }
  std::string error;
  const std::shared_ptr<LocalIndex> index = LocalIndex::Open(
      folder.Path() + "/", [](const std::string& fault) { ADD_FAILURE() << fault; }, error);
  ASSERT_TRUE(index) << error;
  td->SetFolderReader(FolderReaderOf(index));
  Activate("docs");
  ASSERT_TRUE(WaitFor([&] { return SiteTable.count == 2 && td->SelectedSite() == 1; }));
  EXPECT_EQ(std::string(SiteAt(1)->url), server->Url("/pub/docs/"));
  EXPECT_EQ(SiteAt(1)->status, Ok);
  ASSERT_TRUE(WaitFor([&] { return td->FileList()->GetItemCount() == 2; }))
      << td->FileList()->GetItemCount();
  EXPECT_GE(RowOf("manual.pdf"), 0);
  EXPECT_GE(RowOf("notes.txt"), 0);
  td->SetFolderReader(nullptr);
}

TEST_F(DownloadUiTest, SelectedEntriesAreCopiedAndHandedOnAsCommandsAndLists) {
  const std::string base = server->Url("/pub/");
  SelectFiles({"readme.txt", "big file.iso"});
  Command(IdCopyFileUrl);
  EXPECT_EQ(Clipboard(), base + "big%20file.iso\n" + base + "readme.txt\n");
  Command(IdCopyCurl);
  EXPECT_EQ(Clipboard(), "curl -o 'big file.iso' -- '" + base + "big%20file.iso'\ncurl -o " +
                             "'readme.txt' -- '" + base + "readme.txt'");
  // The Copy button takes the selected files, the URL field's site otherwise.
  qbtest::PressButton(dynamic_cast<wxButton*>(td->FindWindow(IdCopyUrl)));
  EXPECT_EQ(Clipboard(), base + "big%20file.iso\n" + base + "readme.txt\n");
  SelectFiles({});
  qbtest::PressButton(dynamic_cast<wxButton*>(td->FindWindow(IdCopyUrl)));
  EXPECT_EQ(Clipboard(), base);

  // The menus offer downloads; the file manager only when some other program
  // takes ftp:// URLs.
  SelectFiles({"readme.txt"});
  wxMenu* menu = td->ContextMenuFor(td->FileList());
  ASSERT_NE(menu, nullptr);
  for (int id : {IdDownload, IdDownloadTo, IdCopyCurl, IdExportUrls, IdOpenInFileManager})
    EXPECT_NE(menu->FindItem(id), nullptr) << id;
  EXPECT_TRUE(Enabled(IdDownload));
  EXPECT_FALSE(Enabled(IdOpenInFileManager)) << "no handler found";
  td->SetFtpHandler("org.quillbrook.Quillbrook.desktop");
  EXPECT_FALSE(Enabled(IdOpenInFileManager)) << "our own entry is no other program";
  td->SetFtpHandler("org.gnome.Nautilus.desktop");
  EXPECT_TRUE(Enabled(IdOpenInFileManager));
  Command(IdOpenInFileManager);
  ASSERT_EQ(launched.size(), 1u);
  EXPECT_EQ(launched[0], base + "readme.txt");
  SelectFiles({"docs"});
  menu = td->ContextMenuFor(td->FileList());
  ASSERT_NE(menu, nullptr);
  EXPECT_NE(menu->FindItem(IdDownload), nullptr) << "a folder downloads as a tree";
  EXPECT_EQ(menu->FindItem(IdCopyCurl), nullptr);
}

TEST_F(DownloadUiTest, UrlsHandedToTheProgramDownloadFilesAndExploreFolders) {
  // A folder of a site the table holds would be no new site: one elsewhere.
  td->TakeHandedUrls({server->Url("/pub/readme.txt"), server->Url("/other")});
  ASSERT_EQ(SiteTable.count, 2);
  EXPECT_EQ(std::string(SiteAt(1)->url).rfind(server->Url("/other"), 0), 0u) << SiteAt(1)->url;
  ASSERT_TRUE(WaitFor([&] {
    const std::vector<Transfer> now = queue->Snapshot();
    return now.size() == 1 && now[0].state == TransferState::Done;
  }));
  EXPECT_EQ(FileText(downloads.Path() + "/readme.txt"), FileText(tree.Path() + "/pub/readme.txt"));
}

// Crawls of a real local server started from the site menus and Add sites'
// route, followed in the site row, the crawl window and the status bar, and
// kept in a local index of their own.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/frame.h>
#include <wx/statusbr.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/ui_door.h"
#include "crawl/crawl_runs.h"
#include "crawl/index_crawl_store.h"
#include "index/local_index.h"
#include "mainwin/crawl_window.h"
#include "mainwin/main_dialog.h"
#include "tests/index/temp_folder.h"
#include "tests/support/gui_driver.h"
#include "tests/support/pyftpd_fixture.h"
#include "tests/support/screenshot.h"

using namespace qb;

namespace {

bool WaitFor(const std::function<bool()>& done, int boundMs = 15000) {
  return qbtest::YieldUntil(done, std::chrono::milliseconds(boundMs));
}

class CrawlUiTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetSites();
    Settings.MinConnect = 8;
    Settings.CrawlSessions = 1;
    Settings.CrawlPause = 300;  // slow enough to be seen under way
    SetUiPoster([](UiTask task) { wxTheApp->CallAfter(std::move(task)); },
                [] { return wxIsMainThread(); });
    // Six folders, five files.
    for (const char* file :
         {"readme.txt", "docs/guide.pdf", "pub/a/alpha.txt", "pub/b/beta.txt", "pub/b/c/deep.iso"})
      tree.File(file, 10);
    server = std::make_unique<qbtest::PyFtpd>(tree.Path());
    ASSERT_TRUE(server->Ready());
    std::string error;
    index = LocalIndex::Open(
        folder.path(), [](const std::string& fault) { ADD_FAILURE() << fault; }, error);
    ASSERT_TRUE(index) << error;
    store = std::make_unique<IndexCrawlStore>(index->writer());
    runs = std::make_shared<CrawlRuns>(*store);
    frame = new wxFrame(nullptr, wxID_ANY, "crawls");
    frame->CreateStatusBar(1);
    td = new TD;
    ASSERT_TRUE(td->Create(frame, false));
    td->SetCrawls(runs, ListingReaderOf(index));
    frame->Show();
    ASSERT_TRUE(WaitFor([&] { return frame->IsShownOnScreen(); }));
  }
  void TearDown() override {
    frame->Destroy();
    wxYield();
    runs.reset();
    Settings.CrawlPause = 0;
    ResetSites();
  }

  // The status column of the site's row, and its icon.
  wxString Row(int column = 1) {
    wxListCtrl* sites = td->SiteList();
    for (long r = 0; r < sites->GetItemCount(); ++r) {
      if (td->SiteOfRow(r) != 0) continue;
      wxListItem item;
      item.SetId(r);
      item.SetMask(wxLIST_MASK_IMAGE);
      sites->GetItem(item);
      return column < 0 ? wxString::Format("%d", item.GetImage()) : sites->GetItemText(r, column);
    }
    return "<no row>";
  }
  wxString Cell(int column) {
    CrawlWindow* window = td->OpenCrawlWindow();
    return window && window->List()->GetItemCount() > 0 ? window->List()->GetItemText(0, column)
                                                        : wxString("<no row>");
  }
  wxButton* Button(int id) {
    return dynamic_cast<wxButton*>(td->OpenCrawlWindow()->FindWindow(id));
  }
  wxString StatusBar() { return frame->GetStatusBar()->GetStatusText(); }
  bool Enabled(int id) {
    wxUpdateUIEvent event(id);
    td->GetEventHandler()->ProcessEvent(event);
    return event.GetEnabled();
  }
  void Screenshot(wxWindow* window, const std::string& name) {
    window->Update();
    wxYield();
    EXPECT_TRUE(SaveWindowScreenshot(window, std::getenv("QB_BUILD_DIR") + ("/" + name)));
  }

  qbtest::TempDir tree;
  qbtest::TempFolder folder;
  std::unique_ptr<qbtest::PyFtpd> server;
  std::shared_ptr<LocalIndex> index;
  std::unique_ptr<IndexCrawlStore> store;
  std::shared_ptr<CrawlRuns> runs;
  wxFrame* frame = nullptr;
  TD* td = nullptr;
};

}  // namespace

TEST_F(CrawlUiTest, SiteMenuCrawlShowsProgressInRowAndWindowThenTheOutcome) {
  std::string url = server->Url("/");
  bool added = false;
  AddUniqueSite(url, added, false);
  const auto site = SiteAt(0);
  site->status = Ok;
  site->listing.resize(1);
  std::snprintf(site->listing[0].name, sizeof site->listing[0].name, "explored.txt");
  td->RefreshSiteList();
  EXPECT_FALSE(Enabled(IdCrawlSite)) << "nothing selected";
  EXPECT_TRUE(Enabled(IdCrawlAllOk));
  td->SiteList()->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  wxYield();
  wxMenu* menu = td->ContextMenuFor(td->SiteList());
  for (int id : {IdCrawlSite, IdCrawlAllOk, IdShowCrawls}) ASSERT_NE(menu->FindItem(id), nullptr);
  ASSERT_TRUE(Enabled(IdCrawlSite));
  wxCommandEvent pick(wxEVT_MENU, IdCrawlSite);
  td->GetEventHandler()->ProcessEvent(pick);

  ASSERT_NE(td->OpenCrawlWindow(), nullptr) << "opened by the crawl";
  ASSERT_EQ(runs->Runs().size(), 1u);
  const std::shared_ptr<CrawlRun> run = runs->Runs()[0];
  EXPECT_EQ(Cell(CrawlWindow::ColSite), url);
  EXPECT_TRUE(Row().StartsWith("crawling: ")) << Row();
  EXPECT_EQ(Row(-1), wxString::Format("%d", Exploring));
  EXPECT_FALSE(Enabled(IdCrawlSite)) << "crawled already";
  ASSERT_TRUE(WaitFor([&] { return StatusBar().EndsWith("1 crawl"); })) << StatusBar();

  // Paused after its first folder, the crawl holds still for the checks.
  ASSERT_TRUE(WaitFor([&] { return run->progress.listed >= 1; }));
  EXPECT_EQ(Button(CrawlWindow::IdPauseResume)->GetLabel(), "Pause");
  qbtest::PressButton(Button(CrawlWindow::IdPauseResume));
  EXPECT_TRUE(run->progress.paused);
  EXPECT_EQ(Button(CrawlWindow::IdPauseResume)->GetLabel(), "Resume");
  EXPECT_EQ(Cell(CrawlWindow::ColState), "paused");
  ASSERT_TRUE(WaitFor([&] {
    const auto count = [](int64_t n) { return wxString::Format("%lld", (long long)n); };
    return Row() == wxString(run->Text()) && Row().StartsWith("crawl paused: ") &&
           Cell(CrawlWindow::ColListed) == count(run->progress.listed) &&
           Cell(CrawlWindow::ColQueued) == count(run->progress.queued);
  })) << Row()
      << " / " << Cell(CrawlWindow::ColListed);
  EXPECT_GE(run->progress.queued.load(), 1) << "the folders below are known";
  Screenshot(frame, "crawl_row_paused.png");
  Screenshot(td->OpenCrawlWindow(), "crawl_window_paused.png");
  qbtest::PressButton(Button(CrawlWindow::IdPauseResume));
  EXPECT_FALSE(run->progress.paused);

  const wxString done = "crawled: 6 folders, 5 files";
  ASSERT_TRUE(WaitFor([&] { return Row() == done && Cell(CrawlWindow::ColState) == done; }))
      << Row();
  EXPECT_EQ(Row(-1), wxString::Format("%d", Ok));
  EXPECT_EQ(Cell(CrawlWindow::ColListed), "6");
  EXPECT_FALSE(Button(CrawlWindow::IdStop)->IsEnabled());
  ASSERT_TRUE(WaitFor([&] { return !StatusBar().Contains("crawl"); })) << StatusBar();
  // The site's own folder as the crawl stored it replaces what was explored.
  wxListCtrl* files = td->FileList();
  ASSERT_TRUE(WaitFor([&] { return files->GetItemCount() == 3; }));
  EXPECT_NE(files->FindItem(-1, "readme.txt"), -1);
  EXPECT_EQ(files->FindItem(-1, "explored.txt"), -1);
}

// Started as Add sites starts it, for a site the table does not hold yet.
TEST_F(CrawlUiTest, StopEndsACrawlThatStaysInTheIndexToGoOnWith) {
  // The folders below pub take seconds, however late the Stop comes on a loaded machine.
  Settings.CrawlPause = 2000;
  const std::string url = server->Url("/pub/");
  td->StartCrawls({url});
  ASSERT_EQ(SiteTable.count, 1);
  EXPECT_STREQ(SiteAt(0)->url, url.c_str());
  EXPECT_EQ(Row(-1), wxString::Format("%d", Exploring));
  const std::shared_ptr<CrawlRun> run = runs->Runs().at(0);
  ASSERT_TRUE(WaitFor([&] { return run->progress.listed >= 1; }));
  ASSERT_TRUE(Button(CrawlWindow::IdStop)->IsEnabled());
  qbtest::PressButton(Button(CrawlWindow::IdStop));
  EXPECT_TRUE(run->progress.stop);
  EXPECT_FALSE(Button(CrawlWindow::IdStop)->IsEnabled());
  EXPECT_FALSE(Button(CrawlWindow::IdPauseResume)->IsEnabled());
  ASSERT_TRUE(WaitFor([&] {
    return Row() == "crawl stopped" && Cell(CrawlWindow::ColState) == "crawl stopped";
  })) << Row();
  EXPECT_EQ(Row(-1), wxString::Format("%d", Ok)) << "folders of it were listed";

  std::string error;
  const std::unique_ptr<IndexDb> reader = index->OpenReader(error);
  ASSERT_TRUE(reader) << error;
  const std::vector<CrawlState> unfinished = reader->UnfinishedCrawls(error);
  ASSERT_EQ(unfinished.size(), 1u) << error;
  EXPECT_EQ(unfinished[0].url, url);
  EXPECT_GE(unfinished[0].foldersListed, 1);
  EXPECT_LT(unfinished[0].foldersListed, 4) << "pub, a, b and c: not all of them";
}

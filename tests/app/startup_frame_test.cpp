// The frame around the main dialog, without the program's start-up.
#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/menu.h>

#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "app/app_frame.h"
#include "app/index_hookup.h"
#include "app/index_menu.h"
#include "core/program_folders.h"
#include "core/site_table.h"
#include "index/local_index.h"
#include "mainwin/main_dialog.h"
#include "searchwin/search_dialog.h"
#include "tests/support/gui_driver.h"

using namespace qb;
using namespace std::chrono_literals;

namespace {
class FrameTest : public testing::Test {
 protected:
  void SetUp() override {
    frame = new TFW;
    td = new TD;
    ASSERT_TRUE(td->Create(frame, false));
    frame->SetClient(td);
  }
  void TearDown() override { frame->Destroy(); }
  TFW* frame = nullptr;
  TD* td = nullptr;
};
}  // namespace

TEST_F(FrameTest, TitleIconMenuAndBorder) {
  EXPECT_EQ(frame->GetTitle(), " FTP Quillbrook v 0.31");
  EXPECT_TRUE(frame->GetIcon().IsOk());
  EXPECT_TRUE(frame->HasFlag(wxRESIZE_BORDER));
  ASSERT_NE(frame->GetMenuBar(), nullptr);
  EXPECT_NE(frame->GetMenuBar()->FindItem(4000), nullptr);
  EXPECT_EQ(frame->GetPosition(), wxPoint(0, 0));
}

// The index is opened and read on a thread of its own: the start returns with
// nothing read, and the last search's sites arrive once they have been.
TEST_F(FrameTest, LastResultsArriveFromTheIndexWithoutTheStartWaiting) {
  {
    std::string error;
    std::filesystem::create_directories(UserDataFolder());
    auto db = IndexDb::Open(UserDataFolder() + IndexFileName, error);
    ASSERT_TRUE(db) << error;
    SiteOutcome kept{"ftp://kept.example/pub/", Ok, "ok", "readme", 1700000000, "gcc", {}};
    kept.entries.resize(2);
    std::strncpy(kept.entries[0].name, "gcc-2.95.tar.gz", sizeof kept.entries[0].name - 1);
    std::strncpy(kept.entries[1].name, "readme", sizeof kept.entries[1].name - 1);
    ASSERT_TRUE(db->Store(kept, error)) << error;
  }
  StartLocalIndex();
  ShowLastResults(frame);
  EXPECT_EQ(SiteTable.count, 0);  // handed over through the event loop, never read here
  ASSERT_TRUE(qbtest::YieldUntil([] { return SiteTable.count == 1; }, 10s));
  const auto site = SiteAt(0);
  ASSERT_TRUE(site);
  EXPECT_STREQ(site->url, "ftp://kept.example/pub/");
  EXPECT_EQ(site->status, Ok);
  {
    std::lock_guard<std::mutex> hold(ListingLock);
    ASSERT_EQ(site->listing.size(), 2u);
    EXPECT_STREQ(site->listing[1].name, "readme");
  }
  EXPECT_NE(frame->GetTitle().Find("Results from"), wxNOT_FOUND) << frame->GetTitle();
  EXPECT_NE(frame->GetTitle().Find("gcc"), wxNOT_FOUND);
  StopLocalIndex();
  ClearSites();
  std::filesystem::remove_all(UserDataFolder());
}

TEST_F(FrameTest, MenuCommandsAndTheirEnablingReachTheMainDialog) {
  wxMenuBar* bar = frame->GetMenuBar();
  wxMenu* owner = nullptr;
  wxMenuItem* showAll = bar->FindItem(11201, &owner);
  ASSERT_NE(showAll, nullptr);
  wxCommandEvent pick(wxEVT_MENU, 11201);
  pick.SetEventObject(owner);
  frame->GetEventHandler()->ProcessEvent(pick);
  EXPECT_TRUE(td->ShowAll());
  owner->UpdateUI(frame);
  EXPECT_TRUE(showAll->IsChecked());
  EXPECT_FALSE(bar->FindItem(11202)->IsEnabled());  // the table is empty

  // A command the dialog does not know ends at the frame, once.
  int seen = 0;
  frame->Bind(
      wxEVT_MENU, [&](wxCommandEvent&) { ++seen; }, 9999);
  wxCommandEvent unknown(wxEVT_MENU, 9999);
  unknown.SetEventObject(owner);
  frame->GetEventHandler()->ProcessEvent(unknown);
  EXPECT_EQ(seen, 1);
}

// The first search opens once the frame is on screen, centred over it and bound
// to it, so that a window manager keeps it above; the version check starts
// beside it.
TEST(FirstStart, SearchOpensOverTheFrameOnceItIsShown) {
  auto* frame = new TFW;
  auto* td = new TD;
  bool searched = false, checkStarted = false, frameOnScreen = false;
  wxRect searchRect;
  void* transientFor = nullptr;
  td->SetActions({
      .runSearch =
          [&](wxWindow* parent) {
            searched = true;
            frameOnScreen = frame->IsShownOnScreen();
            qbtest::RunWhen([] { return OpenSearchDialog() && OpenSearchDialog()->IsShown(); },
                            [&] {
                              wxDialog* search = OpenSearchDialog();
                              searchRect = search->GetScreenRect();
                              using Getter = void* (*)(void*);
                              if (auto get = reinterpret_cast<Getter>(
                                      dlsym(RTLD_DEFAULT, "gtk_window_get_transient_for")))
                                transientFor = get(search->GetHandle());
                              qbtest::PostClick(search, wxID_CANCEL);
                            });
            return RunSearchDialog(parent);
          },
      .startVersionCheck = [&](wxWindow*) { checkStarted = true; },
  });
  ASSERT_TRUE(td->Create(frame, true));
  frame->SetClient(td);
  frame->Show();
  ASSERT_TRUE(qbtest::YieldUntil([&] { return searched && checkStarted; }, 10s));
  EXPECT_TRUE(frameOnScreen);
  EXPECT_EQ(transientFor, static_cast<void*>(frame->GetHandle()));
  // Centred over the frame's client area, clear of its menu.
  const wxRect client(frame->ClientToScreen(wxPoint(0, 0)), frame->GetClientSize());
  EXPECT_TRUE(client.Contains(searchRect.GetPosition())) << searchRect.x << "," << searchRect.y;
  EXPECT_NEAR(searchRect.x + searchRect.width / 2, client.x + client.width / 2, 2);
  frame->Destroy();
}

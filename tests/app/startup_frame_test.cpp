// The frame around the main dialog, without the program's start-up.
#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/menu.h>

#include <dlfcn.h>

#include <chrono>

#include "app/app_frame.h"
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

// The frame around the main dialog, without the program's start-up.
#include <gtest/gtest.h>
#include <wx/menu.h>

#include "app/app_frame.h"
#include "mainwin/main_dialog.h"

using namespace qb;

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

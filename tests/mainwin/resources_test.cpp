#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/xrc/xmlres.h>

#include <memory>

#include "resources/resource_module.h"

using namespace qb;

TEST(ResourceLibrary, NumericNamesAreTheControlIds) {
  EXPECT_EQ(XRCID("200"), 200);
  EXPECT_EQ(XRCID("11402"), 11402);
}

TEST(ResourceLibrary, MainTemplateHasItsControlsUnderTheirNumbers) {
  auto* frame = new wxFrame(nullptr, wxID_ANY, "t");
  auto* panel = new wxPanel;
  ASSERT_TRUE(ResourceModule::LoadPanel(panel, frame, 1));
  const int ids[] = {101,   990,   1050,  8000,  11000, 11102, 11103, 11104, 11108, 11200, 11302,
                     11303, 11306, 11400, 11402, 11502, 11601, 11602, 11801, 12002, 12003};
  for (int id : ids) EXPECT_NE(panel->FindWindow(id), nullptr) << id;
  auto* sites = dynamic_cast<wxListCtrl*>(panel->FindWindow(990));
  ASSERT_NE(sites, nullptr);
  EXPECT_TRUE(sites->HasFlag(wxLC_REPORT));
  EXPECT_FALSE(sites->HasFlag(wxLC_SINGLE_SEL));
  EXPECT_NE(dynamic_cast<wxListCtrl*>(panel->FindWindow(1050)), nullptr);
  frame->Destroy();
}

TEST(ResourceLibrary, MissingTemplateFails) {
  auto* frame = new wxFrame(nullptr, wxID_ANY, "t");
  auto* panel = new wxPanel;
  EXPECT_FALSE(ResourceModule::LoadPanel(panel, frame, 9999));
  delete panel;
  frame->Destroy();
}

TEST(ResourceLibrary, MenusCarryTheCommandIds) {
  std::unique_ptr<wxMenuBar> bar(ResourceModule::MenuBar(1));
  ASSERT_NE(bar, nullptr);
  for (int id : {4000, 4001, 4002, 4003, 7000, 11201}) EXPECT_NE(bar->FindItem(id), nullptr) << id;
  EXPECT_TRUE(bar->FindItem(11201)->IsCheckable());
  const int expected[][2] = {{2, 610}, {3, 620}, {4, 630}};
  for (auto [number, command] : expected) {
    std::unique_ptr<wxMenu> menu(ResourceModule::Menu(number));
    ASSERT_NE(menu, nullptr) << number;
    wxMenu* first = menu->FindItemByPosition(0)->GetSubMenu();
    ASSERT_NE(first, nullptr) << number;
    EXPECT_NE(first->FindItem(command), nullptr) << number;
  }
}

TEST(ResourceLibrary, IconsCursorAndStrings) {
  for (int number : {10, 11, 12, 13, 14, 20}) {
    wxBitmap icon = ResourceModule::Icon(number);
    ASSERT_TRUE(icon.IsOk()) << number;
    EXPECT_EQ(icon.GetWidth(), 16);
    EXPECT_EQ(icon.GetHeight(), 16);
  }
  EXPECT_FALSE(ResourceModule::Icon(15).IsOk());
  EXPECT_TRUE(ResourceModule::Cursor(2).IsOk());
  EXPECT_FALSE(ResourceModule::Cursor(3).IsOk());
  for (int number = 101; number <= 109; ++number)
    EXPECT_FALSE(ResourceModule::String(number).empty()) << number;
  EXPECT_TRUE(ResourceModule::String(108).StartsWith("http://"));
  EXPECT_TRUE(ResourceModule::String(110).empty());
}

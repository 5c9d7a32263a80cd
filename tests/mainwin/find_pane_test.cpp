#include "mainwin/find_pane.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "core/launcher.h"
#include "tests/index/temp_folder.h"
#include "tests/support/gui_driver.h"

using namespace qb;
using namespace std::chrono_literals;

namespace {

SiteOutcome Site(const std::string& url, std::vector<std::pair<const char*, bool>> names) {
  SiteOutcome o{url, Ok, "ok", "", 1700000000, "gcc", {}};
  for (const auto& [name, folder] : names) {
    ListingEntry e;
    std::strncpy(e.name, name, sizeof e.name - 1);
    e.size = 1234;
    e.isFolder = folder ? 1 : 0;
    o.entries.push_back(e);
  }
  return o;
}

TEST(FindPaneTest, TypingFindsAcrossSitesFiltersAndOpensTheUrl) {
  qbtest::TempFolder folder;
  const std::string path = folder.path() + "index.db";
  std::string error;
  {
    auto db = IndexDb::Open(path, error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->Store(
        Site("ftp://a.example/pub/", {{"gcc-2.95 src.tar.gz", false}, {"gcc-docs", true}}), error));
    ASSERT_TRUE(db->Store(
        Site("ftp://b.example/", {{"old-gcc-2.95.zip", false}, {"readme", false}}), error));
  }
  std::string shownSite;
  auto* pane = new FindPane(nullptr, IndexDb::Open(path, error), [&](const std::string& url) {
    shownSite = url;
    return true;
  });
  pane->Show();
  EXPECT_EQ(pane->List()->GetItemCount(), 4);  // an empty box finds everything

  pane->TextBox()->SetValue("c-2.9");  // found after the typing pause, by its events
  ASSERT_TRUE(qbtest::YieldUntil([&] { return pane->List()->GetItemCount() == 2; }, 5s));
  EXPECT_EQ(pane->CountLabel()->GetLabel(), "2 found");
  EXPECT_EQ(pane->List()->GetItemText(0, 0), "gcc-2.95 src.tar.gz");
  EXPECT_EQ(pane->List()->GetItemText(0, 1), "1234");
  EXPECT_EQ(pane->List()->GetItemText(1, 3), "ftp://b.example/");

  pane->TextBox()->SetValue("gcc");
  pane->KindChoice()->SetSelection(2);
  pane->RunQuery();
  ASSERT_EQ(pane->List()->GetItemCount(), 1);
  EXPECT_EQ(pane->List()->GetItemText(0, 0), "gcc-docs/");
  pane->KindChoice()->SetSelection(0);
  pane->ExtensionBox()->SetValue(".zip");
  pane->RunQuery();
  ASSERT_EQ(pane->List()->GetItemCount(), 1);

  std::string launched;
  SetLauncher([&](LaunchKind, const std::string& url) { launched = url; });
  wxListEvent activate(wxEVT_LIST_ITEM_ACTIVATED, pane->List()->GetId());
  activate.SetEventObject(pane->List());
  activate.m_itemIndex = 0;
  pane->List()->GetEventHandler()->ProcessEvent(activate);
  SetLauncher(nullptr);
  EXPECT_EQ(launched, "ftp://b.example/old-gcc-2.95.zip");

  // Export of the hits shown, escaped, as a page.
  ASSERT_TRUE(pane->ExportHits(folder.path() + "found.html", error)) << error;
  std::ifstream in(folder.path() + "found.html");
  const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(page.find("href=\"ftp://b.example/old-gcc-2.95.zip\""), std::string::npos);
  EXPECT_EQ(page.find("readme"), std::string::npos);
  pane->Destroy();
}

}  // namespace

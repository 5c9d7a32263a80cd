// The Add sites dialog driven by posted events under Xvfb: pasted and loaded
// lines, the one message about bad lines, and Cancel.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/program_folders.h"
#include "core/settings.h"
#include "core/ui_door.h"
#include "dialogs/add_sites_dialog.h"
#include "tests/support/gui_driver.h"
#include "tests/support/http_test_server.h"
#include "tests/support/screenshot.h"
#include "ui/message_box.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;

AddSitesDialog* OpenDialog() {
  for (wxWindow* w : wxTopLevelWindows) {
    if (auto* d = dynamic_cast<AddSitesDialog*>(w); d && d->IsModal()) return d;
  }
  return nullptr;
}

struct Messages {
  Messages() {
    SetMessageResponder([this](const MessageRequest& r) {
      shown.push_back(r.text.utf8_string());
      return true;
    });
  }
  ~Messages() { SetMessageResponder(nullptr); }
  std::vector<std::string> shown;
};

TEST(AddSitesDialog, PastedAndLoadedLinesGoInAndBadLinesAreNamedOnce) {
  const std::string list = testing::TempDir() + "add_sites_list.txt";
  std::ofstream(list) << "loaded.example\nftp://loaded.example/pub/\n";
  Messages messages;
  bool loaded = false;
  bool missingRefused = true;
  qbtest::RunWhen(
      [] { return OpenDialog() != nullptr; },
      [&] {
        AddSitesDialog* d = OpenDialog();
        auto* text = dynamic_cast<wxTextCtrl*>(d->FindWindow(AddSitesDialog::IdSitesText));
        text->SetValue("ftp://a.example/pub/\n\nhttp://web.example/\nb.example");
        loaded = d->LoadFromFile(list);
        missingRefused = !d->LoadFromFile(list + ".missing");
        // Painted by the time it is shot.
        const auto shootAt = std::chrono::steady_clock::now() + 300ms;
        qbtest::RunWhen([shootAt] { return std::chrono::steady_clock::now() > shootAt; },
                        [d] {
                          EXPECT_TRUE(SaveWindowScreenshot(d, "add_sites_dialog.png"));
                          qbtest::PostClick(d, wxID_OK);
                        });
      });
  const std::vector<std::string> sites = AskForSites(nullptr);
  EXPECT_TRUE(loaded);
  EXPECT_TRUE(missingRefused);
  EXPECT_EQ(sites,
            (std::vector<std::string>{"ftp://a.example/pub/", "ftp://b.example/",
                                      "ftp://loaded.example/", "ftp://loaded.example/pub/"}));
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_NE(messages.shown[0].find("add_sites_list.txt.missing"), std::string::npos);
  EXPECT_EQ(messages.shown[1],
            "The other lines were added; these were not:\n\n"
            "line 3: not an FTP address: http://web.example/");
  std::remove(list.c_str());
}

// Escaped or not, a line is decoded once; a port no server can have is named.
TEST(AddSitesDialog, EscapesAreDecodedAndBadPortsNamed) {
  Messages messages;
  qbtest::RunWhen([] { return OpenDialog() != nullptr; },
                  [&] {
                    AddSitesDialog* d = OpenDialog();
                    auto* text =
                        dynamic_cast<wxTextCtrl*>(d->FindWindow(AddSitesDialog::IdSitesText));
                    text->SetValue(
                        "ftp://a.example/old%20music/\nftp://b.example:99999/\n"
                        "b.example/old music/");
                    qbtest::PostClick(d, wxID_OK);
                  });
  EXPECT_EQ(AskForSites(nullptr),
            (std::vector<std::string>{"ftp://a.example/old music/", "ftp://b.example/old music/"}));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0],
            "The other lines were added; these were not:\n\n"
            "line 2: the port is not a number from 1 to 65535: ftp://b.example:99999/");
}

TEST(AddSitesDialog, CancelAddsNothing) {
  Messages messages;
  qbtest::RunWhen([] { return OpenDialog() != nullptr; },
                  [&] {
                    AddSitesDialog* d = OpenDialog();
                    auto* text =
                        dynamic_cast<wxTextCtrl*>(d->FindWindow(AddSitesDialog::IdSitesText));
                    text->SetValue("ftp://a.example/\nhttp://x/");
                    qbtest::PostClick(d, wxID_CANCEL);
                  });
  EXPECT_TRUE(AskForSites(nullptr).empty());
  EXPECT_TRUE(messages.shown.empty());
}

// The box offers crawling only where the caller can crawl, and says it was chosen.
TEST(AddSitesDialog, CrawlInsteadOfExploreIsOfferedWhereCrawlsCanBeKept) {
  EXPECT_EQ(AddSitesDialog(nullptr, false).FindWindow(AddSitesDialog::IdCrawl), nullptr);
  qbtest::RunWhen([] { return OpenDialog() != nullptr; },
                  [] {
                    AddSitesDialog* d = OpenDialog();
                    dynamic_cast<wxTextCtrl*>(d->FindWindow(AddSitesDialog::IdSitesText))
                        ->SetValue("a.example");
                    auto* box = dynamic_cast<wxCheckBox*>(d->FindWindow(AddSitesDialog::IdCrawl));
                    ASSERT_NE(box, nullptr);
                    EXPECT_FALSE(box->GetValue()) << "explored unless the user asks";
                    box->SetValue(true);
                    const auto shootAt = std::chrono::steady_clock::now() + 300ms;
                    qbtest::RunWhen(
                        [shootAt] { return std::chrono::steady_clock::now() > shootAt; },
                        [d] {
                          EXPECT_TRUE(SaveWindowScreenshot(d, "add_sites_crawl.png"));
                          qbtest::PostClick(d, wxID_OK);
                        });
                  });
  bool crawl = false;
  EXPECT_EQ(AskForSites(nullptr, &crawl), std::vector<std::string>{"ftp://a.example/"});
  EXPECT_TRUE(crawl);
}

}  // namespace

int main(int argc, char** argv) { return qbtest::RunGuiTestsWithUiDoor(argc, argv); }

// A site list's page fills the box with the FTP sites it names, other schemes
// left out; one that cannot be fetched says why and adds none.
TEST(AddSitesDialog, FromASiteListTheSitesItNamesFillTheBox) {
  qbtest::HttpTestServer web;
  ASSERT_TRUE(web.Listening());
  web.Serve("/mirrors.txt",
            qbtest::HttpReply::Page("Mirrors:\nftp://ftp.one.example/pub/gnu/\n"
                                    "https://www.one.example/gnu/\nrsync://two.example/gnu/\n"
                                    "ftp://ftp.two.example/mirror/gnu/ (daily)\n"));
  web.Serve("/gone.txt", qbtest::HttpReply::Page("not here", 404));
  const std::string folder = testing::TempDir() + "add_sites_lists/";
  std::filesystem::create_directories(folder);
  ExeDir = folder;
  Settings.HttpTimeOut = 10;
  std::ofstream(folder + "engines.ini")
      << "[Local mirrors]\nKind=SiteList\nUrl=" << web.Url("/mirrors.txt")
      << "\nRule=Generic\n[Gone]\nKind=SiteList\nUrl=" << web.Url("/gone.txt")
      << "\nRule=Generic\n";
  AddSitesDialog dialog(nullptr);
  auto* text = dynamic_cast<wxTextCtrl*>(dialog.FindWindow(AddSitesDialog::IdSitesText));
  text->SetValue("ftp://typed.example/");
  dialog.LoadFromList("local MIRRORS");
  ASSERT_TRUE(qbtest::YieldUntil([&] { return dialog.ListStatus().StartsWith("2 sites"); },
                                 std::chrono::seconds(20)))
      << dialog.ListStatus();
  EXPECT_EQ(dialog.ListStatus(), "2 sites from Local mirrors");
  EXPECT_EQ(text->GetValue(),
            "ftp://typed.example/\nftp://ftp.one.example/pub/gnu/\n"
            "ftp://ftp.two.example/mirror/gnu/\n");
  dialog.LoadFromList("Gone");
  ASSERT_TRUE(qbtest::YieldUntil([&] { return dialog.ListStatus().StartsWith("0 sites"); },
                                 std::chrono::seconds(20)))
      << dialog.ListStatus();
  EXPECT_TRUE(dialog.ListStatus().Contains("Gone: ")) << dialog.ListStatus();
  std::filesystem::remove_all(folder);
  ExeDir.clear();
}

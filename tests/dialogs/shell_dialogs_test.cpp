// The settings sheet, the about and information dialogs and the version check's
// windows, driven by posted events under Xvfb.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/filepicker.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/radiobox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/controls.h"
#include "core/download_folder.h"
#include "core/ini_file.h"
#include "core/launcher.h"
#include "core/settings.h"
#include "core/trusted_certificates.h"
#include "core/ui_door.h"
#include "dialogs/about_dialog.h"
#include "dialogs/downloads_page.h"
#include "dialogs/index_page.h"
#include "dialogs/infos_dialog.h"
#include "dialogs/network_page.h"
#include "dialogs/settings_sheet.h"
#include "dialogs/version_check_ui.h"
#include "resources/resource_module.h"
#include "tests/support/gui_driver.h"
#include "tests/support/http_test_server.h"
#include "tests/support/screenshot.h"
#include "ui/message_box.h"
#include "version/version_check.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;

// Runs the UI loop until cond holds, at most bound.
bool YieldUntil(const std::function<bool()>& cond, std::chrono::milliseconds bound = 5s) {
  return qbtest::YieldUntil(cond, bound);
}

// Lets every task posted so far run.
void Drain() {
  bool ran = false;
  wxTheApp->CallAfter([&ran] { ran = true; });
  ASSERT_TRUE(YieldUntil([&] { return ran; }));
}

template <class T>
std::vector<T*> Open() {
  std::vector<T*> found;
  for (wxWindow* w : wxTopLevelWindows) {
    if (auto* t = dynamic_cast<T*>(w); t && !t->IsBeingDeleted()) {
      found.push_back(t);
    }
  }
  return found;
}

template <class T>
T* WaitForOne() {
  T* one = nullptr;
  YieldUntil([&] {
    const std::vector<T*> open = Open<T>();
    one = open.size() == 1 ? open[0] : nullptr;
    return one != nullptr;
  });
  return one;
}

template <class T>
bool WaitUntilAllGone() {
  return YieldUntil([] { return Open<T>().empty(); });
}

using qbtest::PostClick;
using qbtest::RunWhen;

// Posts a button's click as the toolkit would and lets it run.
void Click(wxWindow* top, int id) {
  wxWindow* button = top->FindWindow(id);
  ASSERT_NE(button, nullptr) << "button " << id;
  wxCommandEvent click(wxEVT_BUTTON, id);
  click.SetEventObject(button);
  wxPostEvent(button, click);
  Drain();
}

wxTextCtrl* Box(wxWindow* top, int id) { return dynamic_cast<wxTextCtrl*>(top->FindWindow(id)); }

class LaunchRecorder {
 public:
  LaunchRecorder() {
    SetLauncher([this](LaunchKind kind, const std::string& url) {
      std::lock_guard<std::mutex> hold(lock_);
      if (kind == LaunchKind::Browser) urls_.push_back(url);
    });
  }
  ~LaunchRecorder() { SetLauncher(nullptr); }
  std::vector<std::string> Urls() {
    std::lock_guard<std::mutex> hold(lock_);
    return urls_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> urls_;
};

class ShellDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qb_shell_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ExeDir = dir_.string() + "/";
    LoadSettings();
  }
  void TearDown() override {
    for (wxWindow* w : wxTopLevelWindows) w->Destroy();
    Drain();
    std::filesystem::remove_all(dir_);
  }
  std::string Saved(const char* key) {
    return IniReadString(SettingsPath(), "Config", key, "(absent)", 39);
  }

  std::filesystem::path dir_;
};

TEST_F(ShellDialogs, SheetShowsTheSettingsWithOkAndCancelOnly) {
  ShowSettingsSheet(nullptr);
  TPSConf* sheet = WaitForOne<TPSConf>();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->GetTitle(), "Quillbrook");
  EXPECT_NE(sheet->FindWindow(wxID_OK), nullptr);
  EXPECT_NE(sheet->FindWindow(wxID_CANCEL), nullptr);
  EXPECT_EQ(sheet->FindWindow(wxID_APPLY), nullptr);
  const std::pair<int, const char*> shown[] = {{101, "8"}, {104, "50"}, {120, "15"}, {105, "4"}};
  for (const auto& [id, text] : shown) {
    ASSERT_NE(Box(sheet, id), nullptr) << id;
    EXPECT_EQ(Box(sheet, id)->GetValue(), text) << id;
  }
}

TEST_F(ShellDialogs, PresetThenCancelOrCloseBoxChangesNothing) {
  const std::function<void(TPSConf*)> closers[] = {
      [](TPSConf* s) { Click(s, wxID_CANCEL); },
      [](TPSConf* s) { s->Close(); },
      [](TPSConf* s) {
        wxKeyEvent escape(wxEVT_CHAR_HOOK);
        escape.m_keyCode = WXK_ESCAPE;
        s->GetEventHandler()->ProcessEvent(escape);
      },
  };
  for (const auto& close : closers) {
    ShowSettingsSheet(nullptr);
    TPSConf* sheet = WaitForOne<TPSConf>();
    ASSERT_NE(sheet, nullptr);
    Click(sheet, 202);
    EXPECT_EQ(Box(sheet, 101)->GetValue(), "16");
    EXPECT_EQ(Settings.MinConnect, 8);
    close(sheet);
    EXPECT_TRUE(WaitUntilAllGone<TPSConf>());
    EXPECT_EQ(Settings.MinConnect, 8);
    EXPECT_FALSE(std::filesystem::exists(SettingsPath()));
  }
}

TEST_F(ShellDialogs, OkStoresAndWritesWhatTheBoxesHold) {
  const char* const keys[] = {"MinConnect", "HttpTimeOut", "VerifyTimeOut", "NbRetry"};
  const struct {
    const char* name;
    int preset;  // 0: none
    std::vector<std::pair<int, const char*>> typed;
    std::array<int32_t, 4> stored;
  } cases[] = {
      {"preset 10", 201, {}, {10, 50, 15, 4}},
      {"bounds", 0, {{101, " 64"}, {104, "600"}, {120, "0"}, {105, "20 "}}, {64, 600, 0, 20}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(SettingsPath());
    LoadSettings();
    ShowSettingsSheet(nullptr);
    TPSConf* sheet = WaitForOne<TPSConf>();
    ASSERT_NE(sheet, nullptr) << c.name;
    if (c.preset) Click(sheet, c.preset);
    for (const auto& [id, text] : c.typed) Box(sheet, id)->ChangeValue(text);
    Click(sheet, wxID_OK);
    EXPECT_TRUE(WaitUntilAllGone<TPSConf>()) << c.name;
    const std::array<int32_t, 4> inMemory = {Settings.MinConnect, Settings.HttpTimeOut,
                                             Settings.VerifyTimeOut, Settings.NbRetry};
    EXPECT_EQ(inMemory, c.stored) << c.name;
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(Saved(keys[i]), std::to_string(c.stored[i])) << c.name << " " << keys[i];
    }
  }
}

// A value the setting cannot hold is refused by name and range, on its own tab,
// and the sheet stays open with nothing stored until it is mended.
TEST_F(ShellDialogs, OkRefusesAValueOutsideItsRangeAndKeepsTheSheetOpen) {
  std::vector<std::string> said;
  SetMessageResponder([&](const MessageRequest& box) {
    said.push_back(box.text.utf8_string());
    return true;
  });
  const struct {
    int tab, id;
    const char* typed;
    const char* message;
  } cases[] = {
      {0, 101, "0", "FTP sessions at the same time must be a whole number from 1 to 64."},
      {0, 104, "abc", "Network time-out (seconds) must be a whole number from 1 to 600."},
      {0, 105, "-1", "Attempts per site must be a whole number from 1 to 20."},
      {0, 120, "3601",
       "Pause between two attempts (seconds) must be a whole number from 0 to 3600."},
      {1, EnginePauseBox, "0",
       "Pause between two requests to one search host (ms) must be a whole number from 250 to "
       "60000."},
      {3, CrawlBoxes[0].controlId, "65",
       "Crawl depth (folders) must be a whole number from 1 to 64."},
      {3, CrawlBoxes[4].controlId, "0",
       "Crawl sessions per server must be a whole number from 1 to 4."},
      {3, CrawlBoxes[5].controlId, "60001",
       "Pause between two listings of one server (ms) must be a whole number from 0 to 60000."},
  };
  for (const auto& c : cases) {
    said.clear();
    ShowSettingsSheet(nullptr);
    TPSConf* sheet = WaitForOne<TPSConf>();
    ASSERT_NE(sheet, nullptr) << c.typed;
    auto* tabs = dynamic_cast<wxNotebook*>(sheet->GetBookCtrl());
    tabs->SetSelection(c.tab == 0 ? 2 : 0);
    Box(sheet, c.id)->ChangeValue(c.typed);
    Click(sheet, wxID_OK);
    Drain();
    ASSERT_EQ(said.size(), 1u) << c.typed;
    EXPECT_EQ(said[0], c.message);
    EXPECT_EQ(Open<TPSConf>().size(), 1u) << "the sheet stays open";
    EXPECT_EQ(tabs->GetSelection(), c.tab);
    EXPECT_FALSE(std::filesystem::exists(SettingsPath())) << c.typed;
    EXPECT_EQ(Settings.MinConnect, 8);
    EXPECT_EQ(Settings.HttpTimeOut, 50);
    EXPECT_EQ(Settings.EnginePause, 250);
    EXPECT_EQ(Settings.CrawlDepth, 8);
    Click(sheet, wxID_CANCEL);
    ASSERT_TRUE(WaitUntilAllGone<TPSConf>());
  }
  SetMessageResponder(nullptr);
}

TEST_F(ShellDialogs, OfTwoSheetsTheLastConfirmedWins) {
  ShowSettingsSheet(nullptr);
  ShowSettingsSheet(nullptr);
  std::vector<TPSConf*> sheets;
  ASSERT_TRUE(YieldUntil([&] { return (sheets = Open<TPSConf>()).size() == 2; }));
  Click(sheets[0], 202);
  Click(sheets[1], 201);
  Click(sheets[1], wxID_OK);
  ASSERT_TRUE(YieldUntil([] { return Open<TPSConf>().size() == 1; }));
  EXPECT_EQ(Saved("MinConnect"), "10");
  Click(sheets[0], wxID_OK);
  EXPECT_TRUE(WaitUntilAllGone<TPSConf>());
  EXPECT_EQ(Settings.MinConnect, 16);
  EXPECT_EQ(Saved("MinConnect"), "16");
}

// The data mode is chosen on its own tab and kept like the other settings.
TEST_F(ShellDialogs, NetworkTabShowsAndStoresTheDataMode) {
  {
    std::ofstream ini(SettingsPath());
    ini << "[Config]\nDataMode=active\n";
  }
  LoadSettings();
  ShowSettingsSheet(nullptr);
  TPSConf* sheet = WaitForOne<TPSConf>();
  ASSERT_NE(sheet, nullptr);
  auto* tabs = dynamic_cast<wxNotebook*>(sheet->GetBookCtrl());
  ASSERT_NE(tabs, nullptr);
  ASSERT_EQ(tabs->GetPageCount(), 5u);
  EXPECT_EQ(tabs->GetPageText(1), "Network");
  auto* choice = dynamic_cast<wxRadioBox*>(sheet->FindWindow(300));
  ASSERT_NE(choice, nullptr);
  EXPECT_EQ(choice->GetSelection(), 1);  // active, as the file says
  tabs->SetSelection(1);
  EXPECT_EQ(tabs->GetSelection(), 1);
  Drain();
  YieldUntil([] { return false; }, 300ms);  // let the tab paint for the screenshot
  EXPECT_TRUE(SaveWindowScreenshot(sheet, "settings_network_tab.png"));

  choice->SetSelection(0);
  Click(sheet, wxID_CANCEL);
  ASSERT_TRUE(WaitUntilAllGone<TPSConf>());
  EXPECT_EQ(Settings.DataMode, FtpDataMode::Active);

  ShowSettingsSheet(nullptr);
  sheet = WaitForOne<TPSConf>();
  ASSERT_NE(sheet, nullptr);
  choice = dynamic_cast<wxRadioBox*>(sheet->FindWindow(300));
  ASSERT_NE(choice, nullptr);
  EXPECT_EQ(choice->GetSelection(), 1);
  choice->SetSelection(0);
  // The pause between two requests to a search host and the term report.
  EXPECT_EQ(Box(sheet, EnginePauseBox)->GetValue(), "250");
  auto* report = dynamic_cast<wxCheckBox*>(sheet->FindWindow(ReportTermBox));
  ASSERT_NE(report, nullptr);
  EXPECT_TRUE(report->GetValue());
  Box(sheet, EnginePauseBox)->ChangeValue("400");
  report->SetValue(false);
  Click(sheet, wxID_OK);
  ASSERT_TRUE(WaitUntilAllGone<TPSConf>());
  EXPECT_EQ(Settings.DataMode, FtpDataMode::Passive);
  EXPECT_EQ(Saved("DataMode"), "passive");
  EXPECT_EQ(Settings.EnginePause, 400);
  EXPECT_EQ(Saved("EnginePause"), "400");
  EXPECT_EQ(Settings.ReportTerm, 0);
  EXPECT_EQ(Saved("ReportTerm"), "0");
  Settings.EnginePause = 250;
  Settings.ReportTerm = 1;
}

// TLS is chosen like the data mode; accepted certificates are revoked with OK,
// and a sheet cancelled keeps them all.
TEST_F(ShellDialogs, NetworkTabSetsTlsAndRevokesAcceptedCertificates) {
  const std::string first(95, 'A'), second = std::string(94, 'B') + "C";
  auto fingerprint = [](std::string text) {
    for (std::size_t i = 2; i < text.size(); i += 3) text[i] = ':';
    return text;
  };
  ASSERT_TRUE(TrustCertificate("ftp.example.org:21", fingerprint(first)));
  ASSERT_TRUE(TrustCertificate("[2001:db8::1]:990", fingerprint(second)));
  {
    std::ofstream ini(SettingsPath());
    ini << "[Config]\nTls=never\n";
  }
  LoadSettings();
  const auto open = [] {
    ShowSettingsSheet(nullptr);
    TPSConf* sheet = WaitForOne<TPSConf>();
    if (sheet) dynamic_cast<wxNotebook*>(sheet->GetBookCtrl())->SetSelection(1);
    return sheet;
  };
  TPSConf* sheet = open();
  ASSERT_NE(sheet, nullptr);
  auto* tls = dynamic_cast<wxRadioBox*>(sheet->FindWindow(TlsModeChoice));
  auto* list = dynamic_cast<wxListCtrl*>(sheet->FindWindow(CertificateList));
  wxWindow* revoke = sheet->FindWindow(RevokeCertificateButton);
  ASSERT_TRUE(tls && list && revoke);
  EXPECT_EQ(tls->GetSelection(), 2);
  ASSERT_EQ(list->GetItemCount(), 2);
  EXPECT_EQ(list->GetItemText(0, 0), "ftp.example.org:21");
  EXPECT_EQ(list->GetItemText(0, 1), fingerprint(first));
  EXPECT_TRUE(YieldUntil([&] { return !revoke->IsEnabled(); })) << "no row is selected";
  list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  EXPECT_TRUE(YieldUntil([&] { return revoke->IsEnabled(); }));
  YieldUntil([] { return false; }, 300ms);  // let the tab paint for the screenshot
  EXPECT_TRUE(SaveWindowScreenshot(sheet, "settings_network_certificates.png"));
  Click(sheet, RevokeCertificateButton);
  ASSERT_EQ(list->GetItemCount(), 1);
  EXPECT_EQ(list->GetItemText(0, 0), "[2001:db8::1]:990");
  tls->SetSelection(1);
  Click(sheet, wxID_CANCEL);
  ASSERT_TRUE(WaitUntilAllGone<TPSConf>());
  EXPECT_EQ(Settings.Tls, TlsMode::Never);
  EXPECT_EQ(TrustedCertificates().size(), 2u);

  sheet = open();
  ASSERT_NE(sheet, nullptr);
  tls = dynamic_cast<wxRadioBox*>(sheet->FindWindow(TlsModeChoice));
  list = dynamic_cast<wxListCtrl*>(sheet->FindWindow(CertificateList));
  ASSERT_EQ(list->GetItemCount(), 2);
  list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  Click(sheet, RevokeCertificateButton);
  tls->SetSelection(1);
  Click(sheet, wxID_OK);
  ASSERT_TRUE(WaitUntilAllGone<TPSConf>());
  EXPECT_EQ(Settings.Tls, TlsMode::Required);
  EXPECT_EQ(Saved("Tls"), "required");
  EXPECT_FALSE(IsTrustedCertificate("ftp.example.org:21", fingerprint(first)));
  EXPECT_TRUE(IsTrustedCertificate("[2001:db8::1]:990", fingerprint(second)));
  Settings.Tls = TlsMode::WhenOffered;
}

// Whether explored sites are kept in the index is a setting of its own tab.
TEST_F(ShellDialogs, IndexTabShowsAndStoresWhetherTheIndexIsKept) {
  {
    std::ofstream ini(SettingsPath());
    ini << "[Config]\nKeepIndex=0\n";
  }
  LoadSettings();
  ShowSettingsSheet(nullptr);
  TPSConf* sheet = WaitForOne<TPSConf>();
  ASSERT_NE(sheet, nullptr);
  auto* tabs = dynamic_cast<wxNotebook*>(sheet->GetBookCtrl());
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->GetPageText(3), "Index");
  auto* keep = dynamic_cast<wxCheckBox*>(sheet->FindWindow(KeepIndexBox));
  ASSERT_NE(keep, nullptr);
  EXPECT_FALSE(keep->GetValue());
  tabs->SetSelection(3);
  Drain();
  YieldUntil([] { return false; }, 300ms);
  EXPECT_TRUE(SaveWindowScreenshot(sheet, "settings_index_tab.png"));
  keep->SetValue(true);
  Click(sheet, wxID_OK);
  ASSERT_TRUE(WaitUntilAllGone<TPSConf>());
  EXPECT_EQ(Settings.KeepIndex, 1);
  EXPECT_EQ(Saved("KeepIndex"), "1");
}

// The crawl's bounds on the index tab and the fast start on the network tab
// show the settings in memory and are stored with OK, spaces around a number
// allowed as in the other boxes.
TEST_F(ShellDialogs, CrawlBoundsAndTheFastStartAreShownAndStored) {
  ShowSettingsSheet(nullptr);
  TPSConf* sheet = WaitForOne<TPSConf>();
  ASSERT_NE(sheet, nullptr);
  const char* const shown[] = {"8", "20000", "2000000", "30", "1", "0"};
  for (std::size_t i = 0; i < std::size(CrawlBoxes); ++i) {
    ASSERT_NE(Box(sheet, CrawlBoxes[i].controlId), nullptr) << i;
    EXPECT_EQ(Box(sheet, CrawlBoxes[i].controlId)->GetValue(), shown[i]) << i;
  }
  auto* fast = dynamic_cast<wxCheckBox*>(sheet->FindWindow(FastStartBox));
  ASSERT_NE(fast, nullptr);
  EXPECT_FALSE(fast->GetValue());
  auto* tabs = dynamic_cast<wxNotebook*>(sheet->GetBookCtrl());
  for (const auto& [tab, file] : {std::pair<int, const char*>{3, "settings_index_crawl.png"},
                                  std::pair<int, const char*>{1, "settings_network_fast.png"}}) {
    tabs->SetSelection(tab);
    Drain();
    wxTheApp->ProcessIdle();
    sheet->Refresh();
    sheet->Update();
    EXPECT_TRUE(SaveWindowScreenshot(sheet, file));
  }

  const char* const typed[] = {"64", " 1", "16000000", "1440 ", "4", "60000"};
  for (std::size_t i = 0; i < std::size(CrawlBoxes); ++i)
    Box(sheet, CrawlBoxes[i].controlId)->ChangeValue(typed[i]);
  fast->SetValue(true);
  Click(sheet, wxID_OK);
  ASSERT_TRUE(WaitUntilAllGone<TPSConf>());
  const std::array<int32_t, 6> stored = {64, 1, 16000000, 1440, 4, 60000};
  const char* const keys[] = {"CrawlDepth",   "CrawlFolders",  "CrawlEntries",
                              "CrawlMinutes", "CrawlSessions", "CrawlPause"};
  for (std::size_t i = 0; i < std::size(CrawlBoxes); ++i) {
    EXPECT_EQ((Settings.*CrawlBoxes[i].field).load(), stored[i]) << keys[i];
    EXPECT_EQ(Saved(keys[i]), std::to_string(stored[i])) << keys[i];
  }
  EXPECT_EQ(Settings.FastStart, 1);
  EXPECT_EQ(Saved("FastStart"), "1");

  ShowSettingsSheet(nullptr);
  sheet = WaitForOne<TPSConf>();
  ASSERT_NE(sheet, nullptr);
  fast = dynamic_cast<wxCheckBox*>(sheet->FindWindow(FastStartBox));
  ASSERT_NE(fast, nullptr);
  EXPECT_TRUE(fast->GetValue());
  EXPECT_EQ(Box(sheet, CrawlBoxes[2].controlId)->GetValue(), "16000000");
  fast->SetValue(false);
  Click(sheet, wxID_OK);
  ASSERT_TRUE(WaitUntilAllGone<TPSConf>());
  EXPECT_EQ(Saved("FastStart"), "0");
  std::filesystem::remove(SettingsPath());
  LoadSettings();
}

// Where downloads go and how many run are on a page of their own; a folder
// that is no whole path is refused there.
TEST_F(ShellDialogs, DownloadsTabShowsAndStoresItsSettings) {
  std::vector<std::string> said;
  SetMessageResponder([&](const MessageRequest& box) {
    said.push_back(box.text.utf8_string());
    return true;
  });
  ShowSettingsSheet(nullptr);
  TPSConf* sheet = WaitForOne<TPSConf>();
  ASSERT_NE(sheet, nullptr);
  auto* tabs = dynamic_cast<wxNotebook*>(sheet->GetBookCtrl());
  ASSERT_EQ(tabs->GetPageText(4), "Downloads");
  auto* page = dynamic_cast<DownloadsPage*>(tabs->GetPage(4));
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->FolderPicker()->GetPath(), "") << "the desktop's folder unless one is chosen";
  EXPECT_EQ(page->PerHostBox()->GetValue(), "2");
  EXPECT_EQ(page->AtOnceBox()->GetValue(), "4");
  EXPECT_FALSE(page->OpenBox()->GetValue());
  tabs->SetSelection(4);
  Drain();
  wxTheApp->ProcessIdle();
  sheet->Update();
  EXPECT_TRUE(SaveWindowScreenshot(sheet, "settings_downloads_tab.png"));

  page->FolderPicker()->SetPath("incoming");
  tabs->SetSelection(0);
  Click(sheet, wxID_OK);
  Drain();
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0], "The download folder must be a whole path, starting with /.");
  EXPECT_EQ(tabs->GetSelection(), 4);
  EXPECT_FALSE(std::filesystem::exists(SettingsPath()));

  page->FolderPicker()->SetPath("/srv/incoming");
  page->PerHostBox()->ChangeValue(" 3");
  page->AtOnceBox()->ChangeValue("8");
  page->OpenBox()->SetValue(true);
  Click(sheet, wxID_OK);
  ASSERT_TRUE(WaitUntilAllGone<TPSConf>());
  EXPECT_EQ(DownloadFolder(), "/srv/incoming");
  EXPECT_EQ(Saved("DownloadFolder"), "/srv/incoming");
  EXPECT_EQ(Settings.TransfersPerHost, 3);
  EXPECT_EQ(Saved("TransfersAtOnce"), "8");
  EXPECT_EQ(Settings.OpenOnDoubleClick, 1);
  SetMessageResponder(nullptr);
  std::filesystem::remove(SettingsPath());
  LoadSettings();
}

TEST_F(ShellDialogs, AboutDialogsAreColouredAndOpenTheHomePage) {
  LaunchRecorder launches;
  auto* mainDialog = new wxDialog(nullptr, wxID_ANY, "main");
  ShowAboutDialog(mainDialog);
  ShowAboutDialog(mainDialog);
  std::vector<TAbout*> abouts;
  ASSERT_TRUE(YieldUntil([&] { return (abouts = Open<TAbout>()).size() == 2; }));
  for (TAbout* about : abouts) {
    EXPECT_EQ(about->GetBackgroundColour(), wxColour(225, 220, 180));
    EXPECT_EQ(about->GetParent(), nullptr) << "ownerless";
  }
  mainDialog->Destroy();
  Drain();
  EXPECT_EQ(Open<TAbout>().size(), 2u) << "the asking window's end leaves them open";

  Click(abouts[0], 101);
  EXPECT_EQ(launches.Urls(), std::vector<std::string>{HomePageUrl()});
  EXPECT_EQ(Open<TAbout>().size(), 2u) << "the dialog stays open";

  abouts[0]->Close();
  Click(abouts[1], wxID_OK);
  EXPECT_TRUE(WaitUntilAllGone<TAbout>());
  EXPECT_EQ(launches.Urls().size(), 1u);
}

Tinfos* ShownNotice() {
  const std::vector<Tinfos*> open = Open<Tinfos>();
  return open.size() == 1 && open[0]->IsShown() ? open[0] : nullptr;
}

TEST_F(ShellDialogs, InfosShowsTheTextAndOnlyOkOpensTheHomePage) {
  const struct {
    const char* name;
    std::function<void(Tinfos*)> close;
    int result;
    bool launches;
  } cases[] = {
      {"ok", [](Tinfos* d) { PostClick(d, wxID_OK); }, wxID_OK, true},
      {"cancel", [](Tinfos* d) { PostClick(d, wxID_CANCEL); }, wxID_CANCEL, false},
      {"close box", [](Tinfos* d) { d->Close(); }, wxID_CANCEL, false},
  };
  for (const auto& c : cases) {
    LaunchRecorder launches;
    wxString shown;
    bool modal = false;
    RunWhen([] { return ShownNotice() != nullptr; },
            [&] {
              Tinfos* notice = ShownNotice();
              modal = notice->IsModal();
              if (wxTextCtrl* text = Box(notice, 200)) shown = text->GetValue();
              c.close(notice);
            });
    EXPECT_EQ(Tinfos::Run("Version 0.32\r\nis out\r\r\n"), c.result) << c.name;
    EXPECT_TRUE(modal) << c.name;
    EXPECT_EQ(shown, "Version 0.32\nis out\n") << c.name;
    EXPECT_TRUE(WaitUntilAllGone<Tinfos>()) << c.name;
    EXPECT_EQ(launches.Urls().size(), c.launches ? 1u : 0u) << c.name;
  }
}

// A notice that arrives while another dialog runs modally (the first search)
// goes above it in a modal loop of its own, so that it takes the input; the
// dialog under it goes on once the notice has closed.
TEST_F(ShellDialogs, NoticeOverAModalDialogTakesInputAndCloses) {
  auto* search = new wxDialog(nullptr, wxID_ANY, "search");
  new wxButton(search, wxID_CANCEL, "Cancel");
  std::atomic<bool> noticeClosed{false};
  std::thread check;
  bool noticeModal = false;
  wxWindow* noticeOwner = nullptr;
  bool searchStillModal = false;
  search->CallAfter([&] {
    auto view = std::make_shared<WxVersionCheckView>(search);
    check = std::thread([view, &noticeClosed] {
      view->ShowNotice("Version 0.32\r\n");
      noticeClosed = true;
    });
  });
  RunWhen([] { return ShownNotice() != nullptr; },
          [&] {
            Tinfos* notice = ShownNotice();
            noticeModal = notice->IsModal();
            noticeOwner = notice->GetParent();
            PostClick(notice, wxID_CANCEL);
          });
  RunWhen([&] { return noticeClosed.load(); },
          [&] {
            searchStillModal = search->IsModal();
            PostClick(search, wxID_CANCEL);
          });
  EXPECT_EQ(search->ShowModal(), wxID_CANCEL);
  if (check.joinable()) check.join();
  EXPECT_TRUE(noticeClosed);
  EXPECT_TRUE(noticeModal);
  EXPECT_EQ(noticeOwner, search);
  EXPECT_TRUE(searchStillModal);
  search->Destroy();
}

TEST_F(ShellDialogs, CounterReachesTheMainDialogWhileItExists) {
  auto* mainDialog = new wxDialog(nullptr, wxID_ANY, "main");
  auto* field = new wxStaticText(mainDialog, 11108, "-");
  auto view = std::make_shared<WxVersionCheckView>(mainDialog);
  std::thread([&] { view->ShowCounter(42); }).join();
  EXPECT_TRUE(YieldUntil([&] { return field->GetLabel() == "42"; }));

  mainDialog->Destroy();
  Drain();
  // A number that arrives after the window has gone is dropped.
  std::thread([&] { view->ShowCounter(7); }).join();
  Drain();
}

// Last: the check's thread is never stopped and outlives the test.
TEST_F(ShellDialogs, StartedCheckShowsTheNoticeThenTheCounter) {
  qbtest::HttpTestServer server;
  ASSERT_TRUE(server.Listening());
  server.Serve("/notice.txt", qbtest::HttpReply::Page("Version 0.32\n"));
  server.Serve(CounterPath, qbtest::HttpReply::Page("42"));
  {
    std::ofstream ini(SettingsPath());
    ini << "[Hosts]\nNoticeUrl=" << server.Url("/notice.txt")
        << "\nCounterHost=" << server.HostPort() << "\n";
  }
  auto* mainDialog = new wxDialog(nullptr, wxID_ANY, "main");
  auto* field = new wxStaticText(mainDialog, 11108, "-");
  wxString shown = "(no notice)";
  wxString counterUnderNotice;
  RunWhen([] { return ShownNotice() != nullptr; },
          [&] {
            shown = Box(ShownNotice(), 200)->GetValue();
            counterUnderNotice = field->GetLabel();
            PostClick(ShownNotice(), wxID_CANCEL);
          });
  StartVersionCheck(mainDialog);
  EXPECT_TRUE(YieldUntil([&] { return field->GetLabel() == "42"; }));
  EXPECT_EQ(shown, "Version 0.32\n");
  EXPECT_EQ(counterUnderNotice, "-") << "the counter waits for the notice to close";
  std::ifstream saved(dir_ / NoticeFileName, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(saved)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "Version 0.32\r\n");
}

}  // namespace

int main(int argc, char** argv) { return qbtest::RunGuiTestsWithUiDoor(argc, argv); }

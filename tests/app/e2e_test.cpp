// End to end: the program's own application object, frame and dialogs in this
// process, against the testbed's engines, web server and real FTP sites. A
// script thread plays the user while the main thread runs the event loop.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/listctrl.h>
#include <wx/log.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_frame.h"
#include "core/settings.h"
#include "core/site_table.h"
#include "core/ui_door.h"
#include "explore/exploration_scheduler.h"
#include "mainwin/list_logic.h"
#include "mainwin/main_dialog.h"
#include "resources/resource_module.h"
#include "search/search_run.h"
#include "search/search_view.h"
#include "searchwin/search_dialog.h"
#include "tests/support/gui_driver.h"
#include "tests/support/screenshot.h"
#include "ui/message_box.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using qbtest::OnUi;
using qbtest::PressButton;
using qbtest::WaitOnUi;
using qbtest::WaitUntil;

std::string buildDir;
std::string workDir;  // the program's directory in this test
pid_t testbed = -1;

wxWindow* SearchControl(int id) {
  wxDialog* dialog = OpenSearchDialog();
  return dialog ? dialog->FindWindow(id) : nullptr;
}

bool SearchEnabled(int id) {
  wxWindow* w = SearchControl(id);
  return w && w->IsEnabled();
}

std::string FieldText(int id) {
  wxWindow* w = MainDialog ? MainDialog->FindWindow(id) : nullptr;
  if (auto* text = dynamic_cast<wxTextCtrl*>(w)) return text->GetValue().utf8_string();
  return w ? w->GetLabel().utf8_string() : std::string("<missing>");
}

// Repaints the window, lets the event loop draw it, then grabs it.
void ScreenshotAfterPaint(wxWindow* window, wxWindow* painted, const std::string& name) {
  auto paints = std::make_shared<std::atomic<int>>(0);
  OnUi<bool>([&] {
    painted->Bind(wxEVT_PAINT, [paints](wxPaintEvent& event) {
      ++*paints;
      event.Skip();
    });
    window->Raise();
    window->Refresh();
    return true;
  });
  WaitUntil([&] { return *paints > 0; }, 5s);
  OnUi<bool>([&] { return SaveWindowScreenshot(window, buildDir + "/" + name); });
}

std::map<std::string, std::string> ReadExpectations() {
  std::map<std::string, std::string> out;
  std::ifstream in(workDir + "testbed/expect.tsv");
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t tab = line.find('\t');
    if (tab != std::string::npos) out[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return out;
}

std::string StatusName(int32_t status) {
  switch (status) {
    case Waiting:
      return "Waiting";
    case Ok:
      return "Ok";
    case Failed:
      return "Failed";
    case Exploring:
      return "Exploring";
    case Refused:
      return "Refused";
  }
  return "?";
}

struct SiteSnapshot {
  std::string url;
  int32_t status;
  bool dropped;
};

std::vector<SiteSnapshot> Sites() {
  std::vector<SiteSnapshot> out;
  std::lock_guard<std::mutex> hold(SiteTableLock);
  for (int i = 0; i < SiteTable.count; ++i) {
    if (const auto& entry = SiteTable.slots[i]) {
      out.push_back({entry->url, entry->status, entry->dropped});
    }
  }
  return out;
}

bool ExplorationOver() {
  const auto sites = Sites();
  if (sites.empty() || ActiveSessions != 0) return false;
  for (const auto& site : sites) {
    if (site.status == Waiting || site.status == Exploring) return false;
  }
  return true;
}

// The program's files as they lie beside the executable, in a folder of the test's own.
void PrepareProgramFolder() {
  char pattern[] = "/tmp/qb_e2e_XXXXXX";
  workDir = std::string(mkdtemp(pattern)) + "/";
  std::error_code ignored;
  fs::create_symlink(buildDir + "/bin/ZEVO.avi", workDir + "ZEVO.avi", ignored);
  ExeDir = workDir;
  // A fresh index each run: an earlier run's last results would fill the table.
  setenv("XDG_DATA_HOME", (workDir + "data").c_str(), 1);
  if (chdir(workDir.c_str()) != 0) std::perror("chdir");
  // The testbed's notice as the last run saved it, so no notice window covers the
  // screenshots.
  std::ofstream(workDir + "version.txt", std::ios::binary)
      << "Quillbrook testbed\r\n"
         "The search engines, the product web server and the FTP sites of this run\r\n"
         "are loopback stand-ins started by the testbed.\r\n";
}

bool StartTestbed() {
  const char* source = std::getenv("QB_SOURCE_DIR");
  if (!source) return false;
  const std::string script = std::string(source) + "/testbed/testbed.py";
  const std::string state = workDir + "testbed";
  const std::string ini = workDir + SettingsFileName;
  const std::string ready = workDir + "ready.json";
  const pid_t parent = getpid();
  testbed = fork();
  if (testbed == 0) {
    // An aborted test run must not leave its servers behind.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(0);
    const std::string log = workDir + "testbed.out";
    if (FILE* out = std::freopen(log.c_str(), "w", stdout)) dup2(fileno(out), 2);
    execl("/usr/bin/python3", "python3", script.c_str(), "--state-dir", state.c_str(), "--ini",
          ini.c_str(), "--ftp-port", "0", "--ready-file", ready.c_str(), nullptr);
    _exit(127);
  }
  return testbed > 0 && WaitUntil([&] { return fs::exists(ready); }, 30s);
}

void StopTestbed() {
  if (testbed <= 0) return;
  kill(testbed, SIGTERM);
  waitpid(testbed, nullptr, 0);
  testbed = -1;
}

TEST(EndToEnd, SearchExploreAndBrowseAgainstTheTestbed) {
  ASSERT_TRUE(MainDialog != nullptr);
  std::vector<wxString> asked;
  std::mutex askedLock;
  SetMessageResponder([&](const MessageRequest& box) {
    std::lock_guard<std::mutex> hold(askedLock);
    asked.push_back(box.text);
    return true;
  });

  std::atomic<bool> done{false};
  std::thread user([&] {
    struct Finish {
      std::atomic<bool>& done;
      ~Finish() {
        PostToUi([] {
          if (wxDialog* search = OpenSearchDialog()) search->EndModal(wxID_CANCEL);
          wxTheApp->ExitMainLoop();
        });
        done = true;
      }
    } finish{done};

    // Start-up opens a new search by itself.
    ASSERT_TRUE(WaitOnUi([] { return OpenSearchDialog() && OpenSearchDialog()->IsModal(); }, 30s));
    ASSERT_TRUE(OnUi<bool>([] {
      auto* term = dynamic_cast<wxTextCtrl*>(SearchControl(TermField));
      if (!term) return false;
      term->ChangeValue("MP3");
      PressButton(SearchControl(200));
      return true;
    }));
    ASSERT_TRUE(WaitOnUi([] { return !SearchRunActive && SearchEnabled(wxID_OK); }, 120s));
    wxDialog* search = OnUi<wxDialog*>([] { return OpenSearchDialog(); });
    ScreenshotAfterPaint(search, search, "e2e_search_dialog.png");
    EXPECT_EQ(GetLastTerm(), "mp3");
    OnUi<bool>([] {
      PressButton(SearchControl(wxID_OK));
      return true;
    });

    // Every site ends with the status its folder calls for.
    ASSERT_TRUE(WaitUntil(ExplorationOver, 240s));
    const auto expect = ReadExpectations();
    ASSERT_FALSE(expect.empty());
    std::set<std::string> statuses;
    for (const auto& site : Sites()) {
      const auto it = expect.find(site.url);
      ASSERT_NE(it, expect.end()) << "unexpected site " << site.url;
      const std::string shown = site.dropped ? "Replaced" : StatusName(site.status);
      EXPECT_EQ(shown, it->second) << site.url;
      statuses.insert(shown);
    }
    for (const char* status : {"Ok", "Refused", "Failed", "Replaced"}) {
      EXPECT_EQ(statuses.count(status), 1u) << "no site ended " << status;
    }

    // The site list shows each site with its status icon.
    ASSERT_TRUE(WaitOnUi(
        [] {
          wxListCtrl* list = MainDialog->SiteList();
          for (long row = 0; row < list->GetItemCount(); ++row) {
            auto site = SiteAt(MainDialog->SiteOfRow(row));
            wxListItem item;
            item.SetId(row);
            item.SetMask(wxLIST_MASK_IMAGE);
            if (!site || !list->GetItem(item) || item.GetImage() != site->status) return false;
          }
          return list->GetItemCount() > 0;
        },
        5s));

    // Selecting a site shows its files with their sizes and counts.
    int port = 0;
    for (const auto& [url, status] : expect) {
      if (url.rfind("ftp://127.0.0.2:", 0) == 0) port = std::atoi(url.c_str() + 16);
    }
    const std::string chosen = "ftp://127.0.0.2:" + std::to_string(port) + "/pub/music/";
    std::map<std::string, std::string> onDisk;
    for (const auto& file : fs::directory_iterator(workDir + "testbed/ftp/127.0.0.2/pub/music")) {
      char size[16];
      onDisk[file.path().filename().string()] =
          FormatFileSize(static_cast<int64_t>(file.file_size()), size, sizeof size);
    }
    ASSERT_TRUE(OnUi<bool>([&] {
      wxListCtrl* list = MainDialog->SiteList();
      for (long row = 0; row < list->GetItemCount(); ++row) {
        auto site = SiteAt(MainDialog->SiteOfRow(row));
        if (site && chosen == site->url) {
          list->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                             wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
          list->EnsureVisible(row);
          return true;
        }
      }
      return false;
    })) << chosen;
    ASSERT_TRUE(WaitOnUi(
        [&] { return MainDialog->FileList()->GetItemCount() == static_cast<int>(onDisk.size()); },
        5s));
    const auto shown = OnUi<std::map<std::string, std::string>>([] {
      std::map<std::string, std::string> rows;
      wxListCtrl* files = MainDialog->FileList();
      for (long row = 0; row < files->GetItemCount(); ++row) {
        rows[files->GetItemText(row, 0).utf8_string()] = files->GetItemText(row, 2).utf8_string();
      }
      return rows;
    });
    EXPECT_EQ(shown, onDisk);
    EXPECT_EQ(OnUi<std::string>([] { return FieldText(11306); }), std::to_string(onDisk.size()));
    EXPECT_EQ(OnUi<std::string>([] { return FieldText(11303); }), "0");
    ScreenshotAfterPaint(MainDialog->GetParent(), MainDialog, "e2e_main_window.png");

    // The term reaches the report log once the (shortened) delay has passed.
    const std::string log = workDir + "testbed/reports.log";
    EXPECT_TRUE(WaitUntil(
        [&] {
          std::ifstream in(log);
          std::stringstream text;
          text << in.rdbuf();
          return text.str().find(" mp3\n") != std::string::npos;
        },
        20s));
    std::lock_guard<std::mutex> hold(askedLock);
    EXPECT_TRUE(asked.empty()) << "message " << (asked.empty() ? wxString() : asked[0]);
  });

  wxTheApp->OnRun();
  qbtest::YieldUntil([&] { return done.load(); }, 10min);
  user.join();
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const char* build = std::getenv("QB_BUILD_DIR");
  if (!build) {
    std::fprintf(stderr, "QB_BUILD_DIR is not set\n");
    return 2;
  }
  buildDir = build;
  PrepareProgramFolder();
  if (!StartTestbed()) {
    std::fprintf(stderr, "the testbed did not start; see %stestbed.out\n", workDir.c_str());
    StopTestbed();
    return 2;
  }
  std::string error;
  if (!ResourceModule::Load(buildDir + "/bin/", &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    StopTestbed();
    return 2;
  }
  LoadSettings();
  // The report would come 40 s after OK; the test waits 2 s instead.
  SetSearchRunTimings({600000ms, 1000ms, 2000ms});

  wxApp::SetInstance(new DApp);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "cannot start the window toolkit\n");
    StopTestbed();
    return 2;
  }
  wxInitAllImageHandlers();
  delete wxLog::SetActiveTarget(new wxLogStderr);
  if (!wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "the application did not start\n");
    StopTestbed();
    return 2;
  }
  const int rc = RUN_ALL_TESTS();
  StopTestbed();
  std::error_code ignored;
  fs::remove_all(workDir, ignored);
  std::fflush(nullptr);
  // Workers and the version check are not torn down, as in the program.
  std::_Exit(rc);
}

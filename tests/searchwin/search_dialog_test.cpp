// The search dialog under a real window toolkit: a script thread drives the
// dialog through the UI door while the main thread runs its modal loop.
#include "searchwin/search_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/listbox.h>
#include <wx/log.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/settings.h"
#include "core/site_table.h"
#include "core/ui_door.h"
#include "explore/exploration_scheduler.h"
#include "index/index_db.h"
#include "net/https_fetcher.h"
#include "resources/resource_module.h"
#include "search/engine.h"
#include "search/engine_set.h"
#include "search/explored_sites.h"
#include "search/search_run.h"
#include "search/search_view.h"
#include "tests/index/listed_entry.h"
#include "tests/index/listed_folder.h"
#include "tests/index/temp_folder.h"
#include "tests/support/gui_driver.h"
#include "tests/support/http_test_server.h"
#include "tests/support/https_test_server.h"
#include "tests/support/screenshot.h"
#include "ui/avi_player.h"
#include "ui/message_box.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using qbtest::HttpReply;
using qbtest::HttpTestServer;
using qbtest::OnUi;

std::string buildDir;

wxWindow* Control(int id) {
  wxDialog* dialog = OpenSearchDialog();
  return dialog ? dialog->FindWindow(id) : nullptr;
}

// UI thread: whether a control of the open dialog is enabled.
bool EnabledNow(int id) {
  wxWindow* w = Control(id);
  return w && w->IsEnabled();
}

// Polls a condition on the UI thread until it holds or the bound passes.
bool WaitUntil(std::function<bool()> condition, std::chrono::milliseconds bound = 10s) {
  return qbtest::WaitOnUi(std::move(condition), bound);
}

bool Enabled(int id) {
  return OnUi<bool>([id] { return EnabledNow(id); });
}

bool Shown(int id) {
  return OnUi<bool>([id] {
    wxWindow* w = Control(id);
    return w && w->IsShown();
  });
}

bool Ticked(int id) {
  return OnUi<bool>([id] {
    auto* box = dynamic_cast<wxCheckBox*>(Control(id));
    return box && box->GetValue();
  });
}

std::string Text(int id) {
  return OnUi<std::string>([id] {
    auto* field = dynamic_cast<wxTextCtrl*>(Control(id));
    return field ? field->GetValue().ToStdString() : std::string("<missing>");
  });
}

std::vector<std::string> Lines(int id) {
  return OnUi<std::vector<std::string>>([id] {
    std::vector<std::string> out;
    if (auto* list = dynamic_cast<wxListBox*>(Control(id))) {
      for (const wxString& line : list->GetStrings()) out.push_back(line.ToStdString());
    }
    return out;
  });
}

wxColour Background(int id) {
  return OnUi<wxColour>([id] {
    wxWindow* w = id ? Control(id) : OpenSearchDialog();
    return w ? w->GetBackgroundColour() : wxColour();
  });
}

// Clicks a button as the user would: only when it is enabled. Several clicks
// come in one turn of the event loop, before any update can disable it.
bool Click(int id, int times = 1) {
  return OnUi<bool>([id, times] {
    wxWindow* button = Control(id);
    if (!button || !button->IsEnabled()) return false;
    for (int i = 0; i < times; ++i) qbtest::PressButton(button);
    return true;
  });
}

void SetBox(int id, bool ticked) {
  OnUi<bool>([id, ticked] {
    auto* box = dynamic_cast<wxCheckBox*>(Control(id));
    if (!box) return false;
    box->SetValue(ticked);
    wxCommandEvent changed(wxEVT_CHECKBOX, id);
    changed.SetEventObject(box);
    changed.SetInt(ticked);
    box->GetEventHandler()->ProcessEvent(changed);
    return true;
  });
}

void SetTerm(const std::string& term) {
  OnUi<bool>([term] {
    auto* field = dynamic_cast<wxTextCtrl*>(Control(TermField));
    if (field) field->ChangeValue(wxString::FromUTF8(term.c_str()));
    return field != nullptr;
  });
}

AviPlayer* Animation() { return dynamic_cast<AviPlayer*>(Control(300)); }

bool Playing() {
  return OnUi<bool>([] { return Animation() && Animation()->IsPlaying(); });
}

struct Asked {
  int id;
  std::string caption;
  MessageStyle style;
};

class SearchDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.EnginePause = 0;  // one local server stands for every engine host
    ASSERT_TRUE(server_.Listening());
    server_.SetFallback(HttpReply::Page("<html><body>no results</body></html>"));
    std::ofstream ini(ExeDir + SettingsFileName);
    ini << "[Hosts]\n";
    for (int i = 0; i < EngineCount; ++i)
      ini << BuiltinEngines()[i].name << "=" << server_.HostPort() << "\n";
    ini << "ReportHost=" << server_.HostPort() << "\n";
    ini.close();
    ClearSites();
    for (auto& enabled : EngineEnabled) enabled = true;
    ExploredSitesEnabled = true;
    // No test reads the index of the user running it.
    SetIndexReaderSource([](std::string& error) {
      error = "no index";
      return std::unique_ptr<IndexDb>();
    });
    AutoContinue = false;
    SearchRunning = false;
    SetSearchRunTimings({600000ms, 1000ms, 100ms});
    SetMessageResponder([this](const MessageRequest& box) {
      // The run's messages by their string numbers.
      int id = -1;
      for (int n : {KeepSitesQuestion, TermNeededMessage, NothingFoundMessage})
        if (ResourceModule::String(n) == box.text) id = n;
      std::lock_guard<std::mutex> hold(lock_);
      asked_.push_back({id, box.caption.utf8_string(), box.style});
      return answer_;
    });
  }
  void TearDown() override {
    SetMessageResponder(nullptr);
    SetIndexReaderSource(nullptr);
    std::filesystem::remove(EngineFilePath());
    SetActiveEngines(BuiltinEngines());
  }

  // Runs the dialog on this (the UI) thread while script drives it; a script
  // that returns early still gets the dialog closed. Once the dialog is closed
  // the UI thread keeps serving the script's questions until it ends.
  bool RunDialog(const std::function<void()>& script) {
    std::atomic<bool> done{false};
    std::thread driver([&] {
      if (WaitUntil([] { return OpenSearchDialog() && OpenSearchDialog()->IsModal(); })) script();
      OnUi<bool>([] {
        if (wxDialog* dialog = OpenSearchDialog()) dialog->EndModal(wxID_CANCEL);
        return true;
      });
      done = true;
    });
    const bool ok = RunSearchDialog(nullptr);
    qbtest::YieldUntil([&] { return done.load(); }, 10min);
    driver.join();
    return ok;
  }

  // A page of engine 0 (anchor links) for its first page value and a prepared term.
  void ServeAnchorPage(const std::string& term, const std::vector<std::string>& urls,
                       std::chrono::milliseconds delay = 0ms) {
    std::string body = "<html><body>";
    for (const auto& url : urls) body += "<a href=\"" + url + "\">x</a>\n";
    body += "</body></html>";
    const std::string target =
        EngineRequestFor(BuiltinEngines()[0], "h", term, BuiltinEngines()[0].firstPage)
            .url.substr(8);
    HttpReply reply =
        HttpReply::Raw("").Then(delay, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + body);
    server_.Serve(target, reply);
  }
  std::string AnchorTarget(const std::string& term, int page) {
    return EngineRequestFor(BuiltinEngines()[0], "h", term, page).url.substr(8);
  }

  std::vector<Asked> AskedSoFar() {
    std::lock_guard<std::mutex> hold(lock_);
    return asked_;
  }
  bool WaitForAsked(std::size_t count) {
    return qbtest::WaitUntil([&] { return AskedSoFar().size() >= count; }, 10s);
  }
  void Answer(bool yes) {
    std::lock_guard<std::mutex> hold(lock_);
    answer_ = yes;
  }

  HttpTestServer server_;
  std::mutex lock_;
  std::vector<Asked> asked_;
  bool answer_ = true;
};

const int DoneMarks[] = {240, 242, 241, 108, 125};
const int FailMarks[] = {110, 112, 111, 113, 115};
const int FoundListIds[] = {104, 121, 114, 128, 122};

TEST_F(SearchDialogTest, OpensWithTheBoxesFromTheSharedFlags) {
  // The first opening: every engine ticked, auto-continue not.
  RunDialog([&] {
    for (int i = 0; i < EngineCount; ++i) EXPECT_TRUE(Ticked(EngineControlIds[i].checkBox)) << i;
    EXPECT_FALSE(Ticked(AutoContinueBox));
  });
  EngineEnabled[2] = false;
  AutoContinue = true;
  RunDialog([&] {
    for (int i = 0; i < EngineCount; ++i)
      EXPECT_EQ(Ticked(EngineControlIds[i].checkBox), i != 2) << i;
    EXPECT_TRUE(Ticked(AutoContinueBox));
  });
}

TEST_F(SearchDialogTest, OpensWithItsColoursAnimationAndButtons) {
  const bool ok = RunDialog([&] {
    EXPECT_EQ(Background(0), wxColour(225, 220, 180));
    EXPECT_EQ(Background(1200), wxColour(170, 230, 240));
    EXPECT_EQ(Background(SiteCountField), wxColour(170, 230, 240));
    EXPECT_NE(Background(TermField), wxColour(170, 230, 240));
    for (int id : FoundListIds) EXPECT_EQ(Background(id), wxColour(240, 255, 255)) << id;
    for (int id : DoneMarks) EXPECT_FALSE(Shown(id)) << id;
    EXPECT_GT(OnUi<int>([] { return Animation() ? Animation()->FrameCount() : -1; }), 0);
    EXPECT_FALSE(Playing());
    EXPECT_TRUE(WaitUntil([] { return EnabledNow(200) && !EnabledNow(178); }));
    EXPECT_FALSE(Enabled(wxID_OK));  // nothing found yet
  });
  EXPECT_FALSE(ok);
}

TEST_F(SearchDialogTest, UntickingAnEngineGreysItsFoundList) {
  RunDialog([&] {
    SetBox(118, false);
    EXPECT_FALSE(Enabled(122));
    EXPECT_EQ(Background(122), wxColour(192, 192, 192));
    EXPECT_TRUE(Enabled(104));
    SetBox(118, true);
    EXPECT_TRUE(Enabled(122));
    EXPECT_EQ(Background(122), wxColour(240, 255, 255));
  });
}

TEST_F(SearchDialogTest, StartWithAnEmptyTermShows106AndStartsNothing) {
  RunDialog([&] {
    ASSERT_TRUE(Click(200));
    ASSERT_TRUE(WaitForAsked(1));
    EXPECT_EQ(AskedSoFar()[0].id, TermNeededMessage);
    EXPECT_EQ(AskedSoFar()[0].caption, DefaultCaption) << "never an empty title";
    EXPECT_EQ(AskedSoFar()[0].style, MessageStyle::Information);
    EXPECT_FALSE(SearchRunActive);
    EXPECT_TRUE(server_.Requests().empty());
  });
}

TEST_F(SearchDialogTest, RunFindingNothingShows107AndStaysOpen) {
  RunDialog([&] {
    SetTerm("nothing here");
    ASSERT_TRUE(Click(200));
    ASSERT_TRUE(WaitForAsked(1));
    EXPECT_EQ(AskedSoFar()[0].id, NothingFoundMessage);
    EXPECT_EQ(AskedSoFar()[0].caption, "FTP-ZEVO");
    EXPECT_EQ(AskedSoFar()[0].style, MessageStyle::Exclamation);
    EXPECT_TRUE(OnUi<bool>([] { return OpenSearchDialog() && OpenSearchDialog()->IsModal(); }));
    for (int id : DoneMarks) EXPECT_TRUE(Shown(id)) << id;
    EXPECT_TRUE(WaitUntil([] { return EnabledNow(200); }));
    EXPECT_FALSE(Enabled(wxID_OK));
  });
}

TEST_F(SearchDialogTest, ASecondStartClickWhileTheRunStartsStopsItInsteadOfStartingAnother) {
  RunDialog([&] {
    SetTerm("nothing here");
    ASSERT_TRUE(Click(200, 2));  // the second before the run can have disabled Start
    EXPECT_FALSE(SearchRunning);
    // Whatever the one run got to do, it ends once.
    ASSERT_TRUE(WaitUntil([] { return EnabledNow(200); }));
    qbtest::WaitUntil([&] { return AskedSoFar().size() >= 2; }, 1s);
    EXPECT_LE(AskedSoFar().size(), 1u);
    EXPECT_LE(server_.Requests().size(), static_cast<std::size_t>(EngineCount));
  });
}

TEST_F(SearchDialogTest, LongTermIsReadUpTo79BytesWithoutSplittingACharacter) {
  std::string accented;
  for (int i = 0; i < 40; ++i) accented += "\xC3\xA9";  // 80 bytes of UTF-8
  RunDialog([&] {
    SetTerm("x" + accented);
    ASSERT_TRUE(Click(200));
    ASSERT_TRUE(WaitForAsked(1));
    EXPECT_EQ(GetLastTerm(), "x" + accented.substr(0, 78));
    SetTerm(accented);
    ASSERT_TRUE(WaitUntil([] { return EnabledNow(200); }));
    ASSERT_TRUE(Click(200));
    ASSERT_TRUE(WaitForAsked(2));
    EXPECT_EQ(GetLastTerm(), accented.substr(0, 78));
  });
}

TEST_F(SearchDialogTest, StopEnablesOkWhileEnginesFinishTheirPage) {
  ServeAnchorPage("zevo", {"ftp://127.0.0.2/pub/a.zip", "ftp://127.0.0.3/b/"});
  // The second page keeps the engine busy after Stop, until the test has seen that.
  const auto secondPage = std::make_shared<qbtest::HttpGate>();
  server_.Serve(AnchorTarget("zevo", BuiltinEngines()[0].firstPage + BuiltinEngines()[0].pageStep),
                HttpReply::Raw("HTTP/1.1 200 OK\r\n\r\n<html><body>"
                               "<a href=\"ftp://127.0.0.4/c/\">c</a></body></html>")
                    .After(secondPage));
  RunDialog([&] {
    SetBox(AutoContinueBox, true);
    SetTerm("zevo");
    ASSERT_TRUE(Click(200));
    ASSERT_TRUE(WaitUntil([] { return EnabledNow(178) && !EnabledNow(200); }));
    ASSERT_TRUE(WaitUntil([] { return SiteTable.count == 2; }));
    EXPECT_FALSE(Enabled(wxID_OK));
    EXPECT_TRUE(Playing());
    EXPECT_TRUE(Ticked(AutoContinueBox));
    OnUi<bool>([] {
      return SaveWindowScreenshot(OpenSearchDialog(), buildDir + "/search_dialog_running.png");
    });
    ASSERT_TRUE(Click(178));
    EXPECT_FALSE(Ticked(AutoContinueBox));
    EXPECT_FALSE(Playing());
    EXPECT_TRUE(WaitUntil([] { return EnabledNow(wxID_OK); }));
    EXPECT_TRUE(SearchRunActive);  // the engine still reads its second page
    secondPage->Open();
    EXPECT_TRUE(WaitUntil([] { return EnabledNow(200); }));
    EXPECT_TRUE(Shown(240));
    EXPECT_EQ(Lines(104), (std::vector<std::string>{"ftp://127.0.0.2/pub/", "ftp://127.0.0.3/b/",
                                                    "ftp://127.0.0.4/c/"}));
    EXPECT_EQ(Text(1200), "3");
    EXPECT_EQ(Text(1300), "3");
    EXPECT_EQ(Text(SiteCountField), "3");
    EXPECT_TRUE(Enabled(wxID_OK));
  });
}

TEST_F(SearchDialogTest, RunWithAutoContinueClosesWithOkAboutASecondLaterAndReports) {
  ServeAnchorPage("%22zevo+player%22", {"ftp://127.0.0.2/pub/zevo-player.zip"});
  // The second is counted from the click: the run's end is seen only some time
  // after it happens, later still on a loaded machine.
  Clock::time_point clicked;
  const auto start = Clock::now();
  const bool ok = RunDialog([&] {
    SetTerm("\"Zevo Player\"");
    SetBox(AutoContinueBox, true);
    clicked = Clock::now();
    ASSERT_TRUE(Click(200));
    ASSERT_TRUE(WaitUntil([] { return !SearchRunActive && SiteTable.count == 1; }));
    EXPECT_EQ(Lines(104), std::vector<std::string>{"ftp://127.0.0.2/pub/"});
    EXPECT_EQ(Text(1200), "1");
    EXPECT_EQ(Text(SiteCountField), "1");
    for (int id : DoneMarks) EXPECT_TRUE(Shown(id)) << id;
    for (int id : FailMarks) EXPECT_FALSE(Shown(id)) << id;
    EXPECT_TRUE(WaitUntil([] { return OpenSearchDialog() == nullptr; }, 5s));
  });
  const auto closed = Clock::now();
  EXPECT_TRUE(ok);
  EXPECT_TRUE(AskedSoFar().empty());
  EXPECT_TRUE(AutoContinue);
  EXPECT_GE(closed - clicked, 1000ms);
  EXPECT_LT(closed - start, 60s) << "closed by the auto-continue, not the engines' wait";
  EXPECT_EQ(GetLastTerm(), "\"zevo player\"");
  const std::string report = "/addtop10.php3?requete=zevo+player";
  EXPECT_TRUE(qbtest::WaitUntil(
      [&] {
        const auto targets = server_.Targets();
        return std::find(targets.begin(), targets.end(), report) != targets.end();
      },
      5s));
}

TEST_F(SearchDialogTest, SecondStartWithSitesAsks105AndNoEmptiesTheTable) {
  ServeAnchorPage("zevo", {"ftp://127.0.0.2/pub/zevo.zip"});
  RunDialog([&] {
    SetTerm("zevo");
    ASSERT_TRUE(Click(200));
    ASSERT_TRUE(WaitUntil([] { return !SearchRunActive && SiteTable.count == 1; }));
    ASSERT_TRUE(WaitUntil([] { return EnabledNow(200); }));
    Answer(false);
    SetTerm("nothing here");
    ASSERT_TRUE(Click(200));
    // The start empties the marks, counters and lists before anything is asked.
    EXPECT_TRUE(Lines(104).empty());
    ASSERT_TRUE(WaitForAsked(2));
    const auto asked = AskedSoFar();
    EXPECT_EQ(asked[0].id, KeepSitesQuestion);
    EXPECT_EQ(asked[0].caption, "Quillbrook");
    EXPECT_EQ(asked[0].style, MessageStyle::Question);
    EXPECT_EQ(asked[1].id, NothingFoundMessage);
    EXPECT_EQ(SiteTable.count, 0);
    EXPECT_EQ(Text(1200), "0");
    EXPECT_EQ(Text(1300), "0");
  });
}

// An engine file that leaves AnchorEngine out and adds engines of its own: the
// template's row of the one is hidden and it is never asked, each other gets a
// row built for it, labelled with its name, which a run fills from its pages,
// over HTTP and over HTTPS with a certificate the test trusts.
TEST_F(SearchDialogTest, EngineFileRowsFollowTheFileAndExtraEnginesFindSites) {
  server_.Serve("/generic?q=zevo&n=5",
                HttpReply::Page("<html><p>Mirrors: ftp://127.0.0.2/pub/zevo.zip and "
                                "<a href='ftp://127.0.0.3/zevo/'>this</a></p></html>"));
  qbtest::HttpsTestServer https(qbtest::HttpsTestServer::Pages{
      {"/secure?q=zevo&n=1", "{\"hits\":[\"ftp://127.0.0.4/mirror/zevo.zip\"]}"},
      {"/devices?q=zevo&page=1",
       R"({"matches":[{"ip_str":"127.0.0.6","port":2121},{"ip_str":"127.0.0.7"}]})"}});
  if (!https.Running())
    std::fprintf(stderr, "no HTTPS test server: the HTTPS engine is left out\n");
  {
    std::ofstream file(EngineFilePath());
    file << "[ClassLsEngine]\n[FormEngine]\n[AdvancedEngine]\n[PathEngine]\n"
         << "[Local Finder]\nUrl=" << server_.Url("/generic?q={term}&n={page}")
         << "\nRule=Generic\nFirstPage=5\nPageLimit=1\n";
    if (https.Running())
      file << "[Secure Finder]\nUrl=" << https.Url("/secure?q={term}&n={page}")
           << "\nRule=Generic\nFirstPage=1\nPageLimit=1\n"
           << "[Device Finder]\nUrl=" << https.Url("/devices?q={term}&page={page}")
           << "\nRule=Json\nItems=matches\nSite=ftp://{ip_str}:{port}/\nFirstPage=1\n"
              "PageLimit=1\n";
  }
  EXPECT_TRUE(LoadActiveEngines().empty());
  if (https.Running()) setenv(HttpsCaFileVariable, https.CaFile().c_str(), 1);
  const EngineControls local = ExtraEngineControls(0), secure = ExtraEngineControls(1),
                       devices = ExtraEngineControls(2);
  RunDialog([&] {
    const EngineControls anchor = EngineControlIds[0];
    for (int id : {anchor.checkBox, anchor.foundList, anchor.resultsCounter, anchor.doneMark})
      EXPECT_FALSE(Shown(id)) << id;
    EXPECT_TRUE(Shown(EngineControlIds[1].checkBox));
    auto label = [](int id) {
      return OnUi<std::string>([id] {
        auto* box = dynamic_cast<wxCheckBox*>(Control(id));
        return box ? box->GetLabel().utf8_string() : std::string("<missing>");
      });
    };
    EXPECT_EQ(label(local.checkBox), "Local Finder");
    if (https.Running()) {
      EXPECT_EQ(label(secure.checkBox), "Secure Finder");
    }
    EXPECT_TRUE(Shown(local.foundList));
    EXPECT_TRUE(Ticked(local.checkBox));
    EXPECT_FALSE(Shown(local.doneMark));

    SetTerm("Zevo");
    ASSERT_TRUE(Click(SearchStartButton));
    const int sites = https.Running() ? 4 : 2;
    ASSERT_TRUE(WaitUntil([&] { return !SearchRunActive && SiteTable.count == sites; }));
    ASSERT_TRUE(WaitUntil([&] { return Lines(local.foundList).size() == 2; }));
    EXPECT_EQ(Lines(local.foundList),
              (std::vector<std::string>{"ftp://127.0.0.2/pub/", "ftp://127.0.0.3/zevo/"}));
    EXPECT_EQ(Text(local.resultsCounter), "2");
    EXPECT_EQ(Text(local.newSitesCounter), "2");
    EXPECT_TRUE(WaitUntil([&] { return Shown(local.doneMark); }));
    EXPECT_FALSE(Shown(local.failMark));
    if (https.Running()) {
      EXPECT_TRUE(WaitUntil([&] { return Lines(secure.foundList).size() == 1; }));
      EXPECT_EQ(Lines(secure.foundList), std::vector<std::string>{"ftp://127.0.0.4/mirror/"});
      EXPECT_FALSE(Shown(secure.failMark));
      // A JSON answer's items give their sites; one without a port gives none.
      EXPECT_TRUE(WaitUntil([&] { return Lines(devices.foundList).size() == 1; }));
      EXPECT_EQ(Lines(devices.foundList), std::vector<std::string>{"ftp://127.0.0.6:2121/"});
    }
    EXPECT_TRUE(Lines(EngineControlIds[1].foundList).empty());
    EXPECT_TRUE(WaitUntil([] { return EnabledNow(wxID_OK); }));
    std::this_thread::sleep_for(300ms);  // the UI thread idle long enough to paint
    OnUi<bool>([] {
      return SaveWindowScreenshot(OpenSearchDialog(), buildDir + "/search_dialog_extra_engine.png");
    });
  });
  unsetenv(HttpsCaFileVariable);
  const auto targets = server_.Targets();
  EXPECT_EQ(std::count(targets.begin(), targets.end(), "/generic?q=zevo&n=5"), 1);
  EXPECT_EQ(std::count(targets.begin(), targets.end(), AnchorTarget("zevo", 0)), 0)
      << "the engine the file left out is not asked";
}

// Readers of the index file at path.
void ReadIndexAt(const std::string& path) {
  SetIndexReaderSource([path](std::string& error) {
    IndexDb::Options options;
    options.readOnly = true;
    return IndexDb::Open(path, error, options);
  });
}

// A crawled site with the term two folders down, and a site whose login failed
// with the term in its own folder: the explored sites' row puts both folders in
// the table as they were stored, before any engine answers, and the scheduler
// starts a session for the engine's site alone.
TEST_F(SearchDialogTest, ExploredSitesRowAddsFoldersOfTheIndexThatAreNotExploredAgain) {
  using qbtest::ListedEntry;
  qbtest::TempFolder index;
  const std::string path = index.path() + "index.db";
  {
    std::string error;
    auto db = IndexDb::Open(path, error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->Store({"ftp://127.0.0.6/",
                           Failed,
                           "530 Login incorrect",
                           "",
                           1700000000,
                           "old",
                           {ListedEntry("zevo.zip", 10)}},
                          error))
        << error;
    const auto crawl = db->BeginCrawl("ftp://127.0.0.5/", error);
    ASSERT_TRUE(crawl) << error;
    const std::vector<ListedFolder> batches[] = {
        {qbtest::ListedFolderOf("", {ListedEntry("pub", 0, true)})},
        {qbtest::ListedFolderOf("pub/", {ListedEntry("linux", 0, true)})},
        {qbtest::ListedFolderOf("pub/linux/",
                                {ListedEntry("zevo-1.0.tar.gz", 900), ListedEntry("README", 20)})},
    };
    for (const auto& batch : batches)
      ASSERT_TRUE(db->StoreCrawlBatch(crawl->crawlId, batch, error)) << error;
    ASSERT_TRUE(db->FinishCrawl(
        crawl->crawlId, {"ftp://127.0.0.5/", Ok, "226 Listed", "", 1700000001, "", {}}, error))
        << error;
  }
  ReadIndexAt(path);
  ServeAnchorPage("zevo", {"ftp://127.0.0.7/pub/zevo.zip", "ftp://127.0.0.5/pub/linux/zevo/"});
  const EngineControls& row = ExploredSitesControls;
  RunDialog([&] {
    EXPECT_EQ(OnUi<std::string>([&] {
                auto* box = dynamic_cast<wxCheckBox*>(Control(row.checkBox));
                return box ? box->GetLabel().utf8_string() : std::string("<missing>");
              }),
              "Explored sites");
    EXPECT_TRUE(Ticked(row.checkBox));
    EXPECT_TRUE(Enabled(row.checkBox));
    EXPECT_TRUE(Enabled(row.foundList));
    SetTerm("Zevo");
    ASSERT_TRUE(Click(SearchStartButton));
    ASSERT_TRUE(WaitUntil([] { return !SearchRunActive && SiteTable.count == 3; }));
    ASSERT_TRUE(WaitUntil([&] { return Shown(row.doneMark); }));
    EXPECT_EQ(Lines(row.foundList),
              (std::vector<std::string>{"ftp://127.0.0.6/", "ftp://127.0.0.5/pub/linux/"}));
    EXPECT_EQ(Text(row.resultsCounter), "2");
    EXPECT_EQ(Text(row.newSitesCounter), "2");
    EXPECT_FALSE(Shown(row.failMark));
    // The engine's result inside a folder the index gave is that folder.
    ASSERT_TRUE(WaitUntil([] { return Lines(104).size() == 1; }));
    EXPECT_EQ(Lines(104), std::vector<std::string>{"ftp://127.0.0.7/pub/"});
    EXPECT_TRUE(WaitUntil([] { return EnabledNow(wxID_OK); }));
    OnUi<bool>([] {
      OpenSearchDialog()->Refresh();
      OpenSearchDialog()->Update();
      return SaveWindowScreenshot(OpenSearchDialog(), buildDir + "/search_dialog_explored.png");
    });
  });

  std::vector<std::string> table;
  for (int slot = 0; slot < SiteTable.count; ++slot) {
    const auto entry = SiteAt(slot);
    std::string line = std::string(entry->url) + " " + std::to_string(entry->status.load()) + " " +
                       entry->statusText.Get();
    std::lock_guard<std::mutex> hold(ListingLock);
    for (const ListingEntry& e : entry->listing) line += std::string(" ") + e.name;
    table.push_back(line);
  }
  EXPECT_EQ(table, (std::vector<std::string>{
                       "ftp://127.0.0.6/ 2 530 Login incorrect zevo.zip",
                       "ftp://127.0.0.5/pub/linux/ 1 226 Listed zevo-1.0.tar.gz README",
                       "ftp://127.0.0.7/pub/ 0 ",
                   }));

  std::vector<std::string> launched;
  SetWorkerLauncher([&](std::shared_ptr<SiteEntry> entry) { launched.push_back(entry->url); });
  const int32_t limit = ExplorationLimit, fast = Settings.FastStart;
  ExplorationLimit = 8;
  Settings.FastStart = 1;  // every free slot in one tick
  ExplorationScheduler(CurrentExplorationRun()).Tick();
  ExplorationLimit = limit;
  Settings.FastStart = fast;
  SetWorkerLauncher(nullptr);
  EXPECT_EQ(launched, std::vector<std::string>{"ftp://127.0.0.7/pub/"});
  ClearSites();
}

// Engines whose host is a stand-in under .invalid, or that need a key the
// user has not given, are greyed and named once rather than failed each search.
TEST_F(SearchDialogTest, EnginesThatCannotAnswerAreGreyedAndNamed) {
  {
    std::ofstream ini(ExeDir + SettingsFileName);
    ini << "[Hosts]\n" << BuiltinEngines()[0].name << "=" << server_.HostPort() << "\n";
  }
  EngineDef keyed;
  keyed.name = "Keyed";
  keyed.url = "https://api.example/search?key={key}&q={term}";
  keyed.rule = ResultRule::Json;
  keyed.items = "matches";
  keyed.site = "ftp://{ip_str}/";
  std::vector<EngineDef> engines = BuiltinEngines();
  engines.push_back(keyed);
  SetActiveEngines(engines);
  RunDialog([&] {
    EXPECT_TRUE(Enabled(EngineControlIds[0].checkBox));
    EXPECT_TRUE(Ticked(EngineControlIds[0].checkBox));
    for (int i = 1; i < EngineCount; ++i) {
      EXPECT_FALSE(Enabled(EngineControlIds[i].checkBox)) << i;
      EXPECT_FALSE(Ticked(EngineControlIds[i].checkBox)) << i;
    }
    const std::string note = OnUi<std::string>([] {
      wxWindow* w = Control(CannotAnswerNote);
      // Wrapped to the dialog's width: its line breaks are the layout's.
      wxString label = w ? w->GetLabel() : wxString("<none>");
      label.Replace("\n", " ");
      return label.utf8_string();
    });
    std::string expected = "Cannot answer: ";
    for (int i = 1; i < EngineCount; ++i) expected += BuiltinEngines()[i].name + " (no host), ";
    EXPECT_EQ(note, expected + "Keyed (no key).");
    OnUi<bool>([] {
      OpenSearchDialog()->Refresh();
      OpenSearchDialog()->Update();
      return SaveWindowScreenshot(OpenSearchDialog(), buildDir + "/search_dialog_cannot.png");
    });
  });
  SetActiveEngines(BuiltinEngines());
}

// An empty index greys the row and leaves its choice alone; a choice made on
// it is what the next dialog shows.
TEST_F(SearchDialogTest, ExploredSitesRowIsGreyedForAnEmptyIndexAndKeepsItsChoice) {
  qbtest::TempFolder index;
  const std::string path = index.path() + "index.db";
  {
    std::string error;
    auto db = IndexDb::Open(path, error);
    ASSERT_TRUE(db) << error;
  }
  ReadIndexAt(path);
  const EngineControls& row = ExploredSitesControls;
  RunDialog([&] {
    EXPECT_FALSE(Ticked(row.checkBox));
    EXPECT_FALSE(Enabled(row.checkBox));
    EXPECT_EQ(Background(row.foundList), wxColour(192, 192, 192));
    OnUi<bool>([] {
      OpenSearchDialog()->Refresh();
      OpenSearchDialog()->Update();
      return SaveWindowScreenshot(OpenSearchDialog(), buildDir + "/search_dialog_no_index.png");
    });
    SetTerm("nothing here");
    ASSERT_TRUE(Click(SearchStartButton));
    ASSERT_TRUE(WaitForAsked(1));
    EXPECT_FALSE(Shown(row.doneMark));
  });
  EXPECT_TRUE(ExploredSitesEnabled) << "a greyed box says nothing of the user's choice";

  {
    std::string error;
    auto db = IndexDb::Open(path, error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->Store(
        {"ftp://127.0.0.5/", Ok, "ok", "", 1700000000, "old", {qbtest::ListedEntry("readme", 1)}},
        error))
        << error;
  }
  RunDialog([&] {
    EXPECT_TRUE(Ticked(row.checkBox));
    SetBox(row.checkBox, false);
    EXPECT_EQ(Background(row.foundList), wxColour(192, 192, 192));
    SetTerm("readme");
    ASSERT_TRUE(Click(SearchStartButton));
    ASSERT_TRUE(WaitForAsked(2));
    EXPECT_TRUE(Lines(row.foundList).empty());
    EXPECT_EQ(SiteTable.count, 0);
  });
  EXPECT_FALSE(ExploredSitesEnabled);
  RunDialog([&] {
    EXPECT_TRUE(Enabled(row.checkBox));
    EXPECT_FALSE(Ticked(row.checkBox));
  });
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const std::string build = qbtest::StartGuiTests(argc, argv);
  if (build.empty()) return 2;
  wxInitAllImageHandlers();
  buildDir = build;
  // A settings folder of its own, with the animation beside it as in the program.
  char pattern[] = "/tmp/qb_search_dialog_XXXXXX";
  const std::string dir = mkdtemp(pattern);
  ExeDir = dir + "/";
  std::error_code ignored;
  std::filesystem::create_symlink(buildDir + "/bin/ZEVO.avi", ExeDir + "ZEVO.avi", ignored);
  SetUiPoster([](UiTask task) { wxTheApp->CallAfter(std::move(task)); },
              [] { return wxIsMainThread(); });
  const int rc = RUN_ALL_TESTS();
  std::filesystem::remove_all(dir, ignored);
  std::fflush(nullptr);
  // Detached search threads may still be finishing; nothing is torn down.
  std::_Exit(rc);
}

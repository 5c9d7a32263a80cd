// The settings sheet's engines page and its form, driven by events under Xvfb:
// what the list shows, what the form refuses, what OK writes, and the test of
// one engine against a local server.
#include "dialogs/engines_page.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choicdlg.h>
#include <wx/choice.h>
#include <wx/notebook.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/textdlg.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "core/program_folders.h"
#include "core/settings.h"
#include "core/ui_door.h"
#include "dialogs/engine_form.h"
#include "dialogs/settings_sheet.h"
#include "search/engine_file.h"
#include "search/engine_set.h"
#include "search/engine_templates.h"
#include "tests/support/gui_driver.h"
#include "tests/support/http_test_server.h"
#include "tests/support/screenshot.h"
#include "ui/message_box.h"

using namespace qb;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using qbtest::PostClick;
using qbtest::PressButton;
using qbtest::RunWhen;

std::string buildDir;

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
T* ShownTop() {
  for (wxWindow* w : wxTopLevelWindows) {
    if (auto* t = dynamic_cast<T*>(w); t && !t->IsBeingDeleted() && t->IsShown()) return t;
  }
  return nullptr;
}

template <class T>
bool NoneOpen() {
  return YieldUntil([] {
    for (wxWindow* w : wxTopLevelWindows)
      if (dynamic_cast<T*>(w) && !w->IsBeingDeleted()) return false;
    return true;
  });
}

// The page's rows as "name|rule|url|ticked".
std::vector<std::string> Rows(wxListCtrl* list) {
  std::vector<std::string> rows;
  for (long i = 0; i < list->GetItemCount(); ++i) {
    rows.push_back((list->GetItemText(i, 0) + "|" + list->GetItemText(i, 1) + "|" +
                    list->GetItemText(i, 2) + "|" + (list->IsItemChecked(i) ? "on" : "off"))
                       .utf8_string());
  }
  return rows;
}

std::vector<std::string> Names(const std::vector<EngineDef>& engines) {
  std::vector<std::string> names;
  for (const EngineDef& e : engines) names.push_back(e.name);
  return names;
}

std::vector<std::string> ActiveNames() {
  std::vector<std::string> names;
  for (const ActiveEngine& e : *ActiveEngines()) names.push_back(e.def.name);
  return names;
}

const std::vector<std::string> BuiltinNames = Names(BuiltinEngines());

void Type(wxWindow* top, int id, const std::string& text) {
  auto* field = dynamic_cast<wxTextCtrl*>(top->FindWindow(id));
  ASSERT_NE(field, nullptr) << id;
  field->ChangeValue(wxString::FromUTF8(text));
}

// Fills the form's fields that a generic engine needs.
void FillForm(EngineForm* form, const std::string& name, const std::string& url) {
  Type(form, EngineNameField, name);
  Type(form, EngineUrlField, url);
  dynamic_cast<wxChoice*>(form->FindWindow(EngineRuleChoice))
      ->SetSelection(static_cast<int>(ResultRule::Generic));
  dynamic_cast<wxSpinCtrl*>(form->FindWindow(EnginePageLimitField))->SetValue(2);
}

class EnginesPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qb_engines_page_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ExeDir = dir_.string() + "/";
    LoadSettings();  // the sheet's other tabs hold what the program would read
    SetActiveEngines(BuiltinEngines());
    SetMessageResponder([this](const MessageRequest& box) {
      std::lock_guard<std::mutex> hold(lock_);
      messages_.push_back(box.text.utf8_string());
      return true;
    });
  }
  void TearDown() override {
    SetMessageResponder(nullptr);
    for (wxWindow* w : wxTopLevelWindows) w->Destroy();
    Drain();
    std::filesystem::remove_all(dir_);
  }

  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> hold(lock_);
    return messages_;
  }

  // Opens the sheet on its engines tab.
  void OpenPage() {
    ShowSettingsSheet(nullptr);
    ASSERT_TRUE(YieldUntil([this] { return (sheet_ = ShownTop<TPSConf>()) != nullptr; }));
    auto* tabs = dynamic_cast<wxNotebook*>(sheet_->GetBookCtrl());
    ASSERT_NE(tabs, nullptr);
    ASSERT_GE(tabs->GetPageCount(), 3u);
    EXPECT_EQ(tabs->GetPageText(2), "Engines");
    tabs->SetSelection(2);
    page_ = dynamic_cast<EnginesPage*>(tabs->GetPage(2));
    ASSERT_NE(page_, nullptr);
    list_ = dynamic_cast<wxListCtrl*>(page_->FindWindow(EngineList));
    ASSERT_NE(list_, nullptr);
  }

  void Select(long row) {
    list_->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    Drain();
  }

  bool ButtonEnabled(int id) {
    page_->UpdateWindowUI(wxUPDATE_UI_RECURSE);
    wxWindow* button = page_->FindWindow(id);
    return button && button->IsEnabled();
  }

  void Press(int id) { PressButton(page_->FindWindow(id)); }

  // The sheet closed with OK or Cancel.
  void CloseSheet(int id) {
    PostClick(sheet_, id);
    ASSERT_TRUE(NoneOpen<TPSConf>());
  }

  std::string TestResult() {
    return dynamic_cast<wxStaticText*>(page_->FindWindow(EngineTestResult))
        ->GetLabel()
        .utf8_string();
  }

  std::filesystem::path dir_;
  std::mutex lock_;
  std::vector<std::string> messages_;
  TPSConf* sheet_ = nullptr;
  EnginesPage* page_ = nullptr;
  wxListCtrl* list_ = nullptr;
};

TEST_F(EnginesPageTest, ListsTheCurrentSetAndCancelKeepsIt) {
  OpenPage();
  std::vector<std::string> expected;
  for (const EngineDef& e : BuiltinEngines())
    expected.push_back(e.name + "|" + RuleName(e.rule) + "|" + e.url + "|on");
  EXPECT_EQ(Rows(list_), expected);
  YieldUntil([] { return false; }, 300ms);  // painted, for the screenshot
  EXPECT_TRUE(SaveWindowScreenshot(sheet_, buildDir + "/settings_engines_tab.png"));

  // Changes the user throws away leave the set and the file as they were.
  Select(0);
  Press(EngineRemoveButton);
  list_->CheckItem(0, false);
  EXPECT_EQ(list_->GetItemCount(), 4);
  CloseSheet(wxID_CANCEL);
  EXPECT_EQ(ActiveNames(), BuiltinNames);
  EXPECT_FALSE(std::filesystem::exists(EngineFilePath()));

  // An unchanged list is not written either: a missing file stays the built-ins.
  OpenPage();
  CloseSheet(wxID_OK);
  EXPECT_FALSE(std::filesystem::exists(EngineFilePath()));
}

// The form refuses, naming the fault, until the definition can be used; then the
// engine is added below the selection, and the sheet's OK writes and installs it.
TEST_F(EnginesPageTest, AddRefusesFaultsThenOkWritesTheFileAndTheSet) {
  OpenPage();
  Select(1);
  Clock::time_point filledAt;
  RunWhen([] { return ShownTop<EngineForm>() != nullptr; },
          [&] {
            EngineForm* form = ShownTop<EngineForm>();
            FillForm(form, "Mine", "https://127.0.0.1/find?q=x");
            PostClick(form, wxID_OK);
          });
  RunWhen([&] { return Messages().size() == 1; },
          [&] {
            EngineForm* form = ShownTop<EngineForm>();
            ASSERT_NE(form, nullptr) << "a refused form stays open";
            FillForm(form, "anchorENGINE", "https://127.0.0.1/find?q={term}");
            PostClick(form, wxID_OK);
          });
  RunWhen([&] { return Messages().size() == 2; },
          [&] {
            EngineForm* form = ShownTop<EngineForm>();
            ASSERT_NE(form, nullptr);
            FillForm(form, "  Mine  ", "https://127.0.0.1/find?q={term}");
            filledAt = Clock::now();
          });
  // Painted by then, for the screenshot.
  RunWhen([&] { return filledAt != Clock::time_point() && Clock::now() - filledAt > 300ms; },
          [&] {
            EngineForm* form = ShownTop<EngineForm>();
            ASSERT_NE(form, nullptr);
            EXPECT_TRUE(SaveWindowScreenshot(form, buildDir + "/engine_form.png"));
            PostClick(form, wxID_OK);
          });
  Press(EngineAddButton);
  ASSERT_EQ(Messages().size(), 2u);
  EXPECT_NE(Messages()[0].find("{term}"), std::string::npos) << Messages()[0];
  EXPECT_NE(Messages()[1].find("another engine is named \"AnchorEngine\""), std::string::npos)
      << Messages()[1];
  EXPECT_EQ(Names(page_->Engines()),
            (std::vector<std::string>{"AnchorEngine", "ClassLsEngine", "Mine", "FormEngine",
                                      "AdvancedEngine", "PathEngine"}));
  EXPECT_EQ(Rows(list_)[2], "Mine|Generic|https://127.0.0.1/find?q={term}|on");
  EXPECT_EQ(list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED), 2);
  EXPECT_EQ(ActiveNames(), BuiltinNames) << "nothing changes before the sheet's OK";

  CloseSheet(wxID_OK);
  EXPECT_EQ(Messages().size(), 2u) << "no failure to report";
  const EngineFile file = ReadEngineFile(EngineFilePath());
  EXPECT_TRUE(file.problems.empty());
  ASSERT_EQ(file.engines.size(), 6u);
  EXPECT_EQ(file.engines[2].name, "Mine");
  EXPECT_EQ(file.engines[2].pageLimit, 2);
  EXPECT_EQ(file.engines[2].rule, ResultRule::Generic);
  EXPECT_EQ(ActiveNames(), Names(file.engines));
}

// Cancel on the form adds nothing; a form with every field set gives them all back.
TEST_F(EnginesPageTest, FormKeepsEveryFieldAndCancelChangesNothing) {
  EngineDef post;
  post.name = "Poster";
  post.enabled = false;
  post.host = "search.example";
  post.url = "https://{host}/api";
  post.method = "POST";
  post.body = "{\"q\":\"{jsonterm}\",\"p\":{page}}";
  post.contentType = "application/json";
  post.firstPage = 3;
  post.pageStep = 7;
  post.pageLimit = 4;
  post.rule = ResultRule::Path;
  post.begin = "<main>";
  post.end = "</main>";
  post.stop = "</html>";
  post.noMore = "No more results";
  SetActiveEngines({post});
  OpenPage();
  EXPECT_EQ(Rows(list_), std::vector<std::string>{"Poster|Path|https://{host}/api|off"});
  Select(0);
  bool bodyEnabled = false;
  RunWhen([] { return ShownTop<EngineForm>() != nullptr; },
          [&] {
            EngineForm* form = ShownTop<EngineForm>();
            bodyEnabled = form->FindWindow(EngineBodyField)->IsEnabled();
            PostClick(form, wxID_OK);
          });
  Press(EngineEditButton);
  EXPECT_TRUE(bodyEnabled);
  EXPECT_TRUE(Messages().empty());
  ASSERT_EQ(page_->Engines().size(), 1u);
  EXPECT_EQ(EngineFileText(page_->Engines()), EngineFileText({post}));

  RunWhen([] { return ShownTop<EngineForm>() != nullptr; },
          [&] {
            EngineForm* form = ShownTop<EngineForm>();
            FillForm(form, "Other", "https://127.0.0.1/?q={term}");
            PostClick(form, wxID_CANCEL);
          });
  Press(EngineAddButton);
  EXPECT_EQ(Names(page_->Engines()), std::vector<std::string>{"Poster"});
}

// A JSON source keeps its rule's fields through the form; a key typed there
// goes beside the settings, never into the engine file.
TEST_F(EnginesPageTest, JsonFieldsSurviveTheFormAndAKeyStaysOutOfTheEngineFile) {
  EngineDef json;
  json.name = "Devices";
  json.host = "api.example";
  json.url = "https://{host}/search?q={term}&cursor={cursor}";
  json.rule = ResultRule::Json;
  json.items = "result.hits";
  json.site = "ftp://{ip}:{port}/";
  json.nextFrom = "result.links.next";
  json.auth = EngineAuth::Basic;
  json.header = "X-Client: quillbrook";
  EngineDef list;
  list.name = "Mirrors";
  list.kind = EngineKind::SiteList;
  list.url = "https://mirrors.example/list.txt";
  SetActiveEngines({json, list});
  OpenPage();
  const std::string secret = "id:s3cr3t-k3y";
  for (long row : {0L, 1L}) {
    Select(row);
    RunWhen([] { return ShownTop<EngineForm>() != nullptr; },
            [&] {
              EngineForm* form = ShownTop<EngineForm>();
              if (row == 0) Type(form, EngineKeyField, secret);
              PostClick(form, wxID_OK);
            });
    Press(EngineEditButton);
  }
  EXPECT_TRUE(Messages().empty()) << Messages().front();
  const std::string file = EngineFileText(page_->Engines());
  EXPECT_EQ(file, EngineFileText({json, list}));
  EXPECT_EQ(file.find("s3cr3t"), std::string::npos) << "no key in the engine file";
  CloseSheet(wxID_OK);
  std::ifstream keys(ConfigPath("engine-keys.ini"));
  const std::string kept((std::istreambuf_iterator<char>(keys)), std::istreambuf_iterator<char>());
  EXPECT_NE(kept.find("s3cr3t"), std::string::npos) << "no keyring answers here: the file has it";
}

TEST_F(EnginesPageTest, AddFromTemplateOpensTheFormWithTheTemplateAndAFreeName) {
  OpenPage();
  const auto pick = [&](const std::string& starting) {
    RunWhen([] { return ShownTop<wxSingleChoiceDialog>() != nullptr; },
            [&] {
              wxSingleChoiceDialog* choose = ShownTop<wxSingleChoiceDialog>();
              const std::vector<EngineTemplate>& all = EngineTemplates();
              for (std::size_t i = 0; i < all.size(); ++i)
                if (all[i].title.rfind(starting, 0) == 0) choose->SetSelection(static_cast<int>(i));
              RunWhen([] { return ShownTop<EngineForm>() != nullptr; },
                      [] { PostClick(ShownTop<EngineForm>(), wxID_OK); });
              PostClick(choose, wxID_OK);
            });
    Press(EngineTemplateButton);
  };
  pick("Open-directory index");
  pick("Built-in engine: AnchorEngine");
  const std::vector<std::string> names = Names(page_->Engines());
  ASSERT_EQ(names.size(), BuiltinNames.size() + 2);
  EXPECT_NE(std::find(names.begin(), names.end(), "OpenDirectories"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "AnchorEngine 2"), names.end())
      << "a name taken gets a number";
  const auto added = std::find_if(page_->Engines().begin(), page_->Engines().end(),
                                  [](const EngineDef& e) { return e.name == "OpenDirectories"; });
  EXPECT_EQ(added->rule, ResultRule::Json);
  EXPECT_EQ(added->items, "hits.hits");
  CloseSheet(wxID_CANCEL);
}

// Order, ticks, removal and restoring all reach the file the sheet's OK writes.
TEST_F(EnginesPageTest, MovesTicksRemovalAndRestoreReachTheFile) {
  OpenPage();
  EXPECT_EQ(list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED), 0);
  list_->SetItemState(0, 0, wxLIST_STATE_SELECTED);
  EXPECT_FALSE(ButtonEnabled(EngineEditButton)) << "nothing selected";
  EXPECT_FALSE(ButtonEnabled(EngineTestButton));
  Select(0);
  EXPECT_FALSE(ButtonEnabled(EngineUpButton));
  EXPECT_TRUE(ButtonEnabled(EngineDownButton));
  Press(EngineDownButton);
  Press(EngineDownButton);
  Select(4);
  EXPECT_FALSE(ButtonEnabled(EngineDownButton));
  Press(EngineUpButton);
  Press(EngineRemoveButton);  // PathEngine, now fourth
  list_->CheckItem(0, false);
  EXPECT_EQ(Names(page_->Engines()), (std::vector<std::string>{"ClassLsEngine", "FormEngine",
                                                               "AnchorEngine", "AdvancedEngine"}));
  CloseSheet(wxID_OK);
  EngineFile file = ReadEngineFile(EngineFilePath());
  EXPECT_EQ(Names(file.engines), (std::vector<std::string>{"ClassLsEngine", "FormEngine",
                                                           "AnchorEngine", "AdvancedEngine"}));
  ASSERT_FALSE(file.engines.empty());
  EXPECT_FALSE(file.engines[0].enabled);
  EXPECT_TRUE(file.engines[1].enabled);
  EXPECT_FALSE(EngineEnabled[0]) << "the new set's boxes start as its flags";

  OpenPage();
  EXPECT_EQ(Rows(list_)[0].substr(Rows(list_)[0].size() - 4), "|off");
  Press(EngineRestoreButton);
  CloseSheet(wxID_OK);
  file = ReadEngineFile(EngineFilePath());
  EXPECT_EQ(EngineFileText(file.engines), EngineFileText(BuiltinEngines()));
  EXPECT_EQ(ActiveNames(), BuiltinNames);
}

// Saving rewrites the file without the engines it could not use: the page says so.
TEST_F(EnginesPageTest, TheEngineFileProblemsAreShownBeforeItIsRewritten) {
  OpenPage();
  EXPECT_FALSE(page_->FindWindow(EngineFileNote)->IsShown()) << "no file, no problem";
  CloseSheet(wxID_CANCEL);
  {
    std::ofstream file(EngineFilePath());
    file << "[PathEngine]\n[Typo]\nUrl=https://127.0.0.1/?q=term\n";
  }
  EXPECT_EQ(LoadActiveEngines().size(), 1u);
  OpenPage();
  EXPECT_EQ(Names(page_->Engines()), std::vector<std::string>{"PathEngine"});
  wxWindow* note = page_->FindWindow(EngineFileNote);
  EXPECT_TRUE(note->IsShown());
  EXPECT_NE(note->GetLabel().utf8_string().find(EngineFilePath()), std::string::npos);
  EXPECT_NE(note->GetToolTipText().utf8_string().find("\"Typo\""), std::string::npos)
      << note->GetToolTipText();
}

TEST_F(EnginesPageTest, FailedWriteNamesThePathAndKeepsTheSetInEffect) {
  // A folder where the file should be: the rename over it fails.
  std::filesystem::create_directories(EngineFilePath() + "/in-the-way");
  OpenPage();
  Select(0);
  Press(EngineRemoveButton);
  CloseSheet(wxID_OK);
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_NE(Messages()[0].find(EngineFilePath()), std::string::npos) << Messages()[0];
  EXPECT_EQ(ActiveNames(), (std::vector<std::string>{"ClassLsEngine", "FormEngine",
                                                     "AdvancedEngine", "PathEngine"}));
}

// The test asks one page off the UI thread: the page stays responsive, the
// button is off meanwhile, and the result or the failure is shown.
TEST_F(EnginesPageTest, TestAsksOnePageOffTheUiThreadAndShowsTheCount) {
  qbtest::HttpTestServer server;
  ASSERT_TRUE(server.Listening());
  // The page is held back until the test has seen the page answer meanwhile.
  const auto page = std::make_shared<qbtest::HttpGate>();
  server.Serve("/find?q=zevo+player&p=0",
               qbtest::HttpReply::Raw(
                   "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n"
                   "<html><a href=\"ftp://127.0.0.2/pub/a.zip\">a</a> and ftp://127.0.0.3/b/ "
                   "<a href=\"http://127.0.0.4/\">web</a></html>")
                   .After(page));
  EngineDef local;
  local.name = "Local";
  local.url = server.Url("/find?q={term}&p={page}");
  local.rule = ResultRule::Generic;
  EngineDef broken = local;
  broken.name = "Broken";
  broken.url = server.Url("/missing?q={term}");
  SetActiveEngines({local, broken});
  OpenPage();
  Select(0);

  wxString offered;
  RunWhen([] { return ShownTop<wxTextEntryDialog>() != nullptr; },
          [&] {
            auto* ask = ShownTop<wxTextEntryDialog>();
            offered = ask->GetValue();
            ask->SetValue(" Zevo Player ");
            PostClick(ask, wxID_OK);
          });
  // Asked on the UI thread, the press would not come back before the page.
  Press(EngineTestButton);
  EXPECT_EQ(offered, "linux");
  EXPECT_EQ(TestResult(), "Asking Local\u2026");
  EXPECT_FALSE(ButtonEnabled(EngineTestButton));
  EXPECT_TRUE(ButtonEnabled(EngineAddButton));
  page->Open();
  EXPECT_TRUE(YieldUntil([&] { return TestResult() == "2 ftp:// URLs found on page 1"; }))
      << TestResult();
  EXPECT_TRUE(ButtonEnabled(EngineTestButton));
  EXPECT_EQ(server.Targets(), std::vector<std::string>{"/find?q=zevo+player&p=0"});

  Select(1);
  RunWhen([] { return ShownTop<wxTextEntryDialog>() != nullptr; },
          [&] {
            auto* ask = ShownTop<wxTextEntryDialog>();
            offered = ask->GetValue();
            PostClick(ask, wxID_OK);
          });
  Press(EngineTestButton);
  EXPECT_EQ(offered, "Zevo Player") << "the last term is offered again";
  EXPECT_TRUE(YieldUntil([&] { return TestResult().rfind("The test failed: ", 0) == 0; }))
      << TestResult();
  EXPECT_NE(TestResult().find("/missing?q=zevo+player"), std::string::npos) << TestResult();
  CloseSheet(wxID_CANCEL);
}

}  // namespace

int main(int argc, char** argv) { return qbtest::RunGuiTestsWithUiDoor(argc, argv, &buildDir); }

#include "tests/support/gui_driver.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/debug.h>
#include <wx/dialog.h>
#include <wx/event.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/thread.h>
#include <wx/timer.h>
#include <wx/window.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/ui_door.h"
#include "resources/resource_module.h"

using namespace qb;

namespace qbtest {

namespace {
class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
  ADD_FAILURE() << "wx assertion in " << func << " at " << file << ":" << line << ": " << cond
                << " " << msg;
}
}  // namespace

std::string StartGuiTests(int& argc, char** argv) {
  wxSetAssertHandler(FailOnAssert);
  wxApp::SetInstance(new TestApp);
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "cannot start the window toolkit\n");
    return {};
  }
  delete wxLog::SetActiveTarget(new wxLogStderr);
  const char* build = std::getenv("QB_BUILD_DIR");
  std::string error;
  if (!build || !ResourceModule::Load(std::string(build) + "/bin/", &error)) {
    std::fprintf(stderr, "%s\n", build ? error.c_str() : "QB_BUILD_DIR is not set");
    return {};
  }
  return build;
}

int RunGuiTestsWithUiDoor(int argc, char** argv, std::string* buildDir) {
  testing::InitGoogleTest(&argc, argv);
  const std::string build = StartGuiTests(argc, argv);
  if (build.empty()) return 2;
  if (buildDir) *buildDir = build;
  qb::SetUiPoster([](qb::UiTask task) { wxTheApp->CallAfter(std::move(task)); },
                  [] { return wxThread::IsMain(); });
  const int rc = RUN_ALL_TESTS();
  qb::SetUiPoster(nullptr, nullptr);
  wxTheApp->OnExit();
  wxEntryCleanup();
  return rc;
}

bool WaitOnUi(std::function<bool()> condition, std::chrono::milliseconds bound) {
  return WaitUntil([&] { return OnUi<bool>(condition); }, bound);
}

bool YieldUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
  return WaitUntil(
      [&] {
        if (wxTheApp) wxTheApp->ProcessPendingEvents();
        wxYield();
        return condition();
      },
      bound);
}

void RunWhen(std::function<bool()> condition, std::function<void()> then,
             std::chrono::milliseconds bound) {
  auto* timer = new wxTimer;
  const auto until = std::chrono::steady_clock::now() + bound;
  timer->Bind(wxEVT_TIMER, [=](wxTimerEvent&) {
    const bool late = std::chrono::steady_clock::now() > until;
    if (!late && !condition()) return;
    timer->Stop();
    wxTheApp->CallAfter([timer] { delete timer; });
    if (!late) return then();
    ADD_FAILURE() << "a condition of RunWhen did not come to hold";
    for (wxWindow* w : wxTopLevelWindows) {
      if (auto* d = dynamic_cast<wxDialog*>(w); d && d->IsModal()) d->EndModal(wxID_ABORT);
    }
  });
  timer->Start(10);
}

void PostClick(wxWindow* top, int id) {
  wxWindow* button = top ? top->FindWindow(id) : nullptr;
  if (!button) return;
  wxCommandEvent click(wxEVT_BUTTON, id);
  click.SetEventObject(button);
  wxPostEvent(button, click);
}

void PressButton(wxWindow* button) {
  if (!button) return;
  wxCommandEvent click(wxEVT_BUTTON, button->GetId());
  click.SetEventObject(button);
  button->GetEventHandler()->ProcessEvent(click);
}

}  // namespace qbtest

#pragma once
// For GUI tests whose script runs on a thread of its own while the UI thread
// runs the event loop: everything that touches windows goes through the UI door.
#include <chrono>
#include <functional>
#include <string>

#include "core/ui_door.h"
#include "tests/support/wait.h"

class wxWindow;

namespace qbtest {
using namespace qb;

// Runs work on the UI thread and hands back its result.
template <class Result>
Result OnUi(std::function<Result()> work) {
  Result out{};
  AskOnUi([&] {
    out = work();
    return true;
  });
  return out;
}

// Script thread: WaitUntil with the condition checked on the UI thread.
bool WaitOnUi(std::function<bool()> condition, std::chrono::milliseconds bound);

// UI thread, outside a modal loop: WaitUntil that runs the pending events and
// tasks (those of the UI door among them) before every check.
bool YieldUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound);

// Starts the window toolkit for a GUI test binary with a bare application
// object, toolkit messages and assertions reported instead of shown in boxes
// nobody would close, and the resource library loaded from QB_BUILD_DIR/bin.
// Returns the build folder, or empty (after saying why) when it cannot start.
std::string StartGuiTests(int& argc, char** argv);

// A GUI test binary's whole main: the toolkit started as above, the UI door
// posting to the UI thread, every test run and everything torn down again.
// buildDir, when given, receives the build folder. The tests' exit code, or 2.
int RunGuiTestsWithUiDoor(int argc, char** argv, std::string* buildDir = nullptr);

// UI thread: then() runs once condition holds, from whatever event loop runs
// at that time, modal ones included, whose callers are blocked. After the
// bound, every modal dialog ends with wxID_ABORT instead, so that a failing
// test does not hang.
void RunWhen(std::function<bool()> condition, std::function<void()> then,
             std::chrono::milliseconds bound = std::chrono::seconds(10));

// UI thread: posts the click event of top's button id, as a press would.
void PostClick(wxWindow* top, int id);

// UI thread: the click event of a button, as a press sends it.
void PressButton(wxWindow* button);

}  // namespace qbtest

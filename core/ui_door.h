#pragma once
// The one door from other threads to the UI thread. The window toolkit installs
// a poster at start-up; without one (headless tests) tasks run at once on the
// calling thread.
#include <functional>

namespace qb {

using UiTask = std::function<void()>;

// poster hands a task to the UI thread's queue, or drops it when it cannot;
// isUiThread tells whether the caller already runs there.
void SetUiPoster(std::function<void(UiTask)> poster, std::function<bool()> isUiThread);

// The UI thread's loop has ended: from now on tasks are dropped and questions
// answer false. Undone by the next SetUiPoster.
void CloseUiDoor();

// Runs task on the UI thread later (or now, with no poster).
void PostToUi(UiTask task);

// Runs question on the UI thread and waits for its answer; false (the "No" or
// cancel answer) when the question is dropped unasked.
bool AskOnUi(std::function<bool()> question);

}  // namespace qb

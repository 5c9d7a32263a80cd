#include "tests/support/gui_driver.h"

#include <wx/event.h>
#include <wx/window.h>

#include <thread>

using namespace qb;

namespace qbtest {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
  const auto end = std::chrono::steady_clock::now() + bound;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool WaitOnUi(std::function<bool()> condition, std::chrono::milliseconds bound) {
  return WaitUntil([&] { return OnUi<bool>(condition); }, bound);
}

void PressButton(wxWindow* button) {
  if (!button) return;
  wxCommandEvent click(wxEVT_BUTTON, button->GetId());
  click.SetEventObject(button);
  button->GetEventHandler()->ProcessEvent(click);
}

}  // namespace qbtest

#include "tests/support/gui_driver.h"

#include <wx/app.h>
#include <wx/event.h>
#include <wx/window.h>

using namespace qb;

namespace qbtest {

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

void PressButton(wxWindow* button) {
  if (!button) return;
  wxCommandEvent click(wxEVT_BUTTON, button->GetId());
  click.SetEventObject(button);
  button->GetEventHandler()->ProcessEvent(click);
}

}  // namespace qbtest

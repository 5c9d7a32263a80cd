#include "ui/modal_owner.h"

#include <wx/dialog.h>

namespace qb {

wxWindow* InnermostModalDialog() {
  // Newest last: a nested modal dialog was created after the one it covers.
  for (auto it = wxTopLevelWindows.rbegin(); it != wxTopLevelWindows.rend(); ++it) {
    auto* dialog = dynamic_cast<wxDialog*>(*it);
    if (dialog && dialog->IsModal() && !dialog->IsBeingDeleted()) return dialog;
  }
  return nullptr;
}

}  // namespace qb

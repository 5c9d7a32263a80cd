#pragma once
// The settings sheet's network page: how data connections are opened.
#include <wx/panel.h>

#include "dialogs/settings_page.h"

namespace qb {

class NetworkPage : public wxPanel, public SettingsPage {
 public:
  explicit NetworkPage(wxWindow* parent);
  void SetUp() override;
  // Stores the choice into the settings.
  void Apply() override;
};

}  // namespace qb

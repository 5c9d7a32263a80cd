#pragma once
// The settings sheet's index page: whether explored sites are kept to be found later.
#include <wx/panel.h>

#include "dialogs/settings_page.h"

namespace qb {

class IndexPage : public wxPanel, public SettingsPage {
 public:
  explicit IndexPage(wxWindow* parent);
  void SetUp() override;
  // Stores the choice into the settings; it counts from the next start.
  void Apply() override;
};

}  // namespace qb

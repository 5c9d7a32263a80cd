#pragma once
// The settings sheet's network page: how data connections are opened, how
// politely search hosts are asked, and whether the search term is reported.
#include <wx/panel.h>

#include "dialogs/settings_page.h"

namespace qb {

class NetworkPage : public wxPanel, public SettingsPage {
 public:
  explicit NetworkPage(wxWindow* parent);
  void SetUp() override;
  // The pause box when it holds no number inside its range.
  wxWindow* Refused(std::string& problem) override;
  // Stores the choices into the settings.
  void Apply() override;
};

}  // namespace qb

#pragma once
// The settings sheet's network page: how data connections are opened.
#include <wx/panel.h>

namespace qb {

class NetworkPage : public wxPanel {
 public:
  explicit NetworkPage(wxWindow* parent);
  // Shows the in-memory settings.
  void SetUp();
  // Stores the choice into the settings.
  void Apply();
};

}  // namespace qb

#pragma once
// What every tab of the settings sheet does: it shows the settings in memory
// and, on OK, stores what the user chose into them.
#include <string>

class wxWindow;

namespace qb {

class SettingsPage {
 public:
  virtual ~SettingsPage() = default;
  virtual void SetUp() = 0;
  // Asked of every page before any applies: a field whose value the settings
  // cannot hold, with the reason; null when the page holds nothing wrong.
  virtual wxWindow* Refused(std::string& /*problem*/) { return nullptr; }
  virtual void Apply() = 0;
};

}  // namespace qb

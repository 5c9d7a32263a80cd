#pragma once
// What every tab of the settings sheet does: it shows the settings in memory
// and, on OK, stores what the user chose into them.
namespace qb {

class SettingsPage {
 public:
  virtual ~SettingsPage() = default;
  virtual void SetUp() = 0;
  virtual void Apply() = 0;
};

}  // namespace qb

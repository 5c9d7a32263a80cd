#pragma once
// The settings sheet's downloads page: where files go, how many are fetched
// at once, and what a double-click on a file does.
#include <wx/panel.h>

#include "core/settings.h"
#include "dialogs/settings_page.h"

class wxCheckBox;
class wxDirPickerCtrl;
class wxTextCtrl;

namespace qb {

class DownloadsPage : public wxPanel, public SettingsPage {
 public:
  explicit DownloadsPage(wxWindow* parent);
  void SetUp() override;
  // A folder that is no absolute path, or a number outside its range.
  wxWindow* Refused(std::string& problem) override;
  // Counts for the downloads queued from now on.
  void Apply() override;

  wxDirPickerCtrl* FolderPicker() const { return folder_; }
  wxTextCtrl* PerHostBox() const { return perHost_; }
  wxTextCtrl* AtOnceBox() const { return atOnce_; }
  wxCheckBox* OpenBox() const { return open_; }

 private:
  wxDirPickerCtrl* folder_;
  wxTextCtrl* perHost_;
  wxTextCtrl* atOnce_;
  wxCheckBox* open_;
};

}  // namespace qb

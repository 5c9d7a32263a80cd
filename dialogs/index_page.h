#pragma once
// The settings sheet's index page: whether explored sites are kept to be found
// later, and how far a crawl of a whole site goes.
#include <wx/panel.h>

#include "core/settings.h"
#include "dialogs/settings_page.h"

namespace qb {

// The crawl's number boxes, clear of the other pages' and the engine form's controls.
struct CrawlBox {
  int controlId;
  SettingField field;
};
inline constexpr CrawlBox CrawlBoxes[] = {
    {360, &SettingsData::CrawlDepth},    {361, &SettingsData::CrawlFolders},
    {362, &SettingsData::CrawlEntries},  {363, &SettingsData::CrawlMinutes},
    {364, &SettingsData::CrawlSessions}, {365, &SettingsData::CrawlPause},
};

class IndexPage : public wxPanel, public SettingsPage {
 public:
  explicit IndexPage(wxWindow* parent);
  void SetUp() override;
  // The first crawl box that holds no number inside its range.
  wxWindow* Refused(std::string& problem) override;
  // Stores the choices into the settings; keeping the index counts from the
  // next start, the crawl bounds from the next crawl.
  void Apply() override;
};

}  // namespace qb

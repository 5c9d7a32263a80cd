#pragma once
// The fields around the lists: the selected site's details, its listing's
// counts, and the exploration's counters and progress.
#include <wx/string.h>
#include <wx/window.h>

#include "core/site_table.h"
#include "mainwin/file_list.h"

namespace qb {

class DetailsPane {
 public:
  // panel holds the template's fields.
  void Attach(wxWindow* panel) { panel_ = panel; }

  // URL, status text, login reply and tested file of site (empty for null);
  // a field is written only when its text changed. A label's tooltip holds
  // its whole text. A password in the URL shows as ***.
  void ShowSite(const SiteEntry* site);
  // User, password (as ***) and host of site's URL and the listing's counts,
  // with "(anonymous)" for a site without a user; all empty for null.
  void ShowListing(const SiteEntry* site, const ListingCounts& counts);
  // Progress and the exploration's counters back to empty.
  void ClearRun();
  // The URL field's text, at most its field's length; the site's own URL,
  // password included, while the field shows it as it was written.
  wxString Url() const;

 private:
  void SetText(int id, const wxString& text);
  wxWindow* panel_ = nullptr;
  wxString siteUrl_;   // the selected site's URL
  wxString shownUrl_;  // what the field was given for it
};

}  // namespace qb

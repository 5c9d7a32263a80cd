// Bringing a site of the table into view from outside the site list.
#include <cstring>

#include "mainwin/main_dialog.h"

namespace qb {

bool TD::ShowSiteOfUrl(const std::string& url) {
  int found = -1;
  for (int i = 0; i < SiteTable.count && found < 0; ++i) {
    const auto site = SiteAt(i);
    if (site && !site->dropped && std::strcmp(site->url, url.c_str()) == 0) found = i;
  }
  if (found < 0 || !sites_.ShowSite(found)) return false;
  selectedSite = found;
  RefreshDetails();
  FillFileList();
  return true;
}

}  // namespace qb

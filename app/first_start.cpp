#include "app/first_start.h"

#include <wx/frame.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/index_hookup.h"
#include "core/settings.h"
#include "core/ui_door.h"
#include "mainwin/main_dialog.h"
#include "search/engine_keys.h"
#include "search/engine_pages.h"
#include "search/engine_set.h"
#include "search/site_list.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

bool NoEngineCanAnswer() {
  const KeyLookup keys = EngineKeys().Lookup();
  for (const ActiveEngine& engine : *ActiveEngines()) {
    if (engine.def.kind == EngineKind::Search && engine.def.enabled &&
        EngineCannotAnswer(engine.def, keys).empty())
      return false;
  }
  return true;
}

bool OfferMirrorLists(TD* dialog) {
  if (Settings.SiteListsOffered != 0 || !NoEngineCanAnswer()) return false;
  // Once, whatever the answer: a user who said no is not asked at every start.
  Settings.SiteListsOffered = 1;
  SaveSettings();
  std::vector<EngineDef> lists;
  std::string names;
  for (const EngineDef& list : BuiltinSiteLists()) {
    if (!EngineCannotAnswer(list, nullptr).empty()) continue;
    lists.push_back(list);
    names += (names.empty() ? "" : ", ") + list.name;
  }
  if (lists.empty()) return false;
  const bool crawl = !RunningCrawls().expired();
  const std::string question =
      "None of the search engines can answer: their hosts do not exist or they need a key of "
      "your own (Settings, Engines, Add from template).\n\nFetch the public mirror lists (" +
      names + ") and " +
      (crawl ? "crawl their FTP sites into the local index" : "explore their FTP sites") +
      " instead?";
  if (!ShowMessage(dialog, ToDisplayText(question), "FTP Quillbrook", MessageStyle::Question))
    return false;
  if (auto* frame = dynamic_cast<wxFrame*>(dialog->GetParent()); frame && frame->GetStatusBar())
    frame->SetStatusText("Fetching the mirror lists...");
  // Pages can take the whole fetch time-out to come: never on the UI thread.
  std::thread([lists, crawl] {
    std::vector<std::string> sites;
    for (const EngineDef& list : lists) {
      FetchedSiteList fetched = FetchSiteList(list, nullptr);
      for (std::string& site : fetched.sites.sites) sites.push_back(std::move(site));
    }
    PostToUi([sites = std::move(sites), crawl] {
      if (!MainDialog || sites.empty()) return;
      if (crawl)
        MainDialog->StartCrawls(sites);
      else
        MainDialog->ExploreGivenSites(sites);
    });
  }).detach();
  return true;
}

}  // namespace qb

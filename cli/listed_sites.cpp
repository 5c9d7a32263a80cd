#include "cli/listed_sites.h"

#include <optional>
#include <string>
#include <vector>

#include "cli/usage.h"
#include "search/engine_file.h"
#include "search/engine_keys.h"
#include "search/engine_set.h"
#include "search/site_list.h"

namespace qb {

void AppendListedSites(const std::string& name, std::vector<std::string>& urls) {
  const std::optional<EngineDef> list =
      FindSiteList(name, ReadEngineFile(EngineFilePath()).engines);
  if (!list) throw UsageError{"no site list named " + name};
  FetchedSiteList fetched = FetchSiteList(*list, EngineKeys().Lookup());
  if (!fetched.problem.empty()) Warn(fetched.problem);
  for (std::string& site : fetched.sites.sites) urls.push_back(std::move(site));
}

}  // namespace qb

#include "cli/engine_search.h"

#include "core/site_table.h"
#include "core/text_helpers.h"
#include "search/engine_pages.h"
#include "search/search_run.h"

namespace qb {

EngineChoice ChooseEngines(const std::vector<EngineDef>& known,
                           const std::vector<std::string>& names) {
  EngineChoice choice;
  if (names.empty()) {
    for (const EngineDef& e : known)
      if (e.enabled) choice.engines.push_back(e);
    return choice;
  }
  for (const std::string& name : names) {
    const EngineDef* match = nullptr;
    for (const EngineDef& e : known)
      if (EqualNoCase(e.name, name)) match = &e;
    if (!match) {
      choice.unknown = name;
      return choice;
    }
    choice.engines.push_back(*match);
  }
  return choice;
}

int SearchEngines(const std::string& term, const std::vector<EngineDef>& engines, int maxPages,
                  const std::function<void(const std::string&)>& problem) {
  const std::string prepared = PrepareQuery(term);
  int newSites = 0;
  for (const EngineDef& engine : engines) {
    EnginePageHooks hooks;
    hooks.found = [&](std::string& site) {
      bool added = false;
      AddUniqueSite(site, added, true);
      if (added) ++newSites;
    };
    const EnginePagesEnd end = AskEnginePages(engine, prepared, maxPages, hooks);
    if (end.failed) problem(engine.name + ": " + end.why);
  }
  return newSites;
}

}  // namespace qb

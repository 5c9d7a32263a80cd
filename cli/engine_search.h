#pragma once
// Asks search engines for a term without a window and adds the ftp:// sites
// they name to the site table.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "search/engine_def.h"

namespace qb {

// The engines named (case ignored; all enabled ones when none is), or the first
// name that is none of them.
struct EngineChoice {
  std::vector<EngineDef> engines;
  std::optional<std::string> unknown;
};
EngineChoice ChooseEngines(const std::vector<EngineDef>& known,
                           const std::vector<std::string>& names);

// Asks each engine in turn, at most maxPages pages each (problem hears of an
// engine whose pages failed); every site found goes into the site table once.
// The number of new sites.
int SearchEngines(const std::string& term, const std::vector<EngineDef>& engines, int maxPages,
                  const std::function<void(const std::string&)>& problem);

}  // namespace qb

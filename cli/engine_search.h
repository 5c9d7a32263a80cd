#pragma once
// Asks search engines for a term without a window and adds the ftp:// sites
// they name to the site table; the local index answers as an engine too.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/site_record.h"
#include "index/index_db.h"
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
// engine whose pages failed); every site found goes into the site table once,
// but those skip holds (when set). The number of new sites.
// keys finds the key of an engine that needs one.
int SearchEngines(const std::string& term, const std::vector<EngineDef>& engines, int maxPages,
                  const std::function<void(const std::string&)>& problem,
                  const std::function<bool(const std::string&)>& skip = nullptr,
                  const KeyLookup& keys = nullptr);

// The name that asks the local index, case ignored.
inline constexpr const char* IndexEngineName = "Index";
bool IsIndexEngine(const std::string& name);

// The local index as an engine: each folder holding names that contain every
// word of term (any case) is a site, its URL the site's and the folder's, with
// the site's stored status and those names as its entries, in index order. At
// most maxHits names are read; truncated says when more matched.
struct StoredSites {
  std::vector<SiteRecord> sites;
  bool truncated = false;
};
StoredSites IndexSites(IndexDb& db, const std::string& term, int64_t maxHits, std::string& error);

}  // namespace qb

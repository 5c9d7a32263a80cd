#include "cli/engine_search.h"

#include <memory>

#include "core/service_hosts.h"
#include "core/site_table.h"
#include "core/text_helpers.h"
#include "net/http_fetcher.h"
#include "search/engine.h"
#include "search/search_run.h"

namespace qb {

std::vector<std::string> EngineNames() {
  std::vector<std::string> names;
  names.reserve(EngineCount);
  for (int i = 0; i < EngineCount; ++i) names.emplace_back(Engine(i).name);
  return names;
}

int EngineIndexByName(const std::string& name) {
  std::string wanted;
  for (const char c : name) wanted += AsciiLower(c);
  for (int i = 0; i < EngineCount; ++i) {
    std::string known;
    for (const char* c = Engine(i).name; *c; ++c) known += AsciiLower(*c);
    if (known == wanted) return i;
  }
  return -1;
}

int SearchEngines(const std::string& term, const std::vector<int>& engines, int maxPages,
                  const std::function<void(const std::string&)>& problem) {
  const std::string prepared = PrepareQuery(term);
  int newSites = 0;
  for (const int index : engines) {
    const EngineSpec& engine = Engine(index);
    const std::string host = ServiceHost(engine.name, engine.defaultHost);
    int pageValue = engine.firstPage;
    int failures = 0;
    for (int page = 0; page < maxPages;) {
      const std::string url = EngineRequestUrl(engine, host, prepared, pageValue);
      const char* tag = nullptr;
      std::unique_ptr<char[]> body =
          FetchPage(url.c_str(), &tag, EngineFetchTimeOut, engine.stopMarker);
      if (!body) {
        if (++failures < 2) continue;  // one retry of the same page
        problem(std::string(engine.name) + ": " + (tag ? tag : "no page") + " from " + url);
        break;
      }
      failures = 0;
      ++page;
      StripControlChars(body.get());
      const ScanResult scan = ScanEnginePage(engine, body.get(), [&](std::string& site) {
        bool added = false;
        AddUniqueSite(site, added, true);
        if (added) ++newSites;
      });
      if (scan.results == 0) break;
      pageValue += engine.pageStep;
    }
  }
  return newSites;
}

}  // namespace qb

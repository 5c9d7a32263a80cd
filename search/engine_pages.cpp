#include "search/engine_pages.h"

#include <memory>
#include <unordered_set>

#include "core/service_hosts.h"
#include "core/settings.h"
#include "core/text_helpers.h"
#include "net/http_fetcher.h"
#include "net/https_fetcher.h"
#include "search/host_pace.h"

namespace qb {

std::string EngineHost(const EngineDef& engine) {
  return ServiceHost(engine.name.c_str(), engine.host.c_str());
}

EnginePagesEnd AskEnginePages(const EngineDef& engine, const std::string& term, int maxPages,
                              const EnginePageHooks& hooks) {
  EnginePagesEnd end;
  const std::string host = EngineHost(engine);
  const char* stop = engine.stop.empty() ? nullptr : engine.stop.c_str();
  int limit = engine.pageLimit;
  if (maxPages > 0 && (limit == 0 || maxPages < limit)) limit = maxPages;
  if (limit == 0 || limit > EnginePagesMax) limit = EnginePagesMax;
  const std::chrono::milliseconds pause(Settings.EnginePause.load());
  int pageValue = engine.firstPage;
  int failures = 0;
  // Every result seen on this engine's pages: a page of none new ends the walk,
  // however the engine's pages are numbered.
  std::unordered_set<std::string> seen;
  while (!hooks.goOn || hooks.goOn()) {
    if (end.pages >= limit) break;
    const EngineRequest request = EngineRequestFor(engine, host, term, pageValue);
    if (!WaitForHost(request.url, pause, hooks.goOn)) break;
    const char* tag = nullptr;
    std::unique_ptr<char[]> page =
        request.post ? PostPage(request.url.c_str(), request.body, request.contentType.c_str(),
                                &tag, EngineFetchTimeOut, stop)
                     : FetchPage(request.url.c_str(), &tag, EngineFetchTimeOut, stop);
    if (!page) {
      if (++failures < 2) continue;  // one retry of the same page
      end.failed = true;
      end.why = std::string(tag ? tag : "no page") + " from " + request.url;
      break;
    }
    failures = 0;
    ++end.pages;
    // The generic rule reads line breaks as the ends of URLs in text.
    if (engine.rule != ResultRule::Generic) StripControlChars(page.get());
    bool anyNew = false;
    const ScanResult scan = ScanEnginePage(engine, page.get(), [&](std::string& site) {
      if (seen.size() < SeenMax && seen.insert(site).second) anyNew = true;
      if (hooks.found) hooks.found(site);
    });
    page.reset();
    if (hooks.scanned) hooks.scanned(scan, end.results);
    end.results += scan.results;
    if (scan.results == 0 || scan.noMore || !anyNew) break;
    pageValue += engine.pageStep;
  }
  return end;
}

}  // namespace qb

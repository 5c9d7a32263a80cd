#include "search/engine_pages.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "core/service_hosts.h"
#include "core/settings.h"
#include "core/text_helpers.h"
#include "net/http_fetcher.h"
#include "net/https_fetcher.h"
#include "search/host_pace.h"
#include "search/json_rule.h"
#include "search/key_mask.h"

namespace qb {

std::string EngineHost(const EngineDef& engine) {
  return ServiceHost(engine.name.c_str(), engine.host.c_str());
}

bool HostCanAnswer(std::string_view host) {
  // Names under .invalid never resolve (RFC 6761): the built-in engines'
  // hosts are such names until the settings' [Hosts] name real ones.
  const std::size_t colon = host.rfind(':');
  if (colon != std::string_view::npos && host.find(']') == std::string_view::npos &&
      host.find(':') == colon)
    host = host.substr(0, colon);
  while (!host.empty() && host.back() == '.') host.remove_suffix(1);
  constexpr std::string_view Invalid = ".invalid";
  const bool invalid = EqualNoCase(host, "invalid") ||
                       (host.size() > Invalid.size() &&
                        EqualNoCase(host.substr(host.size() - Invalid.size()), Invalid));
  return !host.empty() && !invalid;
}

std::string EngineCannotAnswer(const EngineDef& engine, const KeyLookup& keys) {
  const bool usesHost = engine.url.find("{host}") != std::string::npos ||
                        engine.body.find("{host}") != std::string::npos ||
                        engine.header.find("{host}") != std::string::npos;
  if (usesHost && !HostCanAnswer(EngineHost(engine))) return "no host";
  if (!EngineNeedsKey(engine)) return "";
  const std::optional<std::string> key = keys ? keys(engine.name) : std::nullopt;
  return key && !key->empty() ? "" : "no key";
}

namespace {

bool HasControlChar(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

}  // namespace

EnginePagesEnd AskEnginePages(const EngineDef& engine, const std::string& term, int maxPages,
                              const EnginePageHooks& hooks) {
  EnginePagesEnd end;
  const std::string host = EngineHost(engine);
  std::string key;
  if (EngineNeedsKey(engine)) {
    const std::optional<std::string> found = hooks.keys ? hooks.keys(engine.name) : std::nullopt;
    if (!found || found->empty() || HasControlChar(*found)) {
      end.failed = true;
      end.why = found && !found->empty() ? "its key holds a control character" : "no key";
      return end;
    }
    key = *found;
  }
  const char* stop = engine.stop.empty() ? nullptr : engine.stop.c_str();
  int limit = engine.pageLimit;
  if (maxPages > 0 && (limit == 0 || maxPages < limit)) limit = maxPages;
  if (limit == 0 || limit > EnginePagesMax) limit = EnginePagesMax;
  const std::chrono::milliseconds pause(Settings.EnginePause.load());
  int pageValue = engine.firstPage;
  std::string cursor;
  int failures = 0, retries = 0;
  // Every result seen on this engine's pages: a page of none new ends the walk,
  // however the engine's pages are numbered.
  std::unordered_set<std::string> seen;
  while (!hooks.goOn || hooks.goOn()) {
    if (end.pages >= limit) break;
    EngineRequest request = EngineRequestFor(engine, host, term, pageValue, key, cursor);
    // A JSON answer cut short cannot be read, and a site list cut short loses sites.
    if (engine.rule == ResultRule::Json || engine.kind == EngineKind::SiteList)
      request.wholeUpTo = JsonAnswerMax;
    if (!WaitForHost(request.url, pause, hooks.goOn)) break;
    PageAnswer answer = AskPage(request, EngineFetchTimeOut, stop);
    std::unique_ptr<char[]> page = std::move(answer.page);
    if (!page) {
      const bool busy = answer.status == 429 || answer.status == 503;
      if (busy && answer.retryAfterSeconds > RetryAfterMaxSeconds) {
        end.failed = true;
        end.why = MaskKey("HTTP " + std::to_string(answer.status) + " asking to wait " +
                              std::to_string(answer.retryAfterSeconds) + " s (more than " +
                              std::to_string(RetryAfterMaxSeconds) + " s) from " + request.url,
                          key);
        break;
      }
      if (busy && answer.retryAfterSeconds >= 0 && retries < RetryAfterTries) {
        ++retries;
        DeferHost(request.url, std::chrono::seconds(answer.retryAfterSeconds));
        continue;
      }
      // One retry of the same page; one too large would come too large again.
      const bool tooLarge = answer.tag && std::string_view(answer.tag) == TagTooLarge;
      if (++failures < 2 && !tooLarge) continue;
      end.failed = true;
      end.why =
          MaskKey(std::string(answer.tag ? answer.tag : "no page") + " from " + request.url, key);
      break;
    }
    failures = 0;
    retries = 0;
    ++end.pages;
    // The generic rule reads line breaks as the ends of URLs in text; JSON keeps
    // its own white space.
    if (engine.rule != ResultRule::Generic && engine.rule != ResultRule::Json)
      StripControlChars(page.get());
    bool anyNew = false;
    const ScanResult scan = ScanEnginePage(engine, page.get(), [&](std::string& site) {
      if (seen.size() < SeenMax && seen.insert(site).second) anyNew = true;
      if (hooks.found) hooks.found(site);
    });
    page.reset();
    if (hooks.scanned) hooks.scanned(scan, end.results);
    end.results += scan.results;
    if (scan.results == 0 || scan.noMore || !anyNew) break;
    if (!engine.nextFrom.empty()) {
      if (scan.cursor.empty() || scan.cursor == cursor) break;
      cursor = scan.cursor;
    }
    pageValue += engine.pageStep;
  }
  return end;
}

}  // namespace qb

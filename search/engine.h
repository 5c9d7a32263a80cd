#pragma once
// The five web FTP-search engines: one loop, the engines as a table of data.
#include <cstdint>
#include <functional>
#include <string>

#include "core/controls.h"

namespace qb {

// How a result is recognised in a page and which text becomes its URL.
enum class ResultRule {
  Anchor,    // <a href="ftp://...">, cut back to the folder
  ClassLs,   // "class=ls", then q=... up to " class"
  Form,      // HREF="ftp://...", cut back to the folder
  Advanced,  // ;oquery=... up to the closing quote
  Path,      // path=... up to "&", cut back only when the page calls it a file
};

// An engine and the search dialog's controls that show it.
struct EngineSpec : EngineControls {
  const char* name;  // also its key in the [Hosts] section
  const char* defaultHost;
  const char* pathTemplate;  // "%s" takes the query term, "%i" the page value
  int firstPage, pageStep;
  const char* stopMarker;  // null: the page ends only by the fetcher's own rules
  ResultRule rule;
};

// Table order: AnchorEngine, ClassLsEngine, FormEngine, AdvancedEngine, PathEngine.
const EngineSpec& Engine(int index);

inline constexpr int EngineFetchTimeOut = 20;  // seconds

// Thread body: fetches the engine's pages until a page gives no result, the run
// stops, its box is unticked or two fetches in a row fail.
void EngineThread(int index);
// The same for a run of the given search session; it ends, touching nothing,
// once that session has.
void EngineThreadFor(int index, uint64_t session);

// The prepared term, written by the search run before it starts the engines.
void SetQueryTerm(const std::string& prepared);
std::string GetQueryTerm();

// "http://" + host + the path for one page value.
std::string EngineRequestUrl(const EngineSpec& engine, const std::string& host,
                             const std::string& term, int pageValue);

struct ScanResult {
  int results = 0;               // by the engine's counting rule
  bool noFurtherMarker = false;  // false when a result without its end stopped the scan
};

// Scans one page (already stripped of line breaks; the page is changed in place).
// take receives each result URL decoded and cut back where the rule says; results
// without a host are counted but not passed on.
ScanResult ScanEnginePage(const EngineSpec& engine, char* page,
                          const std::function<void(std::string& url)>& take);

}  // namespace qb

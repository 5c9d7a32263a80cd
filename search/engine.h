#pragma once
// The web FTP-search engines at work: one thread per engine of the current set,
// and how a result page is scanned.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/controls.h"
#include "search/engine_def.h"
#include "search/engine_set.h"

namespace qb {

// Thread body for the index-th engine of the current set: fetches its pages until
// a page gives no result, the run stops, its box is unticked or two fetches in a
// row fail.
void EngineThread(int index);
// The same for a run of the given search session and its engine set; it ends,
// touching nothing, once that session has.
void EngineThreadFor(int index, uint64_t session);
void EngineThreadFor(const std::shared_ptr<const std::vector<ActiveEngine>>& engines, int index,
                     uint64_t session);

// The prepared term, written by the search run before it starts the engines.
void SetQueryTerm(const std::string& prepared);
std::string GetQueryTerm();

struct ScanResult {
  int results = 0;               // by the engine's counting rule
  bool noFurtherMarker = false;  // false when a result without its end stopped the scan
  bool noMore = false;           // the page holds the engine's "no more results" marker
  std::string cursor;            // Json rule with NextFrom: the next page's {cursor}
};

// Scans one page (the built-in rules want it stripped of line breaks; the page is
// changed in place), only between the engine's begin and end markers when it has
// them. take receives each result URL decoded and cut back where the rule says;
// results without a host, or too long for the site table, are counted but not
// passed on.
ScanResult ScanEnginePage(const EngineDef& engine, char* page,
                          const std::function<void(std::string& url)>& take);

}  // namespace qb

// The engines' page scans on arbitrary pages, feeding the SiteTable: the five
// built-in rules, the generic one, each with or without begin, end and no-more
// markers.
#include <cstdlib>
#include <cstring>

#include "core/site_table.h"
#include "core/text_helpers.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/table_check.h"
#include "search/engine.h"
#include "search/search_view.h"

using namespace qb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  qbfuzz::Picker pick(data, size);
  const int index = pick.Byte() % (EngineCount + 1);
  EngineDef engine = index < EngineCount ? BuiltinEngines()[index] : EngineDef{};
  if (index == EngineCount) engine.rule = ResultRule::Generic;
  const uint8_t markers = pick.Byte();
  if (markers & 1) engine.begin = "<r>";
  if (markers & 2) engine.end = "</r>";
  if (markers & 4) engine.noMore = "none";
  // Engines whose URL is copied into a field (all but the anchor rule) keep it
  // within the field; every rule hands on only ftp:// URLs with a host.
  const bool copied = engine.rule != ResultRule::Anchor;

  ResetSites();
  char* page = qbfuzz::ExactText(pick.data(), pick.size());
  const std::size_t pageLength = std::strlen(page);
  if (engine.rule != ResultRule::Generic) StripControlChars(page);
  int taken = 0;
  const ScanResult scan = ScanEnginePage(engine, page, [&](std::string& url) {
    ++taken;
    FUZZ_CHECK(url.compare(0, 6, "ftp://") == 0);
    FUZZ_CHECK(url.size() > 6 && url[6] != '/');
    if (copied) FUZZ_CHECK(url.size() < SiteUrlSize);
    FUZZ_CHECK(url.size() <= pageLength + 6);
    bool added = false;
    AddUniqueSite(url, added, true);
    FUZZ_CHECK(!url.empty() && url.back() == '/');
  });
  FUZZ_CHECK(taken <= scan.results);
  qbfuzz::CheckSiteTable();
  std::free(page);
  return 0;
}

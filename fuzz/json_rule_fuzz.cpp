// The Json rule on arbitrary answers: the first byte picks the Items path, Site
// template and NextFrom among the shapes engines use; every site handed on is
// an ftp:// URL with a host, the scan never throws and never recurses deeper
// than its bound.
#include <array>
#include <cstdlib>
#include <cstring>

#include "core/site_table.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/table_check.h"
#include "search/engine.h"

using namespace qb;

namespace {

struct Shape {
  const char* items;
  const char* site;
  const char* nextFrom;
};
constexpr std::array<Shape, 4> Shapes = {{{"matches", "ftp://{ip_str}:{port}/", ""},
                                          {"result.hits", "ftp://{ip}/", "result.links.next"},
                                          {"hits.hits", "{_source.url}", ""},
                                          {"", "{u}", "n"}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  qbfuzz::Picker pick(data, size);
  const Shape& shape = Shapes[pick.Byte() % Shapes.size()];
  EngineDef engine;
  engine.rule = ResultRule::Json;
  engine.items = shape.items;
  engine.site = shape.site;
  engine.nextFrom = shape.nextFrom;

  ResetSites();
  char* page = qbfuzz::ExactText(pick.data(), pick.size());
  int taken = 0;
  const ScanResult scan = ScanEnginePage(engine, page, [&](std::string& url) {
    ++taken;
    FUZZ_CHECK(url.compare(0, 6, "ftp://") == 0);
    FUZZ_CHECK(url.size() > 6 && url[6] != '/' && url[6] != ':');
    FUZZ_CHECK(url.size() < SiteUrlSize);
    bool added = false;
    AddUniqueSite(url, added, true);
  });
  FUZZ_CHECK(taken <= scan.results);
  if (shape.nextFrom[0] == '\0') FUZZ_CHECK(scan.cursor.empty());
  qbfuzz::CheckSiteTable();
  std::free(page);
  return 0;
}

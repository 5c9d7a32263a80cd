#include "search/engine.h"

#include <cstring>
#include <mutex>

#include "core/service_hosts.h"
#include "core/site_table.h"
#include "core/text_helpers.h"
#include "net/http_fetcher.h"
#include "search/search_view.h"

namespace {

const EngineSpec engines[EngineCount] = {
    {"AnchorEngine", "anchor.engines.invalid", "/s/s?q=%s&cl=1&skip=%i", 0, 20, nullptr,
     ResultRule::Anchor, 101, 104, 1200, 1300, 240, 110},
    {"ClassLsEngine", "classls.engines.invalid", "/cgi-bin/s?q=%s&m=50&f=%i", 1, 50, nullptr,
     ResultRule::ClassLs, 103, 121, 1400, 1500, 242, 112},
    {"FormEngine", "form.engines.invalid", "/s.php3?q=%s&X=%i", 0, 20, "</FORM>",
     ResultRule::Form, 800, 114, 1600, 106, 241, 111},
    {"AdvancedEngine", "advanced.engines.invalid",
     "/swadv/AdvResults.asp?form=advanced&query=%s&type=Case+insensitive+substring+search"
     "&hits=15&matches=&hitsprmatch=&limdom=&limpath=&limsize1=&limsize2=&limtime1="
     "&limtime2=&f1=Path&f2=-&f3=-&f4=-&f5=-&f6=-&header=none&sort=none&trlen=20&offset=%i",
     0, 15, "Copyright", ResultRule::Advanced, 187, 128, 123, 124, 108, 113},
    {"PathEngine", "path.engines.invalid", "/ls?pattern=%s&a=%i", 1, 20, nullptr,
     ResultRule::Path, 118, 122, 116, 117, 125, 115},
};

std::mutex termLock;
std::string queryTerm;

}  // namespace

const EngineSpec& Engine(int index) { return engines[index]; }

void SetQueryTerm(const std::string& prepared) {
  std::lock_guard<std::mutex> hold(termLock);
  queryTerm = prepared;
}

std::string GetQueryTerm() {
  std::lock_guard<std::mutex> hold(termLock);
  return queryTerm;
}

std::string EngineRequestUrl(const EngineSpec& engine, const std::string& host,
                             const std::string& term, int pageValue) {
  std::string url = "http://" + host;
  for (const char* p = engine.pathTemplate; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      url += term;
      ++p;
    } else if (p[0] == '%' && p[1] == 'i') {
      url += std::to_string(pageValue);
      ++p;
    } else {
      url += *p;
    }
  }
  return url;
}

ScanResult ScanEnginePage(const EngineSpec&, char*, const std::function<void(std::string&)>&) {
  return {};
}

void EngineThread(int) {}

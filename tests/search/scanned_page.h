#pragma once
// One page scanned by an engine's rule: what the scan said and the URLs it gave.
#include <string>
#include <vector>

#include "search/engine.h"

namespace qbtest {

struct Scanned {
  qb::ScanResult result;
  std::vector<std::string> urls;
};

inline Scanned ScanPage(const qb::EngineDef& engine, std::string page) {
  Scanned out;
  out.result =
      qb::ScanEnginePage(engine, page.data(), [&](std::string& url) { out.urls.push_back(url); });
  return out;
}

}  // namespace qbtest

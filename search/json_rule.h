#pragma once
// The Json rule: an engine that answers in JSON names its sites in fields of
// the items of one array, and may name the cursor of its next page.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "search/engine_def.h"

namespace qb {

// Deeper answers are refused before they are parsed.
inline constexpr int JsonDepthMax = 64;
// An answer (and a site list's page) is read whole, up to this size: a device
// search's page of a hundred hosts with their banners runs to a few hundred
// kilobytes.
inline constexpr std::size_t JsonAnswerMax = std::size_t{4} << 20;

struct JsonAnswer {
  int items = 0;       // the array's items, each counted as a result
  std::string cursor;  // NextFrom's value as text; empty: no next page
};

// Calls take with each item's Site template filled from its fields, when every
// field it names is a string or number and the result begins with ftp://; other
// items are counted and skipped. Never throws.
JsonAnswer ScanJsonAnswer(const EngineDef& engine, std::string_view answer,
                          const std::function<void(std::string& url)>& take);

}  // namespace qb

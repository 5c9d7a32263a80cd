#include "search/json_rule.h"

#include <nlohmann/json.hpp>

#include "core/text_helpers.h"

namespace qb {

namespace {

using Json = nlohmann::json;

// Brackets outside strings, counted without parsing: the parser recurses.
bool WithinDepth(std::string_view text) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > JsonDepthMax) return false;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return true;
}

// The value at a dotted path, or null when a step is missing; an empty path is
// the value itself.
const Json* At(const Json& value, std::string_view path) {
  const Json* at = &value;
  while (!path.empty()) {
    const std::size_t dot = path.find('.');
    const std::string step(path.substr(0, dot));
    if (!at->is_object()) return nullptr;
    const auto found = at->find(step);
    if (found == at->end()) return nullptr;
    at = &*found;
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
  }
  return at;
}

// A string as it stands, a number as written; anything else is no text.
bool AsText(const Json* value, std::string& text) {
  if (!value) return false;
  if (value->is_string()) {
    text = value->get<std::string>();
    return true;
  }
  if (value->is_number()) {
    text = value->dump();
    return true;
  }
  return false;
}

// The template with each "{path}" replaced by the item's field; false when a
// field is missing or not text. A brace without its closing one is text.
bool FillSite(const std::string& pattern, const Json& item, std::string& site) {
  site.clear();
  std::size_t copied = 0;
  for (std::size_t open = pattern.find('{'); open != std::string::npos;
       open = pattern.find('{', copied)) {
    const std::size_t close = pattern.find('}', open + 1);
    if (close == std::string::npos) break;
    site.append(pattern, copied, open - copied);
    std::string field;
    if (!AsText(At(item, std::string_view{pattern}.substr(open + 1, close - open - 1)), field))
      return false;
    site += field;
    copied = close + 1;
  }
  site.append(pattern, copied);
  return true;
}

bool IsFtpUrl(const std::string& text) {
  return text.size() > 6 && EqualNoCase(std::string_view{text}.substr(0, 6), "ftp://");
}

}  // namespace

JsonAnswer ScanJsonAnswer(const EngineDef& engine, std::string_view answer,
                          const std::function<void(std::string& url)>& take) {
  JsonAnswer out;
  if (!WithinDepth(answer)) return out;
  try {
    const Json root = Json::parse(answer.begin(), answer.end(), nullptr, false);
    if (root.is_discarded()) return out;
    if (!engine.nextFrom.empty()) {
      std::string cursor;
      if (AsText(At(root, engine.nextFrom), cursor)) out.cursor = std::move(cursor);
    }
    const Json* items = At(root, engine.items);
    if (!items || !items->is_array()) return out;
    std::string site;
    for (const Json& item : *items) {
      ++out.items;
      if (!FillSite(engine.site, item, site) || !IsFtpUrl(site)) continue;
      // The scheme as the other rules give it, whatever case the answer used.
      site.replace(0, 6, "ftp://");
      take(site);
    }
  } catch (const std::exception&) {
    // Whatever a hostile answer reaches in the library ends it, as unreadable.
    return {};
  }
  return out;
}

}  // namespace qb

#pragma once
// A web search engine as data: how its pages are asked for and how results are
// found in them. The five built-in engines are definitions like any other.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/https_fetcher.h"

namespace qb {

// How a result is recognised in a page and which text becomes its URL.
enum class ResultRule {
  Anchor,    // <a href="ftp://...">, cut back to the folder
  ClassLs,   // "class=ls", then q=... up to " class"
  Form,      // HREF="ftp://...", cut back to the folder
  Advanced,  // ;oquery=... up to the closing quote
  Path,      // path=... up to "&", cut back only when the page calls it a file
  Generic,   // every ftp:// URL in attributes, text or JSON strings, cut back to the folder
  Json,      // the answer is JSON: each item under Items gives a site by the Site template
};

// A search asks for a term; a site list's page names sites whatever the term.
enum class EngineKind { Search, SiteList };
enum class EngineAuth { None, Basic };

// The key of the engine named, when one is kept for it.
using KeyLookup = std::function<std::optional<std::string>(const std::string& engineName)>;

// "Anchor", ..., "Json".
const char* RuleName(ResultRule rule);
// Case ignored; false for an unknown name.
bool ParseRule(const std::string& name, ResultRule& rule);
const char* KindName(EngineKind kind);
bool ParseKind(const std::string& name, EngineKind& kind);
const char* AuthName(EngineAuth auth);
bool ParseAuth(const std::string& name, EngineAuth& auth);

inline constexpr int MaxEngines = 32;
inline constexpr std::size_t MaxEngineNameChars = 40;

struct EngineDef {
  std::string name;  // also its key in the settings file's [Hosts] section
  bool enabled = true;
  std::string host;  // what {host} stands for unless [Hosts] names another
  EngineKind kind = EngineKind::Search;
  // Placeholders: {term} the escaped term, {jsonterm} the term for a JSON string,
  // {page} the page value, {host}, {key} the engine's key, {cursor} the value
  // NextFrom found in the answer before.
  std::string url;
  std::string method = "GET";  // or POST
  std::string body;            // POST only, with the same placeholders
  std::string contentType;     // POST only; empty: a form body
  int firstPage = 0, pageStep = 1;
  int pageLimit = 0;  // pages asked for at most; 0: until a page has no result
  ResultRule rule = ResultRule::Generic;
  std::string begin, end;  // when set, only the page's text between them is scanned
  std::string stop;        // the page ends once this has arrived
  std::string noMore;      // a page holding this is the last one asked for
  // Json rule: the dotted path to the array of items (empty: the answer itself),
  // and the site made of each item, "{dotted.path}" standing for its fields.
  std::string items, site;
  // A dotted path to the next page's {cursor}; empty: pages go by number.
  std::string nextFrom;
  EngineAuth auth = EngineAuth::None;  // Basic: the key is "user:secret"
  std::string header;                  // one more request header, "Name: value"

  bool operator==(const EngineDef&) const = default;
};

// Table order: AnchorEngine, ClassLsEngine, FormEngine, AdvancedEngine, PathEngine.
const std::vector<EngineDef>& BuiltinEngines();

// Why the definition cannot be used, one line each; empty when it can.
std::vector<std::string> EngineDefProblems(const EngineDef& engine);

// A key or cursor as it goes into a URL: all but letters, digits and -._~ escaped.
std::string KeyInUrl(std::string_view key);

// Whether the definition asks for a key, by {key} or basic authentication.
bool EngineNeedsKey(const EngineDef& engine);

using EngineRequest = PageRequest;

// The request for one page; host is {host} as the caller resolved it, term the
// term as PrepareQuery escapes it.
EngineRequest EngineRequestFor(const EngineDef& engine, const std::string& host,
                               const std::string& term, int pageValue, const std::string& key = {},
                               const std::string& cursor = {});

}  // namespace qb

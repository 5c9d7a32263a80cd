#pragma once
// A web search engine as data: how its pages are asked for and how results are
// found in them. The five built-in engines are definitions like any other.
#include <cstddef>
#include <string>
#include <vector>

namespace qb {

// How a result is recognised in a page and which text becomes its URL.
enum class ResultRule {
  Anchor,    // <a href="ftp://...">, cut back to the folder
  ClassLs,   // "class=ls", then q=... up to " class"
  Form,      // HREF="ftp://...", cut back to the folder
  Advanced,  // ;oquery=... up to the closing quote
  Path,      // path=... up to "&", cut back only when the page calls it a file
  Generic,   // every ftp:// URL in attributes, text or JSON strings, cut back to the folder
};

// "Anchor", ..., "Generic".
const char* RuleName(ResultRule rule);
// Case ignored; false for an unknown name.
bool ParseRule(const std::string& name, ResultRule& rule);

inline constexpr int MaxEngines = 32;
inline constexpr std::size_t MaxEngineNameChars = 40;

struct EngineDef {
  std::string name;  // also its key in the settings file's [Hosts] section
  bool enabled = true;
  std::string host;  // what {host} stands for unless [Hosts] names another
  // Placeholders: {term} the escaped term, {jsonterm} the term for a JSON string,
  // {page} the page value, {host}.
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

  bool operator==(const EngineDef&) const = default;
};

// Table order: AnchorEngine, ClassLsEngine, FormEngine, AdvancedEngine, PathEngine.
const std::vector<EngineDef>& BuiltinEngines();

// Why the definition cannot be used, one line each; empty when it can.
std::vector<std::string> EngineDefProblems(const EngineDef& engine);

struct EngineRequest {
  std::string url, body, contentType;
  bool post = false;
};

// The request for one page; host is {host} as the caller resolved it, term the
// term as PrepareQuery escapes it.
EngineRequest EngineRequestFor(const EngineDef& engine, const std::string& host,
                               const std::string& term, int pageValue);

}  // namespace qb

#include "search/engine_def.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "core/text_helpers.h"

namespace qb {

namespace {

constexpr std::array<const char*, 7> RuleNames = {"Anchor", "ClassLs", "Form", "Advanced",
                                                  "Path",   "Generic", "Json"};
constexpr std::array<const char*, 2> KindNames = {"Search", "SiteList"};
constexpr std::array<const char*, 2> AuthNames = {"none", "basic"};

template <class Enum, std::size_t N>
bool ParseName(const std::array<const char*, N>& names, const std::string& name, Enum& value) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (EqualNoCase(name, names[i])) {
      value = static_cast<Enum>(i);
      return true;
    }
  }
  return false;
}

std::vector<EngineDef> MakeBuiltins() {
  auto def = [](const char* name, const char* host, const char* path, int first, int step,
                const char* stop, ResultRule rule) {
    EngineDef e;
    e.name = name;
    e.host = host;
    e.url = std::string("http://{host}") + path;
    e.firstPage = first;
    e.pageStep = step;
    e.stop = stop;
    e.rule = rule;
    return e;
  };
  return {
      def("AnchorEngine", "anchor.engines.invalid", "/s/s?q={term}&cl=1&skip={page}", 0, 20, "",
          ResultRule::Anchor),
      def("ClassLsEngine", "classls.engines.invalid", "/cgi-bin/s?q={term}&m=50&f={page}", 1, 50,
          "", ResultRule::ClassLs),
      def("FormEngine", "form.engines.invalid", "/s.php3?q={term}&X={page}", 0, 20, "</FORM>",
          ResultRule::Form),
      def("AdvancedEngine", "advanced.engines.invalid",
          "/swadv/AdvResults.asp?form=advanced&query={term}&type=Case+insensitive+substring+search"
          "&hits=15&matches=&hitsprmatch=&limdom=&limpath=&limsize1=&limsize2=&limtime1="
          "&limtime2=&f1=Path&f2=-&f3=-&f4=-&f5=-&f6=-&header=none&sort=none&trlen=20"
          "&offset={page}",
          0, 15, "Copyright", ResultRule::Advanced),
      def("PathEngine", "path.engines.invalid", "/ls?pattern={term}&a={page}", 1, 20, "",
          ResultRule::Path),
  };
}

// The escaped term back as typed, for a JSON string: quotes, backslashes and
// control characters escaped, other bytes (UTF-8 included) as they are.
std::string JsonTerm(const std::string& prepared) {
  std::string text = prepared;
  for (char& c : text)
    if (c == '+') c = ' ';
  PercentDecode(text.data());
  text.resize(std::char_traits<char>::length(text.c_str()));
  std::string json;
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      json += escape;
    } else {
      json += c;
    }
  }
  return json;
}

// Calls each(name, at) for every "{name}" made of lower-case letters; other
// braces (a JSON body's own) are text.
template <class Each>
void ForEachPlaceholder(std::string_view text, Each&& each) {
  for (std::size_t at = text.find('{'); at != std::string_view::npos; at = text.find('{', at + 1)) {
    std::size_t end = at + 1;
    while (end < text.size() && text[end] >= 'a' && text[end] <= 'z') ++end;
    if (end > at + 1 && end < text.size() && text[end] == '}')
      each(text.substr(at + 1, end - at - 1), at);
  }
}

bool KnownPlaceholder(std::string_view name) {
  return name == "term" || name == "jsonterm" || name == "page" || name == "host" ||
         name == "key" || name == "cursor";
}

struct FillValues {
  const std::string& host;
  const std::string& term;
  int pageValue;
  const std::string& key;     // as it goes into this text
  const std::string& cursor;  // likewise
};

std::string Fill(const std::string& text, const FillValues& v) {
  std::string out;
  std::size_t copied = 0;
  ForEachPlaceholder(text, [&](std::string_view name, std::size_t at) {
    if (!KnownPlaceholder(name) || at < copied) return;
    out.append(text, copied, at - copied);
    if (name == "term") out += v.term;
    if (name == "jsonterm") out += JsonTerm(v.term);
    if (name == "page") out += std::to_string(v.pageValue);
    if (name == "host") out += v.host;
    if (name == "key") out += v.key;
    if (name == "cursor") out += v.cursor;
    copied = at + name.size() + 2;
  });
  out += text.substr(copied);
  return out;
}

std::string Fill(const std::string& text, const std::string& host, const std::string& term,
                 int pageValue) {
  const std::string none;
  return Fill(text, FillValues{host, term, pageValue, none, none});
}

bool HasPlaceholder(const std::string& text, std::string_view wanted) {
  bool found = false;
  ForEachPlaceholder(text, [&](std::string_view name, std::size_t) { found |= name == wanted; });
  return found;
}

// Letters, digits, '_', '-' and '@' (Elasticsearch's "@timestamp") between dots.
bool DottedPath(const std::string& path) {
  if (path.empty() || path.front() == '.' || path.back() == '.') return false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const char c = path[i];
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-' || c == '@';
    if (!word && !(c == '.' && path[i + 1] != '.')) return false;
  }
  return true;
}

bool HeaderNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_';
}

}  // namespace

const char* RuleName(ResultRule rule) { return RuleNames[static_cast<std::size_t>(rule)]; }
bool ParseRule(const std::string& name, ResultRule& rule) {
  return ParseName(RuleNames, name, rule);
}
const char* KindName(EngineKind kind) { return KindNames[static_cast<std::size_t>(kind)]; }
bool ParseKind(const std::string& name, EngineKind& kind) {
  return ParseName(KindNames, name, kind);
}
const char* AuthName(EngineAuth auth) { return AuthNames[static_cast<std::size_t>(auth)]; }
bool ParseAuth(const std::string& name, EngineAuth& auth) {
  return ParseName(AuthNames, name, auth);
}

std::string KeyInUrl(std::string_view key) {
  static constexpr char Hex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : key) {
    const auto b = static_cast<unsigned char>(c);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += Hex[b >> 4];
      out += Hex[b & 15];
    }
  }
  return out;
}

bool EngineNeedsKey(const EngineDef& engine) {
  return engine.auth == EngineAuth::Basic || HasPlaceholder(engine.url, "key") ||
         HasPlaceholder(engine.body, "key") || HasPlaceholder(engine.header, "key");
}

const std::vector<EngineDef>& BuiltinEngines() {
  static const std::vector<EngineDef> builtins = MakeBuiltins();
  return builtins;
}

std::vector<std::string> EngineDefProblems(const EngineDef& engine) {
  std::vector<std::string> problems;
  if (engine.name.empty()) problems.emplace_back("it has no name");
  if (engine.name.size() > MaxEngineNameChars)
    problems.push_back("its name is longer than " + std::to_string(MaxEngineNameChars) +
                       " characters");
  for (const char c : engine.name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '[' || c == ']' || c == '=') {
      problems.emplace_back("its name holds a control character, a bracket or '='");
      break;
    }
  }
  for (const std::string* text :
       {&engine.name, &engine.host, &engine.url, &engine.method, &engine.body, &engine.contentType,
        &engine.begin, &engine.end, &engine.stop, &engine.noMore, &engine.items, &engine.site,
        &engine.nextFrom, &engine.header}) {
    if (text->find_first_of("\r\n") != std::string::npos) {
      problems.emplace_back("a value holds a line break");
      break;
    }
  }
  const bool post = EqualNoCase(engine.method, "POST");
  if (!post && !EqualNoCase(engine.method, "GET"))
    problems.push_back("Method is \"" + engine.method + "\"; GET or POST");
  const std::string url = Fill(engine.url, "h", "t", 0);
  if (!StartsWithNoCase(url, "http://") && !StartsWithNoCase(url, "https://"))
    problems.emplace_back("Url does not begin with http:// or https://");
  bool hasTerm = false;
  auto check = [&](const std::string& text, const char* key) {
    ForEachPlaceholder(text, [&](std::string_view name, std::size_t) {
      if (name == "term" || name == "jsonterm") hasTerm = true;
      if (!KnownPlaceholder(name))
        problems.push_back(std::string(key) + " has an unknown placeholder {" + std::string(name) +
                           "}");
    });
  };
  check(engine.url, "Url");
  if (post) check(engine.body, "Body");
  check(engine.header, "Header");
  if (!hasTerm && engine.kind == EngineKind::Search)
    problems.emplace_back("neither Url nor a POST Body nor the Header has the {term} placeholder");
  if (!engine.header.empty()) {
    const std::size_t colon = engine.header.find(':');
    bool named = colon != std::string::npos && colon > 0;
    for (std::size_t i = 0; named && i < colon; ++i) named = HeaderNameChar(engine.header[i]);
    if (!named) problems.emplace_back("Header is not \"Name: value\"");
  }
  const bool json = engine.rule == ResultRule::Json;
  if (json && engine.site.empty()) problems.emplace_back("Rule is Json but Site is empty");
  if (!json && (!engine.items.empty() || !engine.site.empty() || !engine.nextFrom.empty()))
    problems.emplace_back("Items, Site and NextFrom need Rule=Json");
  if (!engine.items.empty() && !DottedPath(engine.items))
    problems.push_back("Items is \"" + engine.items + "\", not a dotted path");
  if (!engine.nextFrom.empty() && !DottedPath(engine.nextFrom))
    problems.push_back("NextFrom is \"" + engine.nextFrom + "\", not a dotted path");
  const bool cursor =
      HasPlaceholder(engine.url, "cursor") || (post && HasPlaceholder(engine.body, "cursor"));
  if (!engine.nextFrom.empty() && !cursor)
    problems.emplace_back("NextFrom is set but neither Url nor a POST Body has {cursor}");
  if (engine.nextFrom.empty() && cursor)
    problems.emplace_back("{cursor} is used but NextFrom is empty");
  if (engine.url.find("{host}") != std::string::npos && engine.host.empty())
    problems.emplace_back("Url has {host} but Host is empty");
  if (engine.pageStep < 1 && engine.pageLimit != 1)
    problems.emplace_back("PageStep is below 1, so every page would be the same");
  if (engine.pageLimit < 0) problems.emplace_back("PageLimit is below 0");
  return problems;
}

EngineRequest EngineRequestFor(const EngineDef& engine, const std::string& host,
                               const std::string& term, int pageValue, const std::string& key,
                               const std::string& cursor) {
  EngineRequest request;
  // In the URL both go escaped; a body or header takes them as they are.
  const std::string urlKey = KeyInUrl(key), urlCursor = KeyInUrl(cursor);
  request.url = Fill(engine.url, FillValues{host, term, pageValue, urlKey, urlCursor});
  request.header = Fill(engine.header, FillValues{host, term, pageValue, key, cursor});
  if (engine.auth == EngineAuth::Basic) request.basicAuth = key;
  request.post = EqualNoCase(engine.method, "POST");
  if (request.post) {
    request.body = Fill(engine.body, FillValues{host, term, pageValue, key, cursor});
    request.contentType =
        engine.contentType.empty() ? "application/x-www-form-urlencoded" : engine.contentType;
  }
  return request;
}

}  // namespace qb

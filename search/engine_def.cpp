#include "search/engine_def.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "core/text_helpers.h"

namespace qb {

namespace {

constexpr std::array<const char*, 6> RuleNames = {"Anchor",   "ClassLs", "Form",
                                                  "Advanced", "Path",    "Generic"};

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
  return name == "term" || name == "jsonterm" || name == "page" || name == "host";
}

std::string Fill(const std::string& text, const std::string& host, const std::string& term,
                 int pageValue) {
  std::string out;
  std::size_t copied = 0;
  ForEachPlaceholder(text, [&](std::string_view name, std::size_t at) {
    if (!KnownPlaceholder(name) || at < copied) return;
    out.append(text, copied, at - copied);
    if (name == "term") out += term;
    if (name == "jsonterm") out += JsonTerm(term);
    if (name == "page") out += std::to_string(pageValue);
    if (name == "host") out += host;
    copied = at + name.size() + 2;
  });
  out += text.substr(copied);
  return out;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  for (std::size_t i = 0; prefix[i]; ++i)
    if (i >= text.size() || AsciiLower(text[i]) != prefix[i]) return false;
  return true;
}

}  // namespace

const char* RuleName(ResultRule rule) { return RuleNames[static_cast<std::size_t>(rule)]; }

bool ParseRule(const std::string& name, ResultRule& rule) {
  for (std::size_t i = 0; i < RuleNames.size(); ++i) {
    if (EqualNoCase(name, RuleNames[i])) {
      rule = static_cast<ResultRule>(i);
      return true;
    }
  }
  return false;
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
        &engine.begin, &engine.end, &engine.stop, &engine.noMore}) {
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
  if (!hasTerm) problems.emplace_back("neither Url nor a POST Body has the {term} placeholder");
  if (engine.url.find("{host}") != std::string::npos && engine.host.empty())
    problems.emplace_back("Url has {host} but Host is empty");
  if (engine.pageStep < 1 && engine.pageLimit != 1)
    problems.emplace_back("PageStep is below 1, so every page would be the same");
  if (engine.pageLimit < 0) problems.emplace_back("PageLimit is below 0");
  return problems;
}

EngineRequest EngineRequestFor(const EngineDef& engine, const std::string& host,
                               const std::string& term, int pageValue) {
  EngineRequest request;
  request.url = Fill(engine.url, host, term, pageValue);
  request.post = EqualNoCase(engine.method, "POST");
  if (request.post) {
    request.body = Fill(engine.body, host, term, pageValue);
    request.contentType =
        engine.contentType.empty() ? "application/x-www-form-urlencoded" : engine.contentType;
  }
  return request;
}

}  // namespace qb

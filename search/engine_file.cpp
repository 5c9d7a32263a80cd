#include "search/engine_file.h"

#include <charconv>
#include <fstream>

#include "core/ini_file.h"
#include "core/text_helpers.h"

namespace qb {

namespace {

bool ParseNumber(const std::string& text, int& value) {
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && at == end;
}

bool ParseFlag(const std::string& text, bool& value) {
  for (const char* yes : {"1", "true", "yes", "on"})
    if (EqualNoCase(text, yes)) return value = true;
  for (const char* no : {"0", "false", "no", "off"})
    if (EqualNoCase(text, no)) return !(value = false);
  return false;
}

using Entry = IniSection::Entry;

// Sets the field entry names; false with a reason when the key or value is bad.
bool Apply(EngineDef& e, const Entry& entry, std::string& why, bool& fatal) {
  const std::string& k = entry.key;
  const std::string& v = entry.value;
  fatal = true;
  struct Text {
    const char* key;
    std::string EngineDef::*field;
  };
  for (const Text& t :
       {Text{"Host", &EngineDef::host}, Text{"Url", &EngineDef::url},
        Text{"Method", &EngineDef::method}, Text{"Body", &EngineDef::body},
        Text{"ContentType", &EngineDef::contentType}, Text{"Begin", &EngineDef::begin},
        Text{"End", &EngineDef::end}, Text{"Stop", &EngineDef::stop},
        Text{"NoMore", &EngineDef::noMore}, Text{"Items", &EngineDef::items},
        Text{"Site", &EngineDef::site}, Text{"NextFrom", &EngineDef::nextFrom},
        Text{"Header", &EngineDef::header}}) {
    if (EqualNoCase(k, t.key)) {
      e.*t.field = v;
      return true;
    }
  }
  struct Number {
    const char* key;
    int EngineDef::*field;
  };
  for (const Number& n :
       {Number{"FirstPage", &EngineDef::firstPage}, Number{"PageStep", &EngineDef::pageStep},
        Number{"PageLimit", &EngineDef::pageLimit}}) {
    if (EqualNoCase(k, n.key)) {
      if (ParseNumber(v, e.*n.field)) return true;
      why = std::string(n.key) + " is \"" + v + "\", not a whole number";
      return false;
    }
  }
  if (EqualNoCase(k, "Enabled")) {
    if (ParseFlag(v, e.enabled)) return true;
    why = "Enabled is \"" + v + "\"; 1 or 0";
    return false;
  }
  if (EqualNoCase(k, "Rule")) {
    if (ParseRule(v, e.rule)) return true;
    why = "Rule is \"" + v + "\"; one of Anchor, ClassLs, Form, Advanced, Path, Generic, Json";
    return false;
  }
  if (EqualNoCase(k, "Kind")) {
    if (ParseKind(v, e.kind)) return true;
    why = "Kind is \"" + v + "\"; Search or SiteList";
    return false;
  }
  if (EqualNoCase(k, "Auth")) {
    if (ParseAuth(v, e.auth)) return true;
    why = "Auth is \"" + v + "\"; none or basic";
    return false;
  }
  // A misspelt key costs only its own setting.
  fatal = false;
  why = "unknown key \"" + k + "\" ignored";
  return false;
}

std::string Where(const std::string& name, int line) {
  return "engine \"" + name + "\" (line " + std::to_string(line) + "): ";
}

// A value the reader gives back unchanged: quoted when its ends would be trimmed.
std::string Quoted(const std::string& value) {
  if (value.empty()) return value;
  const char first = value.front(), last = value.back();
  const bool trimmed = first == ' ' || first == '\t' || last == ' ' || last == '\t';
  const bool looksQuoted = value.size() >= 2 && (first == '"' || first == '\'') && first == last;
  return trimmed || looksQuoted ? "\"" + value + "\"" : value;
}

}  // namespace

EngineFile ParseEngineFile(const std::string& text) {
  EngineFile file;
  for (const IniSection& section : IniSections(text)) {
    // Only a section with a problem needs its place spelt out.
    const auto where = [&section] { return Where(section.name, section.line); };
    if (static_cast<int>(file.engines.size()) >= MaxEngines) {
      file.problems.push_back(where() + "left out: at most " + std::to_string(MaxEngines) +
                              " engines");
      continue;
    }
    bool duplicate = false;
    for (const EngineDef& known : file.engines)
      duplicate = duplicate || EqualNoCase(known.name, section.name);
    if (duplicate) {
      file.problems.push_back(where() + "left out: an engine of that name comes earlier");
      continue;
    }
    // A built-in engine's section needs only the keys it changes.
    EngineDef engine;
    for (const EngineDef& builtin : BuiltinEngines())
      if (EqualNoCase(builtin.name, section.name)) engine = builtin;
    engine.name = section.name;
    bool usable = true;
    for (const Entry& entry : section.entries) {
      std::string why;
      bool fatal = false;
      if (Apply(engine, entry, why, fatal)) continue;
      file.problems.push_back(Where(section.name, entry.line) + why +
                              (fatal ? "; engine left out" : ""));
      usable = usable && !fatal;
    }
    if (!usable) continue;
    const std::vector<std::string> faults = EngineDefProblems(engine);
    for (const std::string& fault : faults)
      file.problems.push_back(where() + fault + "; engine left out");
    if (faults.empty()) file.engines.push_back(std::move(engine));
  }
  return file;
}

EngineFile ReadEngineFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    EngineFile builtin;
    builtin.engines = BuiltinEngines();
    return builtin;
  }
  std::string text(MaxEngineFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad() || static_cast<std::size_t>(in.gcount()) > MaxEngineFileBytes) {
    EngineFile refused;
    refused.readable = false;
    refused.problems.push_back(
        path + ": " +
        (in.bad() ? std::string("cannot be read")
                  : "larger than " + std::to_string(MaxEngineFileBytes / 1024) + " KiB") +
        "; no engine from it is used");
    return refused;
  }
  text.resize(static_cast<std::size_t>(in.gcount()));
  EngineFile file = ParseEngineFile(text);
  if (file.engines.empty() && file.problems.empty())
    file.problems.push_back(path + ": no engine is defined");
  return file;
}

std::string EngineFileText(const std::vector<EngineDef>& engines) {
  std::string text =
      "; Search engines, one section each, asked in this order. Placeholders in Url, Body\n"
      "; and Header: {term} {jsonterm} {page} {host} {key} {cursor}. Rule: Anchor, ClassLs,\n"
      "; Form, Advanced, Path, Generic (every ftp:// URL) or Json (Items, Site, NextFrom).\n"
      "; Kind: Search or SiteList. Deleting this file restores the built-in ones.\n";
  for (const EngineDef& e : engines) {
    text += "\n[" + e.name + "]\n";
    auto line = [&text](const char* key, const std::string& value) {
      text += std::string(key) + "=" + Quoted(value) + "\n";
    };
    line("Enabled", e.enabled ? "1" : "0");
    line("Kind", KindName(e.kind));
    line("Host", e.host);
    line("Url", e.url);
    line("Method", e.method);
    line("Body", e.body);
    line("ContentType", e.contentType);
    line("FirstPage", std::to_string(e.firstPage));
    line("PageStep", std::to_string(e.pageStep));
    line("PageLimit", std::to_string(e.pageLimit));
    line("Rule", RuleName(e.rule));
    line("Begin", e.begin);
    line("End", e.end);
    line("Stop", e.stop);
    line("NoMore", e.noMore);
    line("Items", e.items);
    line("Site", e.site);
    line("NextFrom", e.nextFrom);
    line("Auth", AuthName(e.auth));
    line("Header", e.header);
  }
  return text;
}

bool WriteEngineFile(const std::string& path, const std::vector<EngineDef>& engines) {
  return IniWriteFile(path, EngineFileText(engines));
}

}  // namespace qb

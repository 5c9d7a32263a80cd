#include "core/ini_file.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/text_helpers.h"

namespace qb {

namespace {

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

// The section name of a "[name]" line, or false.
bool SectionOf(const std::string& line, std::string& name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const std::size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// The key of a "key=value" line, or false for comments and other lines.
bool KeyOf(const std::string& line, std::string& key, std::string& value) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '#' || t[0] == '[') return false;
  const std::size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return true;
}

// Lines as getline gives them: split at '\n', no empty last line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.emplace_back(text, start, end - start);
    start = end + 1;
  }
  return lines;
}

// A missing file reads as no text.
std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Unquoted(const std::string& v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

std::string IniFileText(const std::string& path) { return ReadText(path); }

std::vector<IniSection> IniSections(const std::string& text) {
  std::vector<IniSection> sections;
  const std::vector<std::string> lines = SplitLines(text);
  std::string name, k, v;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    if (SectionOf(lines[i], name)) {
      sections.push_back({name, number, {}});
    } else if (!sections.empty() && KeyOf(lines[i], k, v)) {
      sections.back().entries.push_back({k, Unquoted(v), number});
    }
  }
  return sections;
}

std::string IniReadString(const std::string& path, const char* section, const char* key,
                          const char* defaultText, std::size_t maxChars) {
  return IniLookup(ReadText(path), section, key, defaultText, maxChars);
}

std::string IniLookup(const std::string& text, const char* section, const char* key,
                      const char* defaultText, std::size_t maxChars) {
  const std::vector<std::string> lines = SplitLines(text);
  bool inSection = false;
  std::string name, k, v;
  for (const std::string& line : lines) {
    if (SectionOf(line, name)) {
      inSection = EqualNoCase(name, section);
      continue;
    }
    if (inSection && KeyOf(line, k, v) && EqualNoCase(k, key))
      return Unquoted(v).substr(0, maxChars);
  }
  return std::string(defaultText).substr(0, maxChars);
}

bool IniWriteString(const std::string& path, const char* section, const char* key,
                    const std::string& value) {
  return IniWriteFile(path, IniReplace(ReadText(path), section, key, value));
}

bool IniWriteFile(const std::string& path, const std::string& text) {
  // Written aside and renamed over the file, so that a full disk leaves the
  // previous file whole instead of a truncated one.
  const std::string aside = path + ".new";
  bool written = false;
  {
    std::ofstream out(aside, std::ios::binary | std::ios::trunc);
    if (out) {
      out << text;
      out.close();
      written = !out.fail();
    }
  }
  if (written && std::rename(aside.c_str(), path.c_str()) == 0) return true;
  std::remove(aside.c_str());
  return false;
}

std::string IniReplace(const std::string& text, const char* section, const char* key,
                       const std::string& value) {
  std::vector<std::string> lines = SplitLines(text);
  const std::string entry = std::string(key) + "=" + value;
  bool inSection = false, done = false;
  std::size_t lastOfSection = lines.size();
  bool sectionFound = false;
  std::string name, k, v;
  for (std::size_t i = 0; i < lines.size() && !done; ++i) {
    if (SectionOf(lines[i], name)) {
      inSection = EqualNoCase(name, section);
      if (inSection) {
        sectionFound = true;
        lastOfSection = i;
      }
      continue;
    }
    if (!inSection) continue;
    if (KeyOf(lines[i], k, v) && EqualNoCase(k, key)) {
      const bool crlf = !lines[i].empty() && lines[i].back() == '\r';
      lines[i] = entry + (crlf ? "\r" : "");
      done = true;
    } else if (!Trim(lines[i]).empty()) {
      lastOfSection = i;
    }
  }
  if (!done) {
    if (sectionFound) {
      lines.insert(lines.begin() + static_cast<long>(lastOfSection) + 1, entry);
    } else {
      lines.push_back("[" + std::string(section) + "]");
      lines.push_back(entry);
    }
  }
  std::string replaced;
  for (const std::string& line : lines) replaced += line + '\n';
  return replaced;
}

}  // namespace qb

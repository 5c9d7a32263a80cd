#include "core/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text_helpers.h"

namespace qb {

namespace {

// Lines are read in place: a settings or engine file is looked up key by key,
// and copying every line for each look-up cost more than the look-up itself.

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view TrimLeft(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && IsBlank(s[b])) ++b;
  return {s.data() + b, s.size() - b};
}

std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  std::size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1])) --e;
  return {s.data(), e};
}

struct IniLine {
  enum Kind { Other, Section, Key } kind = Other;
  std::string_view name;  // the section's or the key's
  std::string_view value;
};

// What one line holds: a "[name]" header, a "key=value" pair (only looked for
// when keys is set) or neither, as comments and blank lines do.
IniLine Classify(std::string_view line, bool keys) {
  IniLine parsed;
  // Blanks at the end never change what a line is; its parts are trimmed.
  const std::string_view t = TrimLeft(line);
  if (t.empty() || t[0] == ';' || t[0] == '#') return parsed;
  if (t[0] == '[') {
    const std::size_t close = t.find(']');
    if (t.size() < 2 || close == std::string_view::npos) return parsed;
    parsed.kind = IniLine::Section;
    parsed.name = Trim(t.substr(1, close - 1));
    return parsed;
  }
  if (!keys) return parsed;
  const std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return parsed;
  parsed.kind = IniLine::Key;
  parsed.name = Trim(t.substr(0, eq));
  parsed.value = Trim(t.substr(eq + 1));
  return parsed;
}

// Visits the lines as getline gives them (split at '\n', no empty last line)
// with where each begins, until visit returns false.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (!visit(std::string_view(text.data() + start, end - start), start)) return;
    start = end + 1;
  }
}

// A missing file reads as no text.
std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string_view Unquoted(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

std::string IniFileText(const std::string& path) { return ReadText(path); }

std::vector<IniSection> IniSections(const std::string& text) {
  std::vector<IniSection> sections;
  int number = 0;
  ForEachLine(text, [&](std::string_view line, std::size_t) {
    ++number;
    const IniLine parsed = Classify(line, !sections.empty());
    if (parsed.kind == IniLine::Section) {
      sections.push_back({std::string(parsed.name), number, {}});
    } else if (parsed.kind == IniLine::Key) {
      sections.back().entries.push_back(
          {std::string(parsed.name), std::string(Unquoted(parsed.value)), number});
    }
    return true;
  });
  return sections;
}

std::string IniReadString(const std::string& path, const char* section, const char* key,
                          const char* defaultText, std::size_t maxChars) {
  return IniLookup(ReadText(path), section, key, defaultText, maxChars);
}

std::string IniLookup(const std::string& text, const char* section, const char* key,
                      const char* defaultText, std::size_t maxChars) {
  const std::string_view sectionName(section), keyName(key);
  bool inSection = false;
  std::optional<std::string_view> found;
  ForEachLine(text, [&](std::string_view line, std::size_t) {
    const IniLine parsed = Classify(line, inSection);
    if (parsed.kind == IniLine::Section) {
      inSection = EqualNoCase(parsed.name, sectionName);
    } else if (parsed.kind == IniLine::Key && EqualNoCase(parsed.name, keyName)) {
      found = Unquoted(parsed.value);
    }
    return !found;
  });
  return std::string(found ? *found : std::string_view(defaultText)).substr(0, maxChars);
}

bool IniWriteString(const std::string& path, const char* section, const char* key,
                    const std::string& value) {
  return IniWriteFile(path, IniReplace(ReadText(path), section, key, value));
}

bool IniWriteFile(const std::string& path, const std::string& text) {
  // Written aside and renamed over the file, so that a full disk leaves the
  // previous file whole instead of a truncated one.
  // The files hold search terms and passwords: the user's alone, and a link
  // planted in the file's place is not written through.
  const std::string aside = path + ".new";
  bool written = false;
  std::remove(aside.c_str());
  const int fd =
      open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
  if (fd >= 0) {
    written = true;
    for (std::size_t sent = 0; written && sent < text.size();) {
      const ssize_t n = write(fd, text.data() + sent, text.size() - sent);
      if (n < 0 && errno == EINTR) continue;
      written = n > 0;
      if (written) sent += static_cast<std::size_t>(n);
    }
    written = close(fd) == 0 && written;
  }
  if (written && std::rename(aside.c_str(), path.c_str()) == 0) return true;
  std::remove(aside.c_str());
  return false;
}

std::string IniReplace(const std::string& text, const char* section, const char* key,
                       const std::string& value) {
  const std::string entry = std::string(key) + "=" + value;
  const std::string_view sectionName(section), keyName(key);
  bool inSection = false, sectionFound = false;
  // The key's line when found; otherwise where a new line goes: after the
  // section's last non-blank line, or at the end when there is no such section.
  std::optional<std::pair<std::size_t, std::size_t>> keyLine;
  std::size_t insertAt = 0;
  ForEachLine(text, [&](std::string_view line, std::size_t begin) {
    const IniLine parsed = Classify(line, inSection);
    if (parsed.kind == IniLine::Section) {
      inSection = EqualNoCase(parsed.name, sectionName);
      if (inSection) {
        sectionFound = true;
        insertAt = begin + line.size() + 1;
      }
    } else if (parsed.kind == IniLine::Key && EqualNoCase(parsed.name, keyName)) {
      keyLine.emplace(begin, begin + line.size());
    } else if (inSection && !TrimLeft(line).empty()) {
      insertAt = begin + line.size() + 1;
    }
    return !keyLine;
  });
  // Every line comes out ended by '\n', the last one included.
  std::string replaced = text;
  if (!replaced.empty() && replaced.back() != '\n') replaced += '\n';
  if (keyLine) {
    const auto [begin, end] = *keyLine;
    const bool crlf = end > begin && text[end - 1] == '\r';
    replaced.replace(begin, end - begin, crlf ? entry + '\r' : entry);
  } else if (sectionFound) {
    replaced.insert(insertAt, entry + '\n');
  } else {
    replaced += "[" + std::string(section) + "]\n" + entry + '\n';
  }
  return replaced;
}

}  // namespace qb

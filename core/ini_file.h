#pragma once
// Private-profile (INI) reading and writing: a missing file, section or key gives
// the default; a write creates the file or replaces only that key's line.
// Section and key names compare without case.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace qb {

// Value of key in section, cut to maxChars characters; defaultText when absent.
std::string IniReadString(const std::string& path, const char* section, const char* key,
                          const char* defaultText, std::size_t maxChars);

// Writes key=value into section; false when the file cannot be written.
bool IniWriteString(const std::string& path, const char* section, const char* key,
                    const std::string& value);

// The same on a file's text, for callers that hold it already.
std::string IniLookup(const std::string& text, const char* section, const char* key,
                      const char* defaultText, std::size_t maxChars);
std::string IniReplace(const std::string& text, const char* section, const char* key,
                       const std::string& value);

// A whole file's sections in file order, for files whose sections are not known
// in advance. Lines outside any section are left out.
struct IniSection {
  std::string name;
  int line = 0;  // 1-based line of the "[name]" header
  struct Entry {
    std::string key, value;  // value unquoted as IniLookup gives it
    int line = 0;
  };
  std::vector<Entry> entries;
};
std::vector<IniSection> IniSections(const std::string& text);

// Replaces the whole file; a failed write leaves the previous file as it was.
bool IniWriteFile(const std::string& path, const std::string& text);

// The whole text of the file at path; a missing file reads as no text.
std::string IniFileText(const std::string& path);

}  // namespace qb

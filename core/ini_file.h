#pragma once
// Private-profile (INI) reading and writing: a missing file, section or key gives
// the default; a write creates the file or replaces only that key's line.
// Section and key names compare without case.
#include <cstddef>
#include <string>

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

}  // namespace qb

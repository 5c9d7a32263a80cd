#pragma once
// Texts from servers and pages are bytes in no declared encoding: shown as UTF-8
// when they are valid UTF-8, else byte for byte as Latin-1, never as nothing.
#include <wx/string.h>

#include <cstring>
#include <string>

namespace qb {

inline wxString ToDisplayText(const char* bytes, std::size_t size) {
  wxString text = wxString::FromUTF8(bytes, size);
  if (text.empty() && size != 0) text = wxString(bytes, wxConvISO8859_1, size);
  return text;
}
inline wxString ToDisplayText(const std::string& bytes) {
  return ToDisplayText(bytes.data(), bytes.size());
}
inline wxString ToDisplayText(const char* bytes) {
  return ToDisplayText(bytes, std::strlen(bytes));
}

}  // namespace qb

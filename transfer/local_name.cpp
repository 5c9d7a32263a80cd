#include "transfer/local_name.h"

namespace qb {

namespace {

// 255 less " (9999)" and ".part", with a few bytes to spare.
constexpr std::size_t MaxNameBytes = 230;

}  // namespace

std::string SafeLocalName(std::string_view serverName) {
  std::string name(serverName);
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || u < 0x20 || u == 0x7f) c = '_';
  }
  for (char& c : name) {
    if (c != '.') break;
    c = '_';
  }
  if (name.size() > MaxNameBytes) {
    std::size_t cut = MaxNameBytes;
    // Not inside a UTF-8 sequence: the name stays readable.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    name.resize(cut);
  }
  if (name.empty()) name = "download";
  return name;
}

std::string NumberedName(const std::string& name, int n) {
  if (n <= 0) return name;
  const std::size_t dot = name.rfind('.');
  const std::string tag = " (" + std::to_string(n) + ")";
  if (dot == std::string::npos || dot == 0) return name + tag;
  return name.substr(0, dot) + tag + name.substr(dot);
}

std::string UrlFileName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace qb

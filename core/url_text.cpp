#include "core/url_text.h"

#include <algorithm>

#include "core/site_table.h"
#include "core/text_helpers.h"

namespace qb {

namespace {

constexpr std::string_view FtpScheme = "ftp://";

bool Unreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

bool SubDelim(char c) { return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos; }

bool Control(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiUpper(c);
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

// The byte a %XX at text[at] stands for, or -1 when there is none.
int EscapeAt(std::string_view text, std::size_t at) {
  if (at + 2 >= text.size() || text[at] != '%') return -1;
  const int high = HexValue(text[at + 1]);
  const int low = HexValue(text[at + 2]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

void AppendEscape(std::string& out, char c) {
  char pair[3];
  HexByte(static_cast<unsigned char>(c), pair);
  out += '%';
  out += pair;
}

// A user or password never holds the characters that split the user part
// (kept): decoded, those would move the split, so they stay escaped.
bool Kept(std::string_view kept, int byte) {
  return byte >= 0 && kept.find(static_cast<char>(byte)) != std::string_view::npos;
}

// The bytes of text, letters, digits, -._~, the sub-delimiters and plain as they
// are, kept escapes copied, every other byte as %XX.
void AppendEscaped(std::string& out, std::string_view text, std::string_view plain,
                   std::string_view kept = {}) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (Kept(kept, EscapeAt(text, i))) {
      out.append(text.substr(i, 3));
      i += 2;
    } else if (Unreserved(c) || SubDelim(c) || plain.find(c) != std::string_view::npos) {
      out += c;
    } else {
      AppendEscape(out, c);
    }
  }
}

// Decodes each %XX of text once, but for the kept characters, which stay
// escaped (and are escaped when raw); false when a control byte results.
bool AppendDecoded(std::string& out, std::string_view text, std::string_view kept = {}) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int byte = EscapeAt(text, i);
    if (Kept(kept, byte)) {
      out.append(text.substr(i, 3));
      i += 2;
    } else if (byte >= 0) {
      if (Control(static_cast<char>(byte))) return false;
      out += static_cast<char>(byte);
      i += 2;
    } else if (kept.find(text[i]) != std::string_view::npos) {
      AppendEscape(out, text[i]);
    } else {
      out += text[i];
    }
  }
  return true;
}

// User and password: the user ends at the first ':', the whole at the last '@';
// a '%' stays escaped too, so a login's own "%40" is not taken for an '@'.
constexpr std::string_view UserKept = "@:/%";
constexpr std::string_view PasswordKept = "@/%";

bool HostName(std::string_view host) {
  return !host.empty() &&
         std::ranges::all_of(host, [](char c) { return Unreserved(c) && c != '~'; });
}

bool AddressLiteral(std::string_view address) {
  return !address.empty() && std::ranges::all_of(address, [](char c) {
    return HexValue(c) >= 0 || c == ':' || c == '.';
  });
}

bool PortNumber(std::string_view port) {
  if (port.empty()) return false;
  long value = 0;
  for (const char c : port) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > 65535) return false;
  }
  return value >= 1;
}

ReadUrl NoSite(std::string problem) { return {{}, std::move(problem)}; }

}  // namespace

std::string EscapeUrl(std::string_view url) {
  std::string out;
  out.reserve(url.size() + 16);
  const std::size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) {
    AppendEscaped(out, url, ":@/");
    return out;
  }
  out.append(url.substr(0, scheme + 3));
  const std::string_view rest = url.substr(scheme + 3);
  const std::size_t pathAt = std::min(rest.find('/'), rest.size());
  std::string_view authority = rest.substr(0, pathAt);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view user = authority.substr(0, at);
    const std::size_t colon = user.find(':');
    AppendEscaped(out, user.substr(0, colon), "", UserKept);
    if (colon != std::string_view::npos) {
      out += ':';
      AppendEscaped(out, user.substr(colon + 1), ":", PasswordKept);
    }
    out += '@';
    authority.remove_prefix(at + 1);
  }
  AppendEscaped(out, authority, ":[]");
  AppendEscaped(out, rest.substr(pathAt), ":@/");
  return out;
}

std::string EscapeUrlName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  AppendEscaped(out, name, "");
  return out;
}

std::string EntryUrl(std::string_view siteUrl, std::string_view name, bool isFolder) {
  std::string url = EscapeUrl(siteUrl);
  if (url.empty() || url.back() != '/') url += '/';
  url += EscapeUrlName(name);
  if (isFolder && !name.empty()) url += '/';
  return url;
}

std::string LoginText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int byte = EscapeAt(text, i);
    if (Kept(UserKept, byte)) {
      out += static_cast<char>(byte);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

ReadUrl ReadSiteUrl(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty()) return {};
  const std::string NotFtp = "not an FTP address";
  for (const char c : text)
    if (Control(c)) return NoSite(NotFtp);
  std::string_view rest = text;
  if (const std::size_t scheme = text.find("://"); scheme != std::string_view::npos) {
    if (!EqualNoCase(text.substr(0, scheme), "ftp")) return NoSite(NotFtp);
    rest.remove_prefix(scheme + 3);
  }
  const std::size_t pathAt = std::min(rest.find('/'), rest.size());
  std::string_view authority = rest.substr(0, pathAt);
  if (authority.empty()) return NoSite(NotFtp);

  std::string url(FtpScheme);
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
    const std::string_view user = authority.substr(0, at);
    const std::size_t colon = user.find(':');
    bool clean = AppendDecoded(url, user.substr(0, colon), UserKept);
    if (colon != std::string_view::npos) {
      url += ':';
      clean = AppendDecoded(url, user.substr(colon + 1), PasswordKept) && clean;
    }
    if (!clean) return NoSite("an escaped control character in the user part");
    url += '@';
    authority.remove_prefix(at + 1);
  }
  std::string_view port;
  bool hasPort = false;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos || !AddressLiteral(authority.substr(1, close - 1)))
      return NoSite("not a host name");
    url.append(authority.substr(0, close + 1));
    authority.remove_prefix(close + 1);
    if (!authority.empty() && authority.front() != ':') return NoSite("not a host name");
    hasPort = !authority.empty();
    if (hasPort) port = authority.substr(1);
  } else {
    const std::size_t colon = authority.find(':');
    const std::string_view host = authority.substr(0, colon);
    if (!HostName(host)) return NoSite(host.empty() ? NotFtp : "not a host name");
    url.append(host);
    hasPort = colon != std::string_view::npos;
    if (hasPort) port = authority.substr(colon + 1);
  }
  if (hasPort) {
    if (!PortNumber(port)) return NoSite("the port is not a number from 1 to 65535");
    url += ':';
    url.append(port);
  }
  if (pathAt == rest.size()) {
    url += '/';
  } else if (!AppendDecoded(url, rest.substr(pathAt))) {
    return NoSite("an escaped control character in the path");
  }
  if (url.size() >= SiteUrlSize)
    return NoSite("longer than " + std::to_string(SiteUrlSize - 1) + " characters");
  return {std::move(url), {}};
}

}  // namespace qb

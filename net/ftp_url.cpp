#include "net/ftp_url.h"

#include <cctype>
#include <cstring>

#include "core/text_helpers.h"
#include "core/url_text.h"

namespace qb {

namespace {

// Only an address may stand in brackets; anything else is an ordinary (bad) host, so
// no colon or slash can reach the host name through them.
bool IsAddressLiteral(const char* begin, const char* end) {
  for (const char* p = begin; p < end; ++p)
    if (!std::isxdigit(static_cast<unsigned char>(*p)) && *p != ':' && *p != '.') return false;
  return true;
}

}  // namespace

void ParseFtpUrl(const char* url, FtpUrlParts& parts) {
  char work[500];
  CopyText(work, sizeof work, url);
  parts.implicitTls = EqualNoCase(std::string_view(work, strnlen(work, 7)), "ftps://");
  const char* rest = work + strnlen(work, parts.implicitTls ? 7 : 6);  // past "ftp://"
  // User, password, host and port come from the authority alone, up to the
  // first "/": an "@" or ":" in a folder name never names another server.
  const char* slash = std::strchr(rest, '/');
  const char* authorityEnd = slash ? slash : rest + std::strlen(rest);
  const char* at = nullptr;
  for (const char* p = rest; p < authorityEnd; ++p)
    if (*p == '@') at = p;  // the last: a password may hold one
  const char* hostPart = rest;
  if (at) {
    const char* colon = static_cast<const char*>(std::memchr(rest, ':', at - rest));
    CopyRange(parts.user, sizeof parts.user, rest, colon ? colon : at);
    CopyRange(parts.password, sizeof parts.password, colon ? colon + 1 : at, at);
    // The server is given the login decoded: "me%40x.org" is the user me@x.org.
    CopyText(parts.user, sizeof parts.user, LoginText(parts.user).c_str());
    CopyText(parts.password, sizeof parts.password, LoginText(parts.password).c_str());
    hostPart = at + 1;
  } else {
    CopyText(parts.user, sizeof parts.user, "anonymous");
    CopyText(parts.password, sizeof parts.password, AnonymousPassword);
  }
  // An IPv6 literal's colons are not the port's: the host ends at its bracket.
  const char* hostBegin = hostPart;
  const char* afterHost = hostPart;
  if (*hostPart == '[') {
    const char* close =
        static_cast<const char*>(std::memchr(hostPart, ']', authorityEnd - hostPart));
    if (close && close > hostPart + 1 && IsAddressLiteral(hostPart + 1, close)) {
      hostBegin = hostPart + 1;
      afterHost = close + 1;
    }
  }
  const char* portColon =
      static_cast<const char*>(std::memchr(afterHost, ':', authorityEnd - afterHost));
  const char* hostEnd = authorityEnd;
  parts.port = parts.implicitTls ? 990 : 21;
  if (portColon) {
    parts.port = AtoL(portColon + 1);
    hostEnd = portColon;
  }
  if (hostBegin != hostPart) hostEnd = afterHost - 1;  // the closing bracket
  CopyText(parts.path, sizeof parts.path, slash ? slash : "/");
  CopyRange(parts.host, sizeof parts.host, hostBegin, hostEnd);
}

std::string ServerKey(const FtpUrlParts& parts) {
  std::string key = parts.host;
  for (char& c : key) c = AsciiLower(c);
  return key + ":" + std::to_string(parts.port);
}

std::string ServerKey(const char* url) {
  FtpUrlParts parts;
  ParseFtpUrl(url, parts);
  return ServerKey(parts);
}

}  // namespace qb

#include "net/ftp_url.h"

#include <cstring>

#include "core/text_helpers.h"

namespace qb {

void ParseFtpUrl(const char* url, FtpUrlParts& parts) {
  char work[500];
  CopyText(work, sizeof work, url);
  const char* rest = work + strnlen(work, 6);  // past "ftp://"
  const char* at = std::strchr(rest, '@');
  const char* colon = std::strchr(rest, ':');
  const char* hostPart = rest;
  if (at && colon && colon < at) {
    CopyRange(parts.user, sizeof parts.user, rest, colon);
    CopyRange(parts.password, sizeof parts.password, colon + 1, at);
    hostPart = at + 1;
  } else {
    CopyText(parts.user, sizeof parts.user, "anonymous");
    CopyText(parts.password, sizeof parts.password, AnonymousPassword);
  }
  // An IPv6 literal's colons are not the port's: the host ends at its bracket.
  const char* hostBegin = hostPart;
  const char* afterHost = hostPart;
  if (*hostPart == '[') {
    if (const char* close = std::strchr(hostPart, ']')) {
      hostBegin = hostPart + 1;
      afterHost = close + 1;
    }
  }
  const char* portColon = std::strchr(afterHost, ':');
  const char* slash = std::strchr(afterHost, '/');
  const char* hostEnd;
  if (portColon && (!slash || portColon < slash)) {
    parts.port = AtoL(portColon + 1);
    hostEnd = portColon;
  } else {
    parts.port = 21;
    hostEnd = slash ? slash : afterHost + std::strlen(afterHost);
  }
  if (hostBegin != hostPart) hostEnd = afterHost - 1;  // the closing bracket
  CopyText(parts.path, sizeof parts.path, slash ? slash : "/");
  CopyRange(parts.host, sizeof parts.host, hostBegin, hostEnd);
}

}  // namespace qb

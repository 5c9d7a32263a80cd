#pragma once
// The parts of an ftp:// URL as the FTP client uses them.
#include <cstdint>

namespace qb {

// Anonymous login's password: e-mail shaped, nine characters.
inline constexpr const char AnonymousPassword[] = "qb@qb.org";
static_assert(sizeof AnonymousPassword == 10);

struct FtpUrlParts {
  char user[80] = {};
  char password[80] = {};
  char host[120] = {};  // an IPv6 literal without its brackets
  int32_t port = 21;
  char path[500] = {};
};

// Splits ftp://[user:password@]host[:port][/path], where host may be a
// bracketed IPv6 literal ("[::1]"); the scheme is not checked.
void ParseFtpUrl(const char* url, FtpUrlParts& parts);

}  // namespace qb

#pragma once
// The parts of an ftp:// URL as the FTP client uses them.
#include <cstdint>
#include <string>

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
  bool implicitTls = false;  // ftps://: TLS from the first byte, port 990 by default
};

// Splits ftp://[user:password@]host[:port][/path], where host may be a
// bracketed IPv6 literal ("[::1]"); the scheme is not checked beyond ftps://.
void ParseFtpUrl(const char* url, FtpUrlParts& parts);

// The server a URL lives on, as the per-server bounds count it: its host in
// lower case, ":" and its port. The user does not count: two logins to one
// server share its connections.
std::string ServerKey(const FtpUrlParts& parts);
std::string ServerKey(const char* url);

}  // namespace qb

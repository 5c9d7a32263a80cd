#pragma once
// Addresses of the outside services (search engines, product web server), with
// built-in defaults that a [Hosts] section of "FTP-ZEVO.ini" may override.
#include <string>

namespace qb {

// The [Hosts] value of key, or builtin when the file has none.
std::string ServiceHost(const char* key, const char* builtin);

}  // namespace qb

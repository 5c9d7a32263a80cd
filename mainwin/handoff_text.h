#pragma once
// What the program hands to other programs for the files it lists: a shell
// command that fetches one with curl, and a list of URLs for wget or aria2c.
#include <string>
#include <string_view>
#include <vector>

namespace qb {

// text in single quotes for a POSIX shell, quotes inside it closed and escaped.
std::string ShellQuoted(std::string_view text);
// "curl -o 'name' 'ftp://…'" for the escaped URL link, with "--ssl-reqd" when
// the site spoke TLS; the local name made harmless as downloads make it.
std::string CurlCommand(const std::string& link, const std::string& serverName, bool tls);
// One URL a line, each ending with a line break.
std::string UrlListText(const std::vector<std::string>& links);

}  // namespace qb

#include "mainwin/handoff_text.h"

#include "transfer/local_name.h"

namespace qb {

std::string ShellQuoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

std::string CurlCommand(const std::string& link, const std::string& serverName, bool tls) {
  std::string command = "curl ";
  if (tls) command += "--ssl-reqd ";
  // "--" keeps a URL from ever reading as an option.
  return command + "-o " + ShellQuoted(SafeLocalName(serverName)) + " -- " + ShellQuoted(link);
}

std::string UrlListText(const std::vector<std::string>& links) {
  std::string text;
  for (const std::string& link : links) {
    // A URL is one line: one with a line break in it would be two.
    if (link.find_first_of("\r\n") != std::string::npos) continue;
    text += link + "\n";
  }
  return text;
}

}  // namespace qb

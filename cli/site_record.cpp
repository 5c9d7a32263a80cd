#include "cli/site_record.h"

#include <algorithm>
#include <cstdio>

#include "core/terminal_text.h"
#include "core/url_text.h"

namespace qb {
const char* StatusName(int status) {
  switch (status) {
    case 0:
      return "waiting";
    case 1:
      return "ok";
    case 2:
      return "failed";
    case 3:
      return "exploring";
    case 4:
      return "refused";
    default:
      return "unknown";
  }
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t n = Utf8Length(text, i);
      if (n == 0) {
        out += "\\ufffd";
        ++i;
      } else {
        out.append(text.substr(i, n));
        i += n;
      }
      continue;
    }
    ++i;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04x", c);
      out += code;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string TsvField(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  // Lines meant for a terminal as much as for a script: no other control either.
  return TerminalText(out);
}

std::string FolderEntryUrl(std::string_view siteUrl, std::string_view folder, std::string_view name,
                           bool isFolder) {
  std::string url = EscapeUrl(siteUrl);
  if (url.empty() || url.back() != '/') url += '/';
  while (!folder.empty()) {
    const std::size_t slash = std::min(folder.find('/'), folder.size());
    if (slash > 0) url.append(EscapeUrlName(folder.substr(0, slash))).append("/");
    folder.remove_prefix(std::min(slash + 1, folder.size()));
  }
  url += EscapeUrlName(name);
  if (isFolder && !name.empty()) url += '/';
  return url;
}

std::string JsonLine(const SiteRecord& site) {
  std::string out = "{\"url\":" + JsonString(EscapeUrl(site.url)) +
                    ",\"status\":" + JsonString(StatusName(site.status)) +
                    ",\"status_text\":" + JsonString(site.statusText) +
                    ",\"tested_file\":" + JsonString(site.testedFile) + ",\"entries\":[";
  bool first = true;
  for (const RecordEntry& e : site.entries) {
    if (!first) out += ',';
    first = false;
    out += "{\"name\":" + JsonString(e.name) + ",\"size\":" + std::to_string(e.size) +
           ",\"date\":" + JsonString(e.date) + ",\"folder\":" + (e.folder ? "true" : "false") + "}";
  }
  return out + "]}\n";
}

std::string TsvLines(const SiteRecord& site) {
  const std::string head = TsvField(EscapeUrl(site.url)) + '\t' + StatusName(site.status) + '\t' +
                           TsvField(site.statusText) + '\t' + TsvField(site.testedFile) + '\t';
  if (site.entries.empty()) return head + "\t\t\t\n";
  std::string out;
  for (const RecordEntry& e : site.entries) {
    out += head + TsvField(e.name) + '\t' + std::to_string(e.size) + '\t' + TsvField(e.date) +
           '\t' + (e.folder ? "1" : "0") + '\n';
  }
  return out;
}

}  // namespace qb

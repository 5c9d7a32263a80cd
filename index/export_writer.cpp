#include "index/export_writer.h"

#include <algorithm>
#include <cstdio>

namespace qb {

namespace {
std::string AsciiLowerText(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}
// Only FTP addresses become links or URLs: a page from hostile names must not run anything.
bool IsFtpUrl(const std::string& url) {
  return url.size() > 6 && AsciiLowerText(url.substr(0, 6)) == "ftp://";
}
}  // namespace

std::string CsvField(std::string_view text) {
  std::string field;
  // Spreadsheets read a cell starting with any of these as a formula, also
  // after a tab or carriage return they skip.
  if (!text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos)
    field += '\'';
  field += text;
  // A semicolon separates cells where the comma is a decimal mark.
  if (field.find_first_of(",;\"\r\n\t") == std::string::npos) return field;
  std::string quoted = "\"";
  for (const char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        // Control characters have no place in a page; a byte of UTF-8 stays.
        if (static_cast<unsigned char>(c) < 0x20) {
          out += ' ';
        } else {
          out += c;
        }
    }
  }
  return out;
}

void WriteCsv(std::ostream& out, const std::vector<ExportRow>& rows) {
  // url last: readers that take the columns by position keep theirs.
  out << "site,status,name,type,size,date,explored,url\r\n";
  for (const ExportRow& r : rows) {
    const bool entry = !r.name.empty();
    out << CsvField(EscapeUrl(r.siteUrl)) << ',' << CsvField(r.status) << ',' << CsvField(r.name)
        << ',' << (entry ? (r.isFolder ? "folder" : "file") : "") << ',';
    if (entry && !r.isFolder) out << r.size;
    out << ',' << CsvField(r.date) << ',' << CsvField(r.explored) << ',';
    if (IsFtpUrl(r.siteUrl)) out << CsvField(EntryUrl(r.siteUrl, r.name, r.isFolder));
    out << "\r\n";
  }
}

void WriteHtml(std::ostream& out, std::string_view title, const std::vector<ExportRow>& rows) {
  out << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n"
         "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
         "style-src 'unsafe-inline'\">\n<title>"
      << HtmlEscape(title)
      << "</title>\n<style>body{font-family:sans-serif}table{border-collapse:collapse}"
         "td,th{border:1px solid #bbb;padding:2px 6px;text-align:left}"
         "td.n{text-align:right}</style>\n</head><body>\n<h1>"
      << HtmlEscape(title)
      << "</h1>\n<table>\n<tr><th>Site</th><th>Status</th><th>Name</th><th>Size</th>"
         "<th>Date</th><th>Explored</th></tr>\n";
  for (const ExportRow& r : rows) {
    const std::string site = HtmlEscape(r.siteUrl);
    const bool linked = IsFtpUrl(r.siteUrl);
    out << "<tr><td>";
    if (linked) {
      out << "<a href=\"" << HtmlEscape(EntryUrl(r.siteUrl, "", false)) << "\">" << site << "</a>";
    } else {
      out << site;
    }
    out << "</td><td>" << HtmlEscape(r.status) << "</td><td>";
    if (!r.name.empty() && !linked) {
      out << HtmlEscape(r.name) << (r.isFolder ? "/" : "");
    } else if (!r.name.empty()) {
      out << "<a href=\"" << HtmlEscape(EntryUrl(r.siteUrl, r.name, r.isFolder)) << "\">"
          << HtmlEscape(r.name) << (r.isFolder ? "/" : "") << "</a>";
    }
    out << "</td><td class=\"n\">";
    if (!r.name.empty() && !r.isFolder) out << r.size;
    out << "</td><td>" << HtmlEscape(r.date) << "</td><td>" << HtmlEscape(r.explored)
        << "</td></tr>\n";
  }
  out << "</table>\n</body></html>\n";
}

}  // namespace qb

#pragma once
// Results written for other programs: CSV (RFC 4180) for spreadsheets and one
// self-contained HTML page with links, without script.
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/password_text.h"  // HidePassword, used with the exports
#include "core/url_text.h"

namespace qb {

// One file or folder of a site, or the site alone when name is empty.
struct ExportRow {
  std::string siteUrl;
  std::string status;
  std::string name;
  int64_t size = 0;
  std::string date;
  bool isFolder = false;
  std::string explored;  // when, as text; may be empty
};

// A CSV field: quoted when it holds a comma, quote or line break. Text a
// spreadsheet would run as a formula gets a leading apostrophe.
std::string CsvField(std::string_view text);
// Text safe inside an HTML element or a quoted attribute.
std::string HtmlEscape(std::string_view text);

void WriteCsv(std::ostream& out, const std::vector<ExportRow>& rows);
void WriteHtml(std::ostream& out, std::string_view title, const std::vector<ExportRow>& rows);

}  // namespace qb

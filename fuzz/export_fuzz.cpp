// CSV fields, HTML escaping and entry URLs on arbitrary names.
#include <sstream>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "index/export_writer.h"

using namespace qb;

namespace {

// Reads one RFC 4180 field back from the front of text.
std::string ReadCsvField(std::string_view text, std::size_t& used) {
  if (text.empty() || text[0] != '"') {
    used = text.find(',');
    if (used == std::string_view::npos) used = text.size();
    return std::string(text.substr(0, used));
  }
  std::string field;
  std::size_t i = 1;
  for (; i < text.size(); ++i) {
    if (text[i] != '"') {
      field += text[i];
    } else if (i + 1 < text.size() && text[i + 1] == '"') {
      field += '"';
      ++i;
    } else {
      break;
    }
  }
  FUZZ_CHECK(i < text.size());  // a quoted field is closed
  used = i + 1;
  return field;
}

bool IsUrlByte(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b > 0x20 && b < 0x7f && c != '"' && c != '<' && c != '>' && c != '\\' && c != '`' &&
         c != ' ' && c != '#' && c != '?';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  {
    const std::string field = CsvField(text);
    std::size_t used = 0;
    std::string back = ReadCsvField(field, used);
    FUZZ_CHECK(used == field.size());  // one field, nothing after it
    if (!text.empty() && std::string_view("=+-@\t\r").find(text[0]) != std::string_view::npos) {
      FUZZ_CHECK(back[0] == '\'');
      back.erase(0, 1);
    }
    FUZZ_CHECK(back == text);
  }
  {
    const std::string escaped = HtmlEscape(text);
    FUZZ_CHECK(escaped.find_first_of("<>\"'") == std::string::npos);
    for (const char c : escaped) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
  }
  {
    const std::string url = EntryUrl("ftp://h/", text, (size & 1) != 0);
    FUZZ_CHECK(url.rfind("ftp://h/", 0) == 0);
    for (const char c : url) FUZZ_CHECK(IsUrlByte(c) || c == '/');
    // Only the site's own slashes and a folder's trailing one.
    FUZZ_CHECK(url.substr(8).find('/') == std::string::npos ||
               url.substr(8).find('/') == url.size() - 9);
  }
  {
    std::ostringstream page;
    WriteHtml(page, text, {{"ftp://h/", text, text, 1, text, false, text}});
    FUZZ_CHECK(page.str().find("<script") == std::string::npos);
  }
  return 0;
}

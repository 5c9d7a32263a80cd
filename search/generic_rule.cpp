#include "search/generic_rule.h"

#include <cstdint>
#include <cstring>

#include "core/text_helpers.h"

namespace qb {

namespace {

// Longer candidates are no site anyone can explore; they are counted, not decoded.
constexpr std::size_t MaxRawUrl = 4096;

bool SchemeChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.';
}

// The length of "ftp://" or of its JSON form "ftp:\/\/" at p, else 0.
std::size_t SchemeAt(const char* p, const char* end) {
  const auto rest = static_cast<std::size_t>(end - p);
  if (rest < 6 || AsciiLower(p[0]) != 'f' || AsciiLower(p[1]) != 't' || AsciiLower(p[2]) != 'p' ||
      p[3] != ':')
    return 0;
  if (p[4] == '/' && p[5] == '/') return 6;
  if (rest >= 8 && std::memcmp(p + 4, "\\/\\/", 4) == 0) return 8;
  return 0;
}

bool Ends(char c, char quote) {
  const auto u = static_cast<unsigned char>(c);
  if (u < 0x20 || u == 0x7F || c == '<' || c == '>') return true;
  if (quote) return c == quote;
  return c == ' ' || c == '"' || c == '\'' || c == '`';
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// \/ \\ \" and \uXXXX (a surrogate pair as one character); other text as is.
std::string JsonDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[i + 1];
    if (next == '/' || next == '\\' || next == '"') {
      out += next;
      ++i;
      continue;
    }
    auto quad = [&](std::size_t at) -> int32_t {
      if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u') return -1;
      int32_t v = 0;
      for (std::size_t k = at + 2; k < at + 6; ++k) {
        const int h = HexValue(text[k]);
        if (h < 0) return -1;
        v = v * 16 + h;
      }
      return v;
    };
    const int32_t code = quad(i);
    if (code < 0) {
      out += text[i];
      continue;
    }
    i += 5;
    if (code >= 0xD800 && code <= 0xDBFF) {
      const int32_t low = quad(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((static_cast<uint32_t>(code) - 0xD800) << 10) +
                            (static_cast<uint32_t>(low) - 0xDC00));
        i += 6;
        continue;
      }
    }
    AppendUtf8(out, static_cast<uint32_t>(code));
  }
  return out;
}

// &amp; &lt; &gt; &quot; &apos; &#N; &#xH;; an unknown reference stays as text.
std::string EntitiesDecoded(const std::string& text) {
  static const struct {
    const char* name;
    char c;
  } named[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const char* rest = text.c_str() + i + 1;
    bool done = false;
    for (const auto& n : named) {
      const std::size_t len = std::strlen(n.name);
      if (std::strncmp(rest, n.name, len) == 0) {
        out += n.c;
        i += len;
        done = true;
        break;
      }
    }
    if (!done && rest[0] == '#') {
      const bool hex = rest[1] == 'x' || rest[1] == 'X';
      std::size_t k = hex ? 2 : 1;
      uint32_t code = 0;
      std::size_t digits = 0;
      for (; rest[k] && digits < 8; ++k, ++digits) {
        const int h = HexValue(rest[k]);
        if (h < 0 || (!hex && h > 9)) break;
        code = code * (hex ? 16 : 10) + static_cast<uint32_t>(h);
      }
      if (digits > 0 && rest[k] == ';') {
        AppendUtf8(out, code);
        i += k + 1;
        done = true;
      }
    }
    if (!done) out += '&';
  }
  return out;
}

}  // namespace

int FindFtpUrls(const char* begin, const char* end, const std::function<void(std::string&)>& each) {
  int found = 0;
  const char* p = begin;
  while (p < end) {
    const char* hit = p;
    while (hit < end && AsciiLower(*hit) != 'f') ++hit;
    if (hit == end) break;
    const std::size_t scheme = SchemeAt(hit, end);
    if (scheme == 0 || (hit > begin && SchemeChar(hit[-1]))) {
      p = hit + 1;
      continue;
    }
    const char quote = (hit > begin && (hit[-1] == '"' || hit[-1] == '\'')) ? hit[-1] : '\0';
    const char* stop = hit + scheme;
    while (stop < end && !Ends(*stop, quote)) ++stop;
    p = stop;
    ++found;
    if (static_cast<std::size_t>(stop - hit) > MaxRawUrl) continue;
    std::string url(hit + scheme, stop);
    // In running text a sentence's end is not part of the URL.
    if (!quote) {
      while (!url.empty() && std::strchr(".,;:!?)]}", url.back())) url.pop_back();
    }
    url = "ftp://" + EntitiesDecoded(JsonDecoded(url));
    each(url);
  }
  return found;
}

}  // namespace qb

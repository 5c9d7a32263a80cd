#include "net/name_charset.h"

#include <iconv.h>
#include <uchardet/uchardet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/text_helpers.h"

namespace qb {

namespace {

constexpr const char* Latin1 = "ISO-8859-1";
// Enough text for a confident guess; more only costs time.
constexpr std::size_t DetectMax = std::size_t{64} * 1024;
constexpr std::string_view Replacement = "\xEF\xBF\xBD";

// The bytes a character may take after its lead byte: the second one in
// [low, high], any further ones in [0x80, 0xBF]. The narrowed ranges after
// E0, ED, F0 and F4 leave out overlong forms, surrogates and code points past
// U+10FFFF.
struct Lead {
  int length = 0;  // 0: not a lead byte
  unsigned char low = 0x80, high = 0xBF;
};

Lead LeadOf(unsigned char c) {
  if (c >= 0xC2 && c <= 0xDF) return {2};
  if (c == 0xE0) return {3, 0xA0, 0xBF};
  if (c == 0xED) return {3, 0x80, 0x9F};
  if (c >= 0xE1 && c <= 0xEF) return {3};
  if (c == 0xF0) return {4, 0x90, 0xBF};
  if (c >= 0xF1 && c <= 0xF3) return {4};
  if (c == 0xF4) return {4, 0x80, 0x8F};
  return {};
}

// Length of the longest UTF-8 prefix; cutShort tells whether what follows is
// the start of a valid character that the end of the bytes cut off.
std::size_t Utf8Prefix(std::string_view bytes, bool& cutShort) {
  cutShort = false;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const Lead lead = LeadOf(c);
    if (lead.length == 0) return i;
    std::size_t k = 1;
    for (; k < static_cast<std::size_t>(lead.length) && i + k < bytes.size(); ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      const unsigned char low = k == 1 ? lead.low : 0x80, high = k == 1 ? lead.high : 0xBF;
      if (next < low || next > high) return i;
    }
    if (k < static_cast<std::size_t>(lead.length)) {
      cutShort = true;
      return i;
    }
    i += k;
  }
  return i;
}

std::string FromLatin1(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (c < 0x80) {
      text += byte;
    } else {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

// One iconv descriptor to UTF-8, for any number of names in turn.
class Converter {
 public:
  explicit Converter(const std::string& charset)
      : cd_(charset.empty() ? Invalid() : iconv_open("UTF-8", charset.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != Invalid(); }

  // Strict: nothing for an invalid sequence, a cut-short last character
  // dropped. Lenient: each byte that cannot be read becomes U+FFFD.
  std::optional<std::string> Run(std::string_view bytes, bool lenient) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char* to = out.data();
    std::size_t toLeft = out.size();
    while (inLeft > 0) {
      if (iconv(cd_, &in, &inLeft, &to, &toLeft) != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) return std::nullopt;
      if (!lenient) {
        if (errno == EINVAL) break;
        return std::nullopt;
      }
      if (toLeft < Replacement.size()) return std::nullopt;
      Replacement.copy(to, Replacement.size());
      to += Replacement.size();
      toLeft -= Replacement.size();
      ++in;
      --inLeft;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    // Stateful charsets may still hold a shift to undo.
    if (iconv(cd_, nullptr, nullptr, &to, &toLeft) == static_cast<std::size_t>(-1))
      return std::nullopt;
    out.resize(static_cast<std::size_t>(to - out.data()));
    if (!IsUtf8(out)) return std::nullopt;
    return out;
  }

 private:
  // iconv_open reports failure with this value.
  static iconv_t Invalid() {
    return reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  }
  iconv_t cd_;
};

// Copies text into a name field, cut to fit: between characters when it is
// UTF-8, so that it stays UTF-8. Returns how much was kept.
std::size_t SetName(char (&name)[sizeof(ListingEntry::name)], std::string_view text, bool utf8) {
  std::size_t keep = std::min(text.size(), sizeof name - 1);
  if (utf8 && keep < text.size())
    while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
  text.copy(name, keep);
  name[keep] = '\0';
  return keep;
}

std::string_view NameOf(const ListingEntry& entry) {
  return {entry.name, strnlen(entry.name, sizeof entry.name)};
}

}  // namespace

bool IsUtf8(std::string_view bytes) {
  bool cutShort = false;
  return Utf8Prefix(bytes, cutShort) == bytes.size();
}

void SetEntryName(ListingEntry& entry, std::string_view whole) {
  const bool cut = whole.size() >= sizeof entry.name;
  if (SetName(entry.name, whole, cut && IsUtf8(whole)) < whole.size()) entry.serverName = whole;
}

const std::vector<Charset>& SiteCharsets() {
  static const std::vector<Charset> charsets = {
      {"ISO-8859-1", "Latin-1"},  {"CP1251", "CP1251"}, {"CP1252", "CP1252"}, {"CP866", "CP866"},
      {"SHIFT_JIS", "SHIFT_JIS"}, {"GBK", "GBK"},       {"BIG5", "BIG5"},     {"EUC-KR", "EUC-KR"},
  };
  return charsets;
}

std::string DetectCharset(std::string_view bytes) {
  if (bytes.empty()) return Latin1;
  uchardet_t detector = uchardet_new();
  if (!detector) return Latin1;
  std::string guess;
  if (uchardet_handle_data(detector, bytes.data(), std::min(bytes.size(), DetectMax)) == 0) {
    uchardet_data_end(detector);
    if (const char* name = uchardet_get_charset(detector)) guess = name;
  }
  uchardet_delete(detector);
  // uchardet's names, and the supersets it reports, for the site charsets.
  static const std::pair<const char*, const char*> Names[] = {
      {"ISO-8859-1", "ISO-8859-1"},
      {"WINDOWS-1252", "CP1252"},
      {"CP1252", "CP1252"},
      {"WINDOWS-1251", "CP1251"},
      {"CP1251", "CP1251"},
      {"IBM866", "CP866"},
      {"CP866", "CP866"},
      {"SHIFT_JIS", "SHIFT_JIS"},
      {"SJIS", "SHIFT_JIS"},
      {"CP932", "SHIFT_JIS"},
      {"GB18030", "GBK"},
      {"GB2312", "GBK"},
      {"GBK", "GBK"},
      {"BIG5", "BIG5"},
      {"BIG5-HKSCS", "BIG5"},
      {"EUC-KR", "EUC-KR"},
      {"UHC", "EUC-KR"},
      {"CP949", "EUC-KR"},
  };
  for (const auto& [detected, site] : Names)
    if (EqualNoCase(guess, detected)) return site;
  return Latin1;
}

std::optional<std::string> ToUtf8(std::string_view bytes, const std::string& charset) {
  Converter converter(charset);
  if (!converter.ok()) return std::nullopt;
  return converter.Run(bytes, false);
}

std::string ConvertNames(std::vector<ListingEntry>& entries, const std::string& charset) {
  std::vector<ListingEntry*> legacy;
  for (ListingEntry& entry : entries) {
    const std::string_view name = NameOf(entry);
    bool cutShort = false;
    const std::size_t valid = Utf8Prefix(name, cutShort);
    if (valid == name.size()) continue;
    // A UTF-8 name cut only for its length is shown as it is, not read in charset.
    if (!entry.serverName.empty() && IsUtf8(entry.serverName)) {
      SetName(entry.name, entry.serverName, true);
      continue;
    }
    if (entry.serverName.empty()) entry.serverName.assign(name);
    if (cutShort && name.size() == sizeof entry.name - 1 && entry.serverName == name) {
      entry.name[valid] = '\0';
      continue;
    }
    legacy.push_back(&entry);
  }
  if (legacy.empty()) return "";

  std::string used = charset;
  if (used.empty()) {
    std::string sample;
    for (const ListingEntry* entry : legacy) {
      if (sample.size() >= DetectMax) break;
      sample.append(entry->serverName).append("\n");
    }
    used = DetectCharset(sample);
  }
  Converter converter(used);
  for (ListingEntry* entry : legacy) {
    std::optional<std::string> text;
    if (converter.ok()) {
      text = converter.Run(entry->serverName, false);
      if (!text || text->empty()) text = converter.Run(entry->serverName, true);
    }
    if (!text || text->empty()) text = FromLatin1(entry->serverName);
    SetName(entry->name, *text, true);
  }
  return used;
}

}  // namespace qb

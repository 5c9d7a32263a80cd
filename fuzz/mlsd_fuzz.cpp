// MLSD listings, the names in them read in each site charset, and the reply
// texts that tell of connection limits and cut listings.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "net/listing_parser.h"
#include "net/mlsd_parser.h"
#include "net/name_charset.h"
#include "net/server_replies.h"

using namespace qb;

namespace {

// UTF-8 decoded by code point, to hold IsUtf8's byte ranges against.
bool ReferenceUtf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    std::size_t length = c < 0x80 ? 1 : c >> 5 == 6 ? 2 : c >> 4 == 14 ? 3 : c >> 3 == 30 ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    uint32_t point = length == 1 ? c : c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if (next >> 6 != 2) return false;
      point = point << 6 | (next & 0x3F);
    }
    static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
      return false;
    i += length;
  }
  return true;
}

void CheckEntry(const ListingEntry& entry, std::string_view line) {
  const std::size_t nameLength = strnlen(entry.name, sizeof entry.name);
  FUZZ_CHECK(nameLength > 0 && nameLength < sizeof entry.name);
  FUZZ_CHECK(strnlen(entry.date, sizeof entry.date) < sizeof entry.date);
  FUZZ_CHECK(entry.isFolder <= 1 && entry.size >= 0);
  if (entry.isFolder) FUZZ_CHECK(entry.size == 0 && entry.date[0] == '\0');
  if (entry.date[0]) {
    FUZZ_CHECK(std::strlen(entry.date) == 16 && entry.date[4] == '-' && entry.date[7] == '-' &&
               entry.date[10] == ' ' && entry.date[13] == ':');
  }
  // The name is the end of the line, whole or (cut) in serverName.
  const std::string_view name(entry.name, nameLength);
  const std::string whole = entry.serverName.empty() ? std::string(name) : entry.serverName;
  if (!entry.serverName.empty()) {
    FUZZ_CHECK(whole.size() > nameLength && whole.compare(0, nameLength, name) == 0);
    if (IsUtf8(whole)) FUZZ_CHECK(IsUtf8(name));
  }
  FUZZ_CHECK(line.size() > whole.size() && line.substr(line.size() - whole.size()) == whole);
  FUZZ_CHECK(whole.find_first_of(std::string_view("\0\r/", 3)) == std::string::npos);
  FUZZ_CHECK(IsListedName(whole.c_str(), entry.isFolder != 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  qbfuzz::Picker pick(data, size);
  const uint8_t choice = pick.Byte();
  const std::string_view text(reinterpret_cast<const char*>(pick.data()), pick.size());

  FUZZ_CHECK(IsUtf8(text) == ReferenceUtf8(text));

  if (const auto entry = ReadMlsdLine(text)) CheckEntry(*entry, text);

  // The listing holds the entries of its lines, sorted by name.
  std::vector<ListingEntry> entries = ReadMlsdListing(text);
  std::vector<ListingEntry> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (auto entry = ReadMlsdLine(line)) {
      CheckEntry(*entry, line);
      lines.push_back(std::move(*entry));
    }
    start = end + 1;
  }
  std::stable_sort(lines.begin(), lines.end(), [](const ListingEntry& a, const ListingEntry& b) {
    return std::strcmp(a.name, b.name) < 0;
  });
  FUZZ_CHECK(lines.size() == entries.size());
  for (std::size_t i = 0; i < entries.size() && i < lines.size(); ++i) {
    FUZZ_CHECK(std::strcmp(entries[i].name, lines[i].name) == 0);
    FUZZ_CHECK(entries[i].serverName == lines[i].serverName && entries[i].size == lines[i].size);
  }

  // Names made UTF-8, each charset or detected, the server's bytes kept.
  const std::vector<Charset>& charsets = SiteCharsets();
  const std::string charset = choice % (charsets.size() + 1) == 0
                                  ? ""
                                  : charsets[choice % (charsets.size() + 1) - 1].iconvName;
  std::vector<ListingEntry> converted = entries;
  const std::string used = ConvertNames(converted, charset);
  bool anyLegacy = false, surelyLegacy = false;
  for (std::size_t i = 0; i < converted.size(); ++i) {
    const std::string_view name(converted[i].name,
                                strnlen(converted[i].name, sizeof converted[i].name));
    FUZZ_CHECK(!name.empty() && name.size() < sizeof converted[i].name && IsUtf8(name));
    const std::string_view old(entries[i].name);
    if (IsUtf8(old)) {
      FUZZ_CHECK(name == old && converted[i].serverName == entries[i].serverName);
      continue;
    }
    // Changed names keep the server's bytes; only a full name cut inside its
    // last character is taken for UTF-8.
    FUZZ_CHECK(converted[i].serverName ==
               (entries[i].serverName.empty() ? std::string(old) : entries[i].serverName));
    anyLegacy = true;
    const bool trimmed = old.size() == sizeof entries[i].name - 1 && name.size() < old.size() &&
                         old.substr(0, name.size()) == name && entries[i].serverName.empty();
    if (!trimmed) surelyLegacy = true;
  }
  if (surelyLegacy) FUZZ_CHECK(!used.empty());
  if (!anyLegacy) FUZZ_CHECK(used.empty());
  if (!used.empty() && !charset.empty()) FUZZ_CHECK(used == charset);

  if (const auto utf8 = ToUtf8(text, charset.empty() ? DetectCharset(text) : charset)) {
    FUZZ_CHECK(IsUtf8(*utf8) && utf8->size() <= text.size() * 4 + 16);
  }

  for (const int code : {421, 530}) {
    if (const auto limit = ConnectionLimitIn(code, text))
      FUZZ_CHECK(*limit >= 0 && *limit <= 1000 && *limit != code);
  }
  FUZZ_CHECK(!ConnectionLimitIn(220, text));
  SaysListingCut(text);
  return 0;
}

#pragma once
// File names from servers that predate UTF-8: telling them apart, guessing
// their charset and showing them as UTF-8 while commands keep the bytes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/site_table.h"

namespace qb {

// Strict: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view bytes);

// Sets entry's name to whole, cut to fit (between characters when whole is
// UTF-8); a cut name keeps whole in serverName, which commands then use.
void SetEntryName(ListingEntry& entry, std::string_view whole);

struct Charset {
  const char* iconvName;
  const char* label;  // as the site settings show it
};

// The charsets a user may set for a site, in menu order.
const std::vector<Charset>& SiteCharsets();

// uchardet's guess for bytes that are not UTF-8, as one of SiteCharsets' iconv
// names; "ISO-8859-1" when the guess is none of them or there is none, since
// Latin-1 maps every byte and a name always shows.
std::string DetectCharset(std::string_view bytes);

// The bytes read in charset, as UTF-8; a last character cut short is dropped.
// Nothing for an invalid sequence or a charset iconv does not know. The output
// is at most four bytes per input byte, plus 16.
std::optional<std::string> ToUtf8(std::string_view bytes, const std::string& charset);

// For every entry whose name is not UTF-8: serverName keeps the original bytes
// (unless it holds them already, then they are what is converted), and name
// becomes their UTF-8 form in charset, cut between characters to fit. Bytes
// the charset cannot read show as U+FFFD; a charset iconv does not know reads
// as Latin-1. A full name whose only fault is a last character cut short (a
// UTF-8 name cut without its whole form kept, as an older index may hold it)
// loses that character and stays UTF-8.
// charset empty: detected once from all the non-UTF-8 names together.
// Returns the charset used ("" when every name was UTF-8).
std::string ConvertNames(std::vector<ListingEntry>& entries, const std::string& charset);

}  // namespace qb

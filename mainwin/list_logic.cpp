#include "mainwin/list_logic.h"

#include <cstdio>
#include <cstring>

#include "core/text_helpers.h"

namespace qb {

uint8_t SortFlags[SortColumnCount] = {1, 1, 1, 1, 1, 1};
bool StatusAutoSort = false;

TLwCompUrl CompUrl;
TLwCompErrorCode CompErrorCode;
TLwCompTls CompTls;
TLwCompNameFile CompNameFile;
TLwCompExtFile CompExtFile;
TLwCompFileSize CompFileSize;

void ResetSortState() {
  for (uint8_t& f : SortFlags) f = 1;
  StatusAutoSort = false;
}

char* FormatFileSize(int64_t n, char* out, std::size_t outSize) {
  const auto whole = static_cast<long long>(n);
  if (n < 1000)
    std::snprintf(out, outSize, "%lld", whole);
  else if (n < 1000000)
    std::snprintf(out, outSize, "%lld.%lldk", whole / 1000, (whole % 1000) / 100);
  else
    std::snprintf(out, outSize, "%lldk", whole / 1000);
  return out;
}

std::string FormatTotal(float total) {
  char text[64];
  if (total < 1000)
    std::snprintf(text, sizeof text, "(%.0f)", total);
  else if (total >= 1000000)
    std::snprintf(text, sizeof text, "(%.2fM)", total * 0.000001);
  else
    std::snprintf(text, sizeof text, "(%.1fk)", total * 0.001);
  return text;
}

bool FileExtension(const char* name, std::string* ext) {
  const std::size_t len = std::strlen(name);
  for (std::size_t back = 1; back <= 5 && back <= len; ++back) {
    if (name[len - back] == '.') {
      if (ext) ext->assign(name + len - back + 1);
      return true;
    }
  }
  return false;
}

UrlParts SplitUrlParts(const char* url) {
  UrlParts parts;
  char copy[SiteUrlSize];
  CopyText(copy, sizeof copy, url);
  // The host starts after "ftp://"; shorter texts have no parts.
  if (std::strlen(copy) < 6) return parts;
  const char* start = copy + 6;
  char* at = std::strchr(copy, '@');
  if (at) {
    *at = '\0';
    if (at > start) {
      if (const char* colon = std::strchr(start, ':')) {
        parts.user.assign(start, colon);
        parts.password.assign(colon + 1);
      }
    }
    start = at + 1;
  }
  const char* slash = std::strchr(start, '/');
  parts.host = slash ? std::string(start, slash) : std::string(start);
  return parts;
}

const char* TlsColumnText(SiteTls tls) {
  switch (tls) {
    case SiteTls::Verified:
      return "TLS";
    case SiteTls::Unverified:
      return "TLS, unverified";
    case SiteTls::None:
      break;
  }
  return "";
}

int CompareNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char ca = static_cast<unsigned char>(AsciiLower(a[i]));
    const unsigned char cb = static_cast<unsigned char>(AsciiLower(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

SiteSortKeys TakeSiteSortKeys() {
  SiteSortKeys keys;
  std::lock_guard<std::mutex> hold(SiteTableLock);
  const int n = SiteTable.count;
  keys.url.resize(n);
  keys.status.resize(n);
  keys.tls.resize(n);
  for (int i = 0; i < n; ++i) {
    if (const auto& e = SiteTable.slots[i]) {
      keys.url[i] = e->url;
      keys.status[i] = e->statusText.Get();
      keys.tls[i] = TlsColumnText(e->tls);
    }
  }
  return keys;
}

namespace {
const std::string& KeyAt(const std::vector<std::string>& texts, intptr_t index) {
  static const std::string none;
  return index >= 0 && static_cast<std::size_t>(index) < texts.size() ? texts[index] : none;
}

// File rows carry their entry's address as item data.
const ListingEntry& Entry(intptr_t data) {
  return *reinterpret_cast<const ListingEntry*>(data);  // NOLINT(performance-no-int-to-ptr)
}

std::string NameKey(const ListingEntry& e) {
  std::string key = e.isFolder ? " " : "";
  return key + e.name;
}

std::string ExtKey(const ListingEntry& e) {
  if (e.isFolder) return ".";
  std::string ext;
  FileExtension(e.name, &ext);
  return ext;
}
}  // namespace

int TLwCompUrl::compare(intptr_t a, intptr_t b, int flag) const {
  if (!keys) return 0;
  return Directed(CompareNoCase(KeyAt(keys->url, a), KeyAt(keys->url, b)), flag);
}

int TLwCompErrorCode::compare(intptr_t a, intptr_t b, int flag) const {
  if (!keys) return 0;
  return Directed(CompareNoCase(KeyAt(keys->status, a), KeyAt(keys->status, b)), flag);
}

int TLwCompTls::compare(intptr_t a, intptr_t b, int flag) const {
  if (!keys) return 0;
  return Directed(CompareNoCase(KeyAt(keys->tls, a), KeyAt(keys->tls, b)), flag);
}

int TLwCompNameFile::compare(intptr_t a, intptr_t b, int flag) const {
  return Directed(CompareNoCase(NameKey(Entry(a)), NameKey(Entry(b))), flag);
}

int TLwCompExtFile::compare(intptr_t a, intptr_t b, int flag) const {
  return Directed(CompareNoCase(ExtKey(Entry(a)), ExtKey(Entry(b))), flag);
}

int TLwCompFileSize::compare(intptr_t a, intptr_t b, int flag) const {
  // Equal sizes compare equal: a comparator that calls both orders "before"
  // breaks the sort's contract.
  const int64_t sa = Entry(a).size, sb = Entry(b).size;
  if (sa == sb) return 0;
  return Directed(sa < sb ? 1 : -1, flag);
}

std::string JoinFileUrl(const std::string& siteUrl, const std::string& rowText) {
  std::string text = siteUrl;
  if (text.empty() || text.back() != '/') text += '/';
  return text + rowText;
}

}  // namespace qb

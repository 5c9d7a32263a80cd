#pragma once
// What the site and file lists show and how they sort, without any window:
// size texts, extensions, URL parts and the comparators.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/site_table.h"

namespace qb {

// Size text of one file: "999", "1.0k", "999.9k", "1000k". Needs 16 bytes.
char* FormatFileSize(int64_t n, char* out, std::size_t outSize);

// Total of a site's file sizes: "(999)", "(1.5k)", "(2.50M)".
std::string FormatTotal(float total);

// The extension of a name: the text after a '.' among its last five
// characters. False when there is none.
bool FileExtension(const char* name, std::string* ext);

// User, password and host (with port) of an ftp:// URL.
struct UrlParts {
  std::string user;
  std::string password;
  std::string host;
};
UrlParts SplitUrlParts(const char* url);

// Case-insensitive ASCII order; a space and '.' sort before letters and digits.
int CompareNoCase(const std::string& a, const std::string& b);

// A site row's TLS column: empty for plain FTP, "TLS", or "TLS, unverified".
const char* TlsColumnText(SiteTls tls);

// Direction of the next sort of each sortable column; 1 sorts ascending.
enum SortColumn {
  SortSiteUrl,
  SortSiteStatus,
  SortFileName,
  SortFileExt,
  SortFileSize,
  SortSiteTls,
  SortColumnCount
};
extern uint8_t SortFlags[SortColumnCount];
// Re-sort the site list by status after a pass that changed a status text.
extern bool StatusAutoSort;
void ResetSortState();

// Texts the site comparators read, taken from the table before a sort so that
// no lock is held while the list calls back. Index = site index.
struct SiteSortKeys {
  std::vector<std::string> url;
  std::vector<std::string> status;
  std::vector<std::string> tls;  // as the TLS column shows it
};
// Takes SiteTableLock; reads only, no window call.
SiteSortKeys TakeSiteSortKeys();

class TLwComparator {
 public:
  virtual ~TLwComparator() = default;
  // Negative puts row a first. a and b are the rows' item data.
  virtual int compare(intptr_t a, intptr_t b, int flag) const = 0;

 protected:
  static int Directed(int r, int flag) { return flag ? r : -r; }
};

// Site rows carry their site index; keys must hold every index in the list.
class TLwCompUrl : public TLwComparator {
 public:
  const SiteSortKeys* keys = nullptr;
  int compare(intptr_t a, intptr_t b, int flag) const override;
};
class TLwCompErrorCode : public TLwComparator {
 public:
  const SiteSortKeys* keys = nullptr;
  int compare(intptr_t a, intptr_t b, int flag) const override;
};
class TLwCompTls : public TLwComparator {
 public:
  const SiteSortKeys* keys = nullptr;
  int compare(intptr_t a, intptr_t b, int flag) const override;
};
// File rows carry a pointer to their ListingEntry.
class TLwCompNameFile : public TLwComparator {
 public:
  int compare(intptr_t a, intptr_t b, int flag) const override;
};
class TLwCompExtFile : public TLwComparator {
 public:
  int compare(intptr_t a, intptr_t b, int flag) const override;
};
class TLwCompFileSize : public TLwComparator {
 public:
  int compare(intptr_t a, intptr_t b, int flag) const override;
};

extern TLwCompUrl CompUrl;
extern TLwCompErrorCode CompErrorCode;
extern TLwCompTls CompTls;
extern TLwCompNameFile CompNameFile;
extern TLwCompExtFile CompExtFile;
extern TLwCompFileSize CompFileSize;

// The text of a file row's URL: the site URL, "/" unless it ends with one, the row text.
std::string JoinFileUrl(const std::string& siteUrl, const std::string& rowText);

}  // namespace qb

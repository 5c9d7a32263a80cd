#pragma once
// The local index: every explored site's outcome and listing in one SQLite
// database, with a trigram full-text table for finding names by any part.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/site_outcome.h"

struct sqlite3;

namespace qb {

inline constexpr int IndexSchemaVersion = 2;
// Entry row ids are the site's id shifted by this, plus the entry's position:
// a site's entries form one range, replaced without a second index.
inline constexpr int SiteIdShift = 24;
inline constexpr std::size_t MaxEntriesPerSite = std::size_t{1} << SiteIdShift;

enum class FindKind { All, Files, Folders };

struct FindQuery {
  std::string text;       // a part of the name; empty finds every name
  std::string extension;  // without the dot; empty for any
  int64_t minSize = 0;
  FindKind kind = FindKind::All;
};

struct FoundEntry {
  std::string name;
  int64_t size = 0;
  std::string date;
  bool isFolder = false;
  std::string siteUrl;
  int64_t exploredAt = 0;
  int32_t siteStatus = 0;  // the site's SiteStatus and text when it was explored
  std::string siteStatusText;
};

struct IndexedSite {
  std::string url;
  int32_t status = 0;
  std::string statusText;
  std::string testedFile;
  int64_t exploredAt = 0;
  std::string term;
};

struct LastResults {
  std::string term;
  int64_t exploredAt = 0;  // the latest site's
  std::vector<IndexedSite> sites;
};

// Why an index operation failed, in one sentence for the user.
std::string IndexFaultText(int sqliteCode, const std::string& detail);

class IndexDb {
 public:
  struct Options {
    bool readOnly = false;  // readers neither create nor migrate
    int64_t maxPages = 0;   // a size cap, for tests of a full disk
    // One step of any query runs at most this long: a crafted file cannot
    // hold a reader or the writer without end.
    int stepBoundMs = 20000;
    // Set when the file is no index of ours or a damaged one (not when it is
    // merely busy or unreadable): the caller may move it aside.
    bool* corrupt = nullptr;
  };
  // Opens (creating and migrating unless read-only) the database at path; null
  // with error set when it cannot be used. Files are opened with SQLite's
  // defensive mode and an untrusted schema; a writer checks the file first.
  static std::unique_ptr<IndexDb> Open(const std::string& path, std::string& error,
                                       const Options& options);
  static std::unique_ptr<IndexDb> Open(const std::string& path, std::string& error) {
    return Open(path, error, Options{});
  }
  ~IndexDb();
  IndexDb(const IndexDb&) = delete;
  IndexDb& operator=(const IndexDb&) = delete;

  // One transaction: the site's row and its entries, replacing earlier ones.
  bool Store(const SiteOutcome& outcome, std::string& error);
  // Hits in index order, limit at most (negative: no limit) from offset.
  std::vector<FoundEntry> Find(const FindQuery& query, int64_t offset, int64_t limit,
                               std::string& error);
  // The same hits one at a time, however many, until visit returns false.
  void Scan(const FindQuery& query, int64_t offset, int64_t limit,
            const std::function<bool(const FoundEntry&)>& visit, std::string& error);
  int64_t Count(const FindQuery& query, std::string& error);
  // The entries last stored for the site at url, in listing order.
  std::vector<ListingEntry> EntriesOf(const std::string& url, std::string& error);
  // The site stored for url, or nothing (error set on a fault).
  std::optional<IndexedSite> Site(const std::string& url, std::string& error);
  // The sites of the most recent search, or nothing when the index is empty.
  std::optional<LastResults> Last(std::string& error);
  int SchemaVersion();

 private:
  struct Writes;
  explicit IndexDb(sqlite3* db);
  // Whether the file holds this program's tables where a writer expects them.
  bool SchemaIsOurs(int version);
  // Takes the passwords out of sites stored with one.
  bool ForgetPasswords(std::string& error);
  sqlite3* db_;
  int stepBoundMs_ = 0;             // the progress handler's, for the connection's life
  std::unique_ptr<Writes> writes_;  // made by the first store
};

}  // namespace qb

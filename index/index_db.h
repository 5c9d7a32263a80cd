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

inline constexpr int IndexSchemaVersion = 4;
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
  // The folder holding the entry, relative to siteUrl: "" for the site's own,
  // else like "pub/linux/"; as shown, names converted to UTF-8.
  std::string folder;
  // The server's own bytes for the name and for the folder, when they differ
  // from the shown ones; a URL for the entry is made from these.
  std::string serverName;
  std::string serverFolder;
};

// A folder a crawl has still to list. path is relative to the site's URL, ""
// for its own folder, else ending in '/'; serverPath holds the server's bytes
// for it when they differ from the shown path.
struct CrawlFolder {
  std::string path;
  std::string serverPath;
  int depth = 0;
};

enum class CrawlFolderState : int32_t { Queued = 0, Listed = 1, Failed = 2, Skipped = 3 };

// One folder's outcome within a crawl.
struct ListedFolder {
  std::string path;
  std::string serverPath;  // empty: as queued
  std::vector<ListingEntry> entries;
  std::vector<CrawlFolder> children;  // those already known to the crawl are left out
  CrawlFolderState state = CrawlFolderState::Listed;
  std::string failure;  // the server's reply, for a failed folder
};

struct CrawlState {
  int64_t crawlId = 0;
  std::string url;  // without its password
  int64_t foldersListed = 0;
  int64_t foldersQueued = 0;
  int64_t foldersFailed = 0;
  int64_t foldersSkipped = 0;
  int64_t entries = 0;
  int64_t startedAt = 0;  // seconds since the epoch
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

// A download kept across restarts; the URL without its password, as every
// URL the index keeps. state is the queue's own value.
struct KeptTransfer {
  int64_t id = 0;
  std::string url;
  std::string folder;
  int64_t size = -1;
  int64_t bytes = 0;
  int32_t state = 0;
  std::string path;
  std::string text;
  int64_t addedAt = 0;  // seconds since the epoch
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
  // The entries are its own folder's: a crawled site keeps the folders below.
  bool Store(const SiteOutcome& outcome, std::string& error);
  // Hits in index order, limit at most (negative: no limit) from offset.
  std::vector<FoundEntry> Find(const FindQuery& query, int64_t offset, int64_t limit,
                               std::string& error);
  // The same hits one at a time, however many, until visit returns false.
  void Scan(const FindQuery& query, int64_t offset, int64_t limit,
            const std::function<bool(const FoundEntry&)>& visit, std::string& error);
  int64_t Count(const FindQuery& query, std::string& error);
  // The entries last stored for one folder of the site at url (its own by
  // default), in listing order. The folder's path is as shown, or with
  // serverBytes as the server spells it.
  std::vector<ListingEntry> EntriesOf(const std::string& url, std::string& error,
                                      const std::string& folder = "", bool serverBytes = false);
  // The site stored for url, or nothing (error set on a fault).
  std::optional<IndexedSite> Site(const std::string& url, std::string& error);
  // The sites of the most recent search, or nothing when the index is empty.
  std::optional<LastResults> Last(std::string& error);
  int SchemaVersion();

  // A crawl lists a whole site folder by folder, keeping its queue and what it
  // found in the index, so that it resumes where it stopped. Its entries stay
  // out of Find, Count, EntriesOf and Last until FinishCrawl puts them in place
  // of the site's, in one transaction: until then the old ones are found.

  // Begins a crawl of url with its own folder queued, or returns the
  // unfinished one of url.
  std::optional<CrawlState> BeginCrawl(const std::string& url, std::string& error);
  // One transaction: each folder still queued is stored with its entries and
  // state, and its children queued once; folders no longer queued (listed
  // before) are passed over, so a batch given twice is kept once. A folder
  // given as still queued is refused; entries past MaxEntriesPerSite are not
  // kept.
  bool StoreCrawlBatch(int64_t crawlId, const std::vector<ListedFolder>& batch, std::string& error);
  // Up to max queued folders, shallowest first, then in the order they were
  // queued; those whose paths are in besides (being listed) are left out.
  std::vector<CrawlFolder> QueuedFolders(int64_t crawlId, int max, std::string& error,
                                         const std::vector<std::string>& besides = {});
  // The crawl's entries replace the site's (queued folders left unlisted), its
  // outcome's status, texts and time go on the site, and the crawl ends. The
  // site keeps its search term unless outcome.term is set. Replacing a large
  // earlier crawl takes seconds: each of its names leaves the name table.
  bool FinishCrawl(int64_t crawlId, const SiteOutcome& outcome, std::string& error);
  // Ends the crawl and drops what it found; the site stays as it was.
  bool AbandonCrawl(int64_t crawlId, std::string& error);
  std::vector<CrawlState> UnfinishedCrawls(std::string& error);
  std::optional<CrawlState> Crawl(int64_t crawlId, std::string& error);

  // The download queue, in the order added.
  std::vector<KeptTransfer> Transfers(std::string& error);
  // One transaction: the new rows' ids in order, empty when none was kept.
  std::vector<int64_t> AddTransfers(const std::vector<KeptTransfer>& transfers, std::string& error);
  // A row no longer there is left so.
  bool UpdateTransfer(const KeptTransfer& transfer, std::string& error);
  bool RemoveTransfers(const std::vector<int64_t>& ids, std::string& error);

 private:
  struct Writes;
  // Prepares the writer's statements once; false with error set when it fails.
  bool PrepareWrites(std::string& error);
  explicit IndexDb(sqlite3* db);
  // Whether the file holds this program's tables where a writer expects them.
  bool SchemaIsOurs(int version);
  // Takes the passwords out of sites stored with one.
  bool ForgetPasswords(std::string& error);
  sqlite3* db_;
  int stepBoundMs_ = 0;             // the progress handler's, for the connection's life
  std::unique_ptr<Writes> writes_;  // made by the first write
};

}  // namespace qb

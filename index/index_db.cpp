#include "index/index_db.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "core/password_text.h"

namespace qb {

namespace {

// Each step takes the schema from the version before it to the next.
const char* const Migrations[] = {
    // 1: sites and their entries; names in a trigram table over the entries.
    "CREATE TABLE sites(id INTEGER PRIMARY KEY, url TEXT NOT NULL UNIQUE, status INTEGER,"
    " status_text TEXT, tested_file TEXT, explored_at INTEGER, term TEXT);"
    "CREATE INDEX sites_explored ON sites(explored_at);"
    "CREATE TABLE entries(id INTEGER PRIMARY KEY, name TEXT, size INTEGER, date TEXT,"
    " folder INTEGER);"
    "CREATE VIRTUAL TABLE names USING fts5(name, content='entries', content_rowid='id',"
    " tokenize='trigram', detail='none');"
    "CREATE TRIGGER entries_in AFTER INSERT ON entries BEGIN"
    " INSERT INTO names(rowid, name) VALUES (new.id, new.name); END;"
    "CREATE TRIGGER entries_out AFTER DELETE ON entries BEGIN"
    " INSERT INTO names(names, rowid, name) VALUES ('delete', old.id, old.name); END;",
    // 2: stores keep the name table themselves, touching only names that
    // changed; no per-name token counts, which nothing reads.
    "DROP TRIGGER entries_in; DROP TRIGGER entries_out; DROP TABLE names;"
    "CREATE VIRTUAL TABLE names USING fts5(name, content='entries', content_rowid='id',"
    " tokenize='trigram', detail='none', columnsize=0);"
    "INSERT INTO names(names) VALUES ('rebuild');"
    // Merging segments eight at a time rather than four writes each name less
    // often, for a few more segments to read.
    "INSERT INTO names(names, rank) VALUES ('automerge', 8);",
    // 3: entries of any folder of a site, and crawls that list whole sites.
    // ("folder" is the entry's kind already.) A crawl writes under a site row
    // of its own, marked pending, and keeps its folders to list on disk.
    "ALTER TABLE entries ADD COLUMN path TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE entries ADD COLUMN server_name TEXT;"
    "ALTER TABLE entries ADD COLUMN server_path TEXT;"
    "ALTER TABLE sites ADD COLUMN pending INTEGER NOT NULL DEFAULT 0;"
    "CREATE TABLE crawls(id INTEGER PRIMARY KEY, url TEXT NOT NULL UNIQUE,"
    " started_at INTEGER NOT NULL, entries INTEGER NOT NULL DEFAULT 0,"
    " listed INTEGER NOT NULL DEFAULT 0, queued INTEGER NOT NULL DEFAULT 0,"
    " failed INTEGER NOT NULL DEFAULT 0, skipped INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE crawl_folders(seq INTEGER PRIMARY KEY, crawl INTEGER NOT NULL,"
    " path TEXT NOT NULL, server_path TEXT, depth INTEGER NOT NULL,"
    " state INTEGER NOT NULL DEFAULT 0, failure TEXT, UNIQUE(crawl, path));"
    "CREATE INDEX crawl_queue ON crawl_folders(crawl, depth, seq) WHERE state = 0;",
    // 4: the download queue, kept so that it goes on after a restart.
    "CREATE TABLE transfers(id INTEGER PRIMARY KEY, url TEXT NOT NULL, folder TEXT NOT NULL,"
    " size INTEGER NOT NULL DEFAULT -1, bytes INTEGER NOT NULL DEFAULT 0,"
    " state INTEGER NOT NULL DEFAULT 0, path TEXT, text TEXT, added_at INTEGER NOT NULL);",
};
static_assert(std::size(Migrations) == IndexSchemaVersion);

// When the step that runs on this thread began, for the progress handler.
thread_local std::chrono::steady_clock::time_point stepStarted;

int StepTooLong(void* boundMs) {
  const auto bound = std::chrono::milliseconds(*static_cast<const int*>(boundMs));
  return std::chrono::steady_clock::now() - stepStarted > bound ? 1 : 0;
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql, unsigned flags = 0) {
    rc_ = sqlite3_prepare_v3(db, sql, -1, flags, &s_, nullptr);
  }
  ~Statement() { sqlite3_finalize(s_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  int rc() const { return rc_; }
  sqlite3_stmt* get() const { return s_; }
  void Text(int i, const std::string& t) {
    sqlite3_bind_text(s_, i, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
  }
  // Not copied: the text must outlive the statement's next reset.
  void View(int i, std::string_view t) {
    sqlite3_bind_text(s_, i, t.data(), static_cast<int>(t.size()), SQLITE_STATIC);
  }
  // NULL for empty text.
  void ViewOrNull(int i, std::string_view t) {
    if (t.empty()) {
      sqlite3_bind_null(s_, i);
    } else {
      View(i, t);
    }
  }
  void Int(int i, int64_t v) { sqlite3_bind_int64(s_, i, v); }
  int Step() {
    stepStarted = std::chrono::steady_clock::now();
    return rc_ = sqlite3_step(s_);
  }
  void Reset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  std::string ColText(int i) const {
    const auto* p = sqlite3_column_text(s_, i);
    return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(s_, i)) : "";
  }
  // Valid until the next step.
  std::string_view ColView(int i) const {
    const auto* p = sqlite3_column_text(s_, i);
    return p ? std::string_view(reinterpret_cast<const char*>(p),
                                static_cast<std::size_t>(sqlite3_column_bytes(s_, i)))
             : std::string_view();
  }
  int64_t ColInt(int i) const { return sqlite3_column_int64(s_, i); }

 private:
  sqlite3_stmt* s_ = nullptr;
  int rc_;
};

// A listing's fixed-size text field, which may fill its array without a terminator.
std::string_view Field(const char* chars, std::size_t max) { return {chars, strnlen(chars, max)}; }

std::string Fail(sqlite3* db, int rc) { return IndexFaultText(rc, sqlite3_errmsg(db)); }

// A LIKE pattern matching text literally anywhere in a name.
std::string ContainsPattern(const std::string& text, bool suffixOnly) {
  std::string p = suffixOnly ? "%." : "%";
  for (const char c : text) {
    if (c == '%' || c == '_' || c == '\\') p += '\\';
    p += c;
  }
  if (!suffixOnly) p += '%';
  return p;
}

// Byte offsets of each character's start in text, and its end; nothing when the
// text is not plain UTF-8 the trigram table would split the same way.
std::optional<std::vector<std::size_t>> CharStarts(const std::string& text) {
  std::vector<std::size_t> starts;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead < 0x80         ? 1
                          : (lead >> 5) == 6  ? 2
                          : (lead >> 4) == 14 ? 3
                          : (lead >> 3) == 30 ? 4
                                              : 0;
    if (lead == 0 || n == 0 || i + n > text.size()) return std::nullopt;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return std::nullopt;
    }
    starts.push_back(i);
    i += n;
  }
  starts.push_back(i);
  return starts;
}

// Every three-character run of text as a quoted FTS5 term, each required: the
// table keeps no positions, so it narrows the names and LIKE then decides.
void AddTrigrams(const std::string& text, std::set<std::string>& terms) {
  const auto starts = CharStarts(text);
  if (!starts || starts->size() < 4) return;
  for (std::size_t c = 0; c + 3 < starts->size(); ++c) {
    std::string term = "\"";
    for (std::size_t b = (*starts)[c]; b < (*starts)[c + 3]; ++b) {
      if (text[b] == '"') term += '"';
      term += text[b];
    }
    terms.insert(term + '"');
  }
}

std::string MatchText(const FindQuery& q) {
  std::set<std::string> terms;
  AddTrigrams(q.text, terms);
  if (!q.extension.empty()) AddTrigrams("." + q.extension, terms);
  std::string match;
  for (const std::string& t : terms) match += (match.empty() ? "" : " ") + t;
  return match;
}

// The filter shared by Find and Count; binds from parameter 1, the trigram
// terms (when there are any) as parameter 7. Without terms every name is read.
std::string FindFrom(bool indexed) {
  static_assert(SiteIdShift == 24);
  return std::string(indexed ? " FROM names JOIN entries e ON e.id = names.rowid"
                             : " FROM entries e") +
         " JOIN sites s ON s.id = (e.id >> 24) WHERE " + (indexed ? "names MATCH ?7 AND " : "") +
         "e.name LIKE ?1 ESCAPE '\\' AND (?2 = '' OR e.name LIKE ?2 ESCAPE '\\')"
         " AND e.size >= ?3 AND (?4 < 0 OR e.folder = ?4) AND s.pending = 0";
}

void BindFind(Statement& s, const FindQuery& q, const std::string& match) {
  s.Text(1, ContainsPattern(q.text, false));
  s.Text(2, q.extension.empty() ? std::string() : ContainsPattern(q.extension, true));
  s.Int(3, q.minSize);
  s.Int(4, q.kind == FindKind::All ? -1 : (q.kind == FindKind::Folders ? 1 : 0));
  if (!match.empty()) s.Text(7, match);
}

bool Exec(sqlite3* db, const char* sql, std::string& error) {
  stepStarted = std::chrono::steady_clock::now();
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return true;
  error = Fail(db, rc);
  return false;
}

// Prepared once for the writer's connection: a store is too short to pay for
// compiling its statements each time.
struct Prepared : Statement {
  Prepared(sqlite3* db, const char* sql) : Statement(db, sql, SQLITE_PREPARE_PERSISTENT) {}
};

}  // namespace

struct IndexDb::Writes {
  explicit Writes(sqlite3* db)
      : site(db,
             "INSERT INTO sites(url, status, status_text, tested_file, explored_at, term)"
             " VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(url) DO UPDATE SET"
             " status = ?2, status_text = ?3, tested_file = ?4, explored_at = ?5, term = ?6"
             " RETURNING id"),
        earlier(db,
                "SELECT id, name, size, date, folder, server_name FROM entries"
                " WHERE id >= ?1 AND id < ?2 ORDER BY id"),
        // Each folder's entries are one run of ids, the site's own first or
        // last: a site holds deeper folders when its first or last entry is in one.
        deeper(db,
               "SELECT (SELECT path FROM entries WHERE id >= ?1 AND id < ?2 ORDER BY id LIMIT 1)"
               " <> '' OR (SELECT path FROM entries WHERE id >= ?1 AND id < ?2"
               " ORDER BY id DESC LIMIT 1) <> ''"),
        put(db,
            "INSERT INTO entries(id, name, size, date, folder, server_name)"
            " VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(id) DO UPDATE SET"
            " name = ?2, size = ?3, date = ?4, folder = ?5, server_name = ?6"),
        addName(db, "INSERT INTO names(rowid, name) VALUES (?1, ?2)"),
        dropName(db, "INSERT INTO names(names, rowid, name) VALUES ('delete', ?1, ?2)"),
        dropNames(db,
                  "INSERT INTO names(names, rowid, name)"
                  " SELECT 'delete', id, name FROM entries WHERE id >= ?1 AND id < ?2"),
        dropEntries(db, "DELETE FROM entries WHERE id >= ?1 AND id < ?2"),
        addNames(db,
                 "INSERT INTO names(rowid, name)"
                 " SELECT id, name FROM entries WHERE id >= ?1 AND id < ?2"),
        lastId(db, "SELECT max(id) FROM entries WHERE id >= ?1 AND id < ?2"),
        dropOwnNames(db,
                     "INSERT INTO names(names, rowid, name) SELECT 'delete', id, name"
                     " FROM entries WHERE id >= ?1 AND id < ?2 AND path = ''"),
        dropOwn(db, "DELETE FROM entries WHERE id >= ?1 AND id < ?2 AND path = ''"),
        crawlOf(db, "SELECT id FROM crawls WHERE url = ?1"),
        pendingSite(db,
                    "INSERT INTO sites(url, pending, explored_at) VALUES ('crawl:' || ?1, 1, 0)"
                    " ON CONFLICT(url) DO UPDATE SET pending = 1 RETURNING id"),
        newCrawl(db, "INSERT INTO crawls(id, url, started_at, queued) VALUES (?1, ?2, ?3, 1)"),
        crawl(db,
              "SELECT id, url, listed, queued, failed, skipped, entries, started_at FROM crawls"
              " WHERE id = ?1"),
        counts(db,
               "UPDATE crawls SET entries = ?2, listed = ?3, queued = ?4, failed = ?5,"
               " skipped = ?6 WHERE id = ?1"),
        folderOf(
            db, "SELECT seq, state, server_path FROM crawl_folders WHERE crawl = ?1 AND path = ?2"),
        markFolder(db, "UPDATE crawl_folders SET state = ?2, failure = ?3 WHERE seq = ?1"),
        queue(db,
              "INSERT INTO crawl_folders(crawl, path, server_path, depth, state, failure)"
              " VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(crawl, path) DO NOTHING"),
        queued(db,
               "SELECT path, server_path, depth FROM crawl_folders WHERE crawl = ?1 AND state = 0"
               " ORDER BY depth, seq LIMIT ?2"),
        putFound(db,
                 "INSERT INTO entries(id, name, size, date, folder, path, server_name, server_path)"
                 " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"),
        siteOf(db, "SELECT id, term FROM sites WHERE url = ?1 AND pending = 0"),
        dropSite(db, "DELETE FROM sites WHERE id = ?1"),
        crawled(db,
                "UPDATE sites SET url = ?2, pending = 0, status = ?3, status_text = ?4,"
                " tested_file = ?5, explored_at = ?6, term = ?7 WHERE id = ?1"),
        dropFolders(db, "DELETE FROM crawl_folders WHERE crawl = ?1"),
        dropCrawl(db, "DELETE FROM crawls WHERE id = ?1") {}
  int rc() const {
    for (const Statement* s :
         {&site,        &earlier,  &deeper,   &put,          &addName,     &dropName, &dropNames,
          &dropEntries, &addNames, &lastId,   &dropOwnNames, &dropOwn,     &crawlOf,  &pendingSite,
          &newCrawl,    &crawl,    &counts,   &folderOf,     &markFolder,  &queue,    &queued,
          &putFound,    &siteOf,   &dropSite, &crawled,      &dropFolders, &dropCrawl}) {
      if (s->rc() != SQLITE_OK) return s->rc();
    }
    return SQLITE_OK;
  }
  // Site outcomes.
  Prepared site;
  Prepared earlier;
  Prepared deeper;
  Prepared put;
  Prepared addName;
  Prepared dropName;
  Prepared dropNames;
  Prepared dropEntries;
  Prepared addNames;
  Prepared lastId;
  Prepared dropOwnNames;
  Prepared dropOwn;
  // Crawls.
  Prepared crawlOf;
  Prepared pendingSite;
  Prepared newCrawl;
  Prepared crawl;
  Prepared counts;
  Prepared folderOf;
  Prepared markFolder;
  Prepared queue;
  Prepared queued;
  Prepared putFound;
  Prepared siteOf;
  Prepared dropSite;
  Prepared crawled;
  Prepared dropFolders;
  Prepared dropCrawl;
  // Puts the site's listing in place of what its id range held; the statement
  // that failed, or null.
  Statement* Replace(int64_t first, const std::vector<ListingEntry>& entries);
  // The same for a site that holds deeper folders too, which stay.
  Statement* ReplaceOwnFolder(int64_t first, const std::vector<ListingEntry>& entries);
  // One past the last id in use from first on, within its site's range; first
  // when there is none. Sets end, or returns the failed statement.
  Statement* EndOf(int64_t first, int64_t& end);
  // Takes the names and then the entries of [from, to) out.
  Statement* Drop(int64_t from, int64_t to);
  // The crawl's counters as stored, or the failed statement; found false when
  // there is no such crawl.
  Statement* ReadCrawl(int64_t id, CrawlState& state, bool& found);
  bool BeginCrawlWrite(sqlite3* db, int64_t crawlId, CrawlState& c, Statement*& failed,
                       std::string& error);
};

IndexDb::IndexDb(sqlite3* db) : db_(db) {}

std::string IndexFaultText(int sqliteCode, const std::string& detail) {
  switch (sqliteCode & 0xff) {
    case SQLITE_FULL:
      return "The disk holding the index is full; found files are no longer kept.";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return "The index file is damaged (" + detail + "); found files are not kept.";
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "The index is in use by another running copy; found files are not kept.";
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_IOERR:
      return "The index cannot be opened or written (" + detail + "); found files are not kept.";
    default:
      return "The index failed (" + detail + "); found files are not kept.";
  }
}

std::unique_ptr<IndexDb> IndexDb::Open(const std::string& path, std::string& error,
                                       const Options& options) {
  sqlite3* raw = nullptr;
  if (!options.readOnly) {
    // Made the user's alone before SQLite opens it: its -wal and -shm files take
    // the same mode, and the URLs inside may carry passwords.
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (fd < 0) {
      error = IndexFaultText(SQLITE_CANTOPEN, path + ": " + std::strerror(errno));
      return nullptr;
    }
    ::close(fd);
  }
  const int flags =
      options.readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  int rc = sqlite3_open_v2(path.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  std::unique_ptr<IndexDb> db(new IndexDb(raw));
  if (rc != SQLITE_OK) {
    error = IndexFaultText(rc, raw ? sqlite3_errmsg(raw) : path);
    return nullptr;
  }
  sqlite3_extended_result_codes(raw, 0);
  sqlite3_busy_timeout(raw, 2000);
  // A file from elsewhere may hold views and triggers of its own: none runs
  // with more than plain SQL's rights, none can damage the file, and no step
  // runs without end.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  db->stepBoundMs_ = options.stepBoundMs > 0 ? options.stepBoundMs : 20000;
  sqlite3_progress_handler(raw, 1000, StepTooLong, &db->stepBoundMs_);
  const auto corrupt = [&](const std::string& why) {
    if (options.corrupt) *options.corrupt = true;
    error = "The index " + path + " is damaged or not an index (" + why + ")";
    return nullptr;
  };
  if (options.maxPages > 0) {
    const std::string cap = "PRAGMA max_page_count=" + std::to_string(options.maxPages);
    if (!Exec(raw, cap.c_str(), error)) return nullptr;
  }
  // A damaged file shows itself on the first read of its schema.
  const int version = db->SchemaVersion();
  if (version < 0) {
    const int rc = sqlite3_errcode(raw);
    error = Fail(raw, rc);
    if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT) return corrupt(error);
    return nullptr;
  }
  if (version > IndexSchemaVersion) {
    error = "The index was written by a newer version of the program; found files are not kept.";
    return nullptr;
  }
  if (!db->SchemaIsOurs(version)) return corrupt("unexpected tables");
  if (!options.readOnly) {
    Statement check(raw, "PRAGMA quick_check(1)");
    const int step = check.Step();
    if (step == SQLITE_INTERRUPT) return corrupt("its check ran too long");
    if (step != SQLITE_ROW) {
      error = Fail(raw, check.rc());
      if (check.rc() == SQLITE_CORRUPT || check.rc() == SQLITE_NOTADB) return corrupt(error);
      return nullptr;
    }
    if (check.ColText(0) != "ok") return corrupt(check.ColText(0));
  }
  if (options.readOnly) {
    if (version != IndexSchemaVersion) {
      error = "The index is not ready yet.";
      return nullptr;
    }
    return db;
  }
  if (!Exec(raw, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", error)) return nullptr;
  for (int v = version; v < IndexSchemaVersion; ++v) {
    const std::string step = std::string("BEGIN IMMEDIATE;") + Migrations[v] +
                             ";PRAGMA user_version=" + std::to_string(v + 1) + ";COMMIT;";
    if (!Exec(raw, step.c_str(), error)) {
      sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
      return nullptr;
    }
  }
  if (!db->ForgetPasswords(error)) return nullptr;
  return db;
}

bool IndexDb::ForgetPasswords(std::string& error) {
  // Files written before the index kept no passwords still hold some.
  std::vector<std::pair<int64_t, std::string>> kept;
  {
    Statement s(db_, "SELECT id, url FROM sites WHERE url LIKE '%:%@%'");
    while (s.Step() == SQLITE_ROW) {
      std::string url = s.ColText(1);
      if (std::string bare = WithoutPassword(url); bare != url)
        kept.emplace_back(s.ColInt(0), bare);
    }
    if (s.rc() != SQLITE_DONE) {
      error = Fail(db_, s.rc());
      return false;
    }
  }
  if (kept.empty()) return true;
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return false;
  // A site kept both with and without its password keeps the row it has without.
  Statement update(db_, "UPDATE OR IGNORE sites SET url = ?1 WHERE id = ?2");
  for (const auto& [id, bare] : kept) {
    update.Text(1, bare);
    update.Int(2, id);
    if (update.Step() != SQLITE_DONE) {
      error = Fail(db_, update.rc());
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return false;
    }
    update.Reset();
  }
  return Exec(db_, "COMMIT", error);
}

IndexDb::~IndexDb() {
  writes_.reset();
  sqlite3_close_v2(db_);
}

bool IndexDb::SchemaIsOurs(int version) {
  constexpr const char* Ours =
      "name IN ('sites', 'entries', 'names', 'crawls', 'crawl_folders', 'transfers')";
  if (version == 0) {
    // Not set up yet: nothing of ours, and no view or trigger that would run.
    Statement any(db_, (std::string("SELECT count(*) FROM sqlite_schema WHERE ") + Ours +
                        " OR type IN ('view', 'trigger')")
                           .c_str());
    return any.Step() == SQLITE_ROW && any.ColInt(0) == 0;
  }
  Statement s(db_, (std::string("SELECT name, type FROM sqlite_schema WHERE ") + Ours +
                    " OR type = 'view' OR (type = 'trigger' AND ?1 >= 2)")
                       .c_str());
  s.Int(1, version);
  int tables = 0;
  while (s.Step() == SQLITE_ROW) {
    if (s.ColText(1) != "table") return false;
    ++tables;
  }
  const int expected = version >= 4 ? 6 : (version >= 3 ? 5 : 3);
  return s.rc() == SQLITE_DONE && tables == expected;
}

int IndexDb::SchemaVersion() {
  Statement s(db_, "PRAGMA user_version");
  if (s.rc() != SQLITE_OK || s.Step() != SQLITE_ROW) return -1;
  return static_cast<int>(s.ColInt(0));
}

namespace {

// An entry as the index last stored it, at its place in the site's listing.
struct StoredEntry {
  int64_t id = 0;
  std::string name;
  int64_t size = 0;
  std::string date;
  int64_t folder = 0;
  std::string serverName;
};

// Runs a statement without rows; false leaves it unreset, for its error.
bool Run(Statement& s) {
  if (s.Step() != SQLITE_DONE) return false;
  s.Reset();
  return true;
}

// A statement over the ids [from, to) run a slice at a time, so that a crawled
// site's million names do not make one step that outlasts the step bound.
bool RunRange(Statement& s, int64_t from, int64_t to) {
  constexpr int64_t Slice = int64_t{1} << 16;
  for (int64_t a = from; a < to; a += Slice) {
    s.Int(1, a);
    s.Int(2, std::min(to, a + Slice));
    if (!Run(s)) return false;
  }
  return true;
}

// The server's bytes for a name or path, kept only when they differ.
std::string_view ServerForm(const std::string& server, std::string_view shown) {
  return server == shown ? std::string_view() : std::string_view{server};
}

// Commits a write begun with BEGIN IMMEDIATE, or rolls it back with the error
// of the statement that failed.
bool Conclude(sqlite3* db, Statement* failed, std::string& error) {
  if (failed) {
    error = Fail(db, failed->rc() == SQLITE_OK ? SQLITE_ERROR : failed->rc());
    failed->Reset();
  } else if (Exec(db, "COMMIT", error)) {
    return true;
  }
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

int64_t SiteFirst(int64_t siteId) { return siteId << SiteIdShift; }
int64_t SiteLast(int64_t siteId) { return SiteFirst(siteId) + int64_t{MaxEntriesPerSite}; }

}  // namespace

bool IndexDb::PrepareWrites(std::string& error) {
  if (writes_) return true;
  writes_ = std::make_unique<Writes>(db_);
  if (const int rc = writes_->rc(); rc != SQLITE_OK) {
    error = Fail(db_, rc);
    writes_.reset();
    return false;
  }
  return true;
}

Statement* IndexDb::Writes::EndOf(int64_t first, int64_t& end) {
  lastId.Int(1, first);
  lastId.Int(2, SiteLast(first >> SiteIdShift));
  if (lastId.Step() != SQLITE_ROW) return &lastId;
  end = sqlite3_column_type(lastId.get(), 0) == SQLITE_NULL ? first : lastId.ColInt(0) + 1;
  lastId.Reset();
  return nullptr;
}

Statement* IndexDb::Writes::Drop(int64_t from, int64_t to) {
  // Names go out before their entries: taking them out reads the entries' text.
  if (!RunRange(dropNames, from, to)) return &dropNames;
  if (!RunRange(dropEntries, from, to)) return &dropEntries;
  return nullptr;
}

// A site explored again mostly lists what it listed before: only the names
// that changed at their place are taken out of and put into the name table,
// which costs far more per name than the entries themselves. When most have
// changed, whole-range statements beat one statement per name.
Statement* IndexDb::Writes::Replace(int64_t first, const std::vector<ListingEntry>& entries) {
  const int64_t last = first + static_cast<int64_t>(MaxEntriesPerSite);
  deeper.Int(1, first);
  deeper.Int(2, last);
  if (deeper.Step() != SQLITE_ROW) return &deeper;
  const bool crawled = deeper.ColInt(0) != 0;
  deeper.Reset();
  if (crawled) return ReplaceOwnFolder(first, entries);
  std::vector<StoredEntry> before;
  earlier.Int(1, first);
  earlier.Int(2, last);
  while (earlier.Step() == SQLITE_ROW) {
    StoredEntry& b = before.emplace_back();
    b.id = earlier.ColInt(0);
    b.name = earlier.ColView(1);
    b.size = earlier.ColInt(2);
    b.date = earlier.ColView(3);
    b.folder = earlier.ColInt(4);
    b.serverName = earlier.ColView(5);
  }
  if (earlier.rc() != SQLITE_DONE) return &earlier;
  earlier.Reset();

  const std::size_t n = std::min(entries.size(), MaxEntriesPerSite);
  const int64_t end = first + static_cast<int64_t>(n);
  const int64_t endBefore = before.empty() ? first : before.back().id + 1;
  // The earlier entry at each place, or null.
  std::vector<const StoredEntry*> at(n, nullptr);
  std::size_t renamed = 0;
  for (const StoredEntry& b : before) {
    if (b.id < end) at[static_cast<std::size_t>(b.id - first)] = &b;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (!at[i] || at[i]->name != Field(entries[i].name, sizeof entries[i].name)) ++renamed;
  }
  const bool wholesale = renamed * 2 > n;
  if (wholesale && !before.empty() && !RunRange(dropNames, first, endBefore)) return &dropNames;
  for (std::size_t i = 0; i < n; ++i) {
    const ListingEntry& e = entries[i];
    const StoredEntry* had = at[i];
    const int64_t id = first + static_cast<int64_t>(i);
    const std::string_view name = Field(e.name, sizeof e.name);
    const std::string_view date = Field(e.date, sizeof e.date);
    const std::string_view server = ServerForm(e.serverName, name);
    const int64_t folder = e.isFolder != 0 ? 1 : 0;
    if (had && had->name == name && had->size == e.size && had->date == date &&
        had->folder == folder && had->serverName == server) {
      continue;
    }
    const bool newName = !had || had->name != name;
    if (!wholesale && had && newName) {
      dropName.Int(1, id);
      dropName.Text(2, had->name);
      if (!Run(dropName)) return &dropName;
    }
    put.Int(1, id);
    put.View(2, name);
    put.Int(3, e.size);
    put.View(4, date);
    put.Int(5, folder);
    put.ViewOrNull(6, server);
    if (!Run(put)) return &put;
    if (!wholesale && newName) {
      addName.Int(1, id);
      addName.View(2, name);
      if (!Run(addName)) return &addName;
    }
  }
  if (endBefore > end) {
    if (!wholesale && !RunRange(dropNames, end, endBefore)) return &dropNames;
    if (!RunRange(dropEntries, end, endBefore)) return &dropEntries;
  }
  if (wholesale && !RunRange(addNames, first, end)) return &addNames;
  return nullptr;
}

// Exploring a crawled site again lists its own folder only: that folder's
// entries are replaced, and those of the folders below kept. The new ones go
// after the last id in use, so each folder's entries stay one run of ids.
Statement* IndexDb::Writes::ReplaceOwnFolder(int64_t first,
                                             const std::vector<ListingEntry>& entries) {
  int64_t end = first;
  if (Statement* failed = EndOf(first, end)) return failed;
  if (!RunRange(dropOwnNames, first, end)) return &dropOwnNames;
  if (!RunRange(dropOwn, first, end)) return &dropOwn;
  const int64_t room = first + static_cast<int64_t>(MaxEntriesPerSite) - end;
  const auto n = static_cast<int64_t>(std::min(entries.size(), static_cast<std::size_t>(room)));
  for (int64_t i = 0; i < n; ++i) {
    const ListingEntry& e = entries[static_cast<std::size_t>(i)];
    const std::string_view name = Field(e.name, sizeof e.name);
    put.Int(1, end + i);
    put.View(2, name);
    put.Int(3, e.size);
    put.View(4, Field(e.date, sizeof e.date));
    put.Int(5, e.isFolder != 0 ? 1 : 0);
    put.ViewOrNull(6, ServerForm(e.serverName, name));
    if (!Run(put)) return &put;
  }
  if (!RunRange(addNames, end, end + n)) return &addNames;
  return nullptr;
}

bool IndexDb::Store(const SiteOutcome& o, std::string& error) {
  if (!PrepareWrites(error)) return false;
  Writes& w = *writes_;
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return false;
  Statement* failed = nullptr;
  w.site.Text(1, WithoutPassword(o.url));
  w.site.Int(2, o.status);
  w.site.Text(3, o.statusText);
  w.site.Text(4, o.testedFile);
  w.site.Int(5, o.exploredAt);
  w.site.Text(6, o.term);
  if (w.site.Step() != SQLITE_ROW) {
    failed = &w.site;
  } else {
    const int64_t first = SiteFirst(w.site.ColInt(0));
    if (w.site.Step() != SQLITE_DONE) {
      failed = &w.site;
    } else {
      w.site.Reset();
      if (o.listed) failed = w.Replace(first, o.entries);
    }
  }
  return Conclude(db_, failed, error);
}

void IndexDb::Scan(const FindQuery& query, int64_t offset, int64_t limit,
                   const std::function<bool(const FoundEntry&)>& visit, std::string& error) {
  const std::string match = MatchText(query);
  const std::string sql =
      "SELECT e.name, e.size, e.date, e.folder, s.url, s.explored_at, s.status,"
      " s.status_text, e.path, e.server_name, e.server_path" +
      FindFrom(!match.empty()) + " LIMIT ?5 OFFSET ?6";
  Statement s(db_, sql.c_str());
  if (s.rc() != SQLITE_OK) {
    error = Fail(db_, s.rc());
    return;
  }
  BindFind(s, query, match);
  s.Int(5, limit);
  s.Int(6, offset);
  while (s.Step() == SQLITE_ROW) {
    if (!visit({s.ColText(0), s.ColInt(1), s.ColText(2), s.ColInt(3) != 0, s.ColText(4),
                s.ColInt(5), static_cast<int32_t>(s.ColInt(6)), s.ColText(7), s.ColText(8),
                s.ColText(9), s.ColText(10)})) {
      return;
    }
  }
  if (s.rc() != SQLITE_DONE) error = Fail(db_, s.rc());
}

std::vector<FoundEntry> IndexDb::Find(const FindQuery& query, int64_t offset, int64_t limit,
                                      std::string& error) {
  std::vector<FoundEntry> out;
  Scan(
      query, offset, limit,
      [&out](const FoundEntry& hit) {
        out.push_back(hit);
        return true;
      },
      error);
  return out;
}

int64_t IndexDb::Count(const FindQuery& query, std::string& error) {
  const std::string match = MatchText(query);
  const std::string sql = "SELECT count(*)" + FindFrom(!match.empty());
  Statement s(db_, sql.c_str());
  if (s.rc() != SQLITE_OK || (BindFind(s, query, match), s.Step()) != SQLITE_ROW) {
    error = Fail(db_, s.rc());
    return 0;
  }
  return s.ColInt(0);
}

std::vector<ListingEntry> IndexDb::EntriesOf(const std::string& url, std::string& error,
                                             const std::string& folder, bool serverBytes) {
  std::vector<ListingEntry> out;
  // The server's spelling of a folder is kept only where it differs.
  Statement s(db_,
              "SELECT e.name, e.size, e.date, e.folder, e.server_name,"
              " CASE WHEN ?2 THEN COALESCE(e.server_path, e.path) ELSE e.path END FROM sites s"
              " JOIN entries e ON e.id >= (s.id << 24) AND e.id < ((s.id + 1) << 24)"
              " WHERE s.url = ?1 AND s.pending = 0 ORDER BY e.id");
  s.Text(1, WithoutPassword(url));
  s.Int(2, serverBytes ? 1 : 0);
  // A folder's entries are one run of ids: reading ends with the run.
  while (s.Step() == SQLITE_ROW) {
    const auto* path = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 5));
    if (folder != (path ? path : "")) {
      if (!out.empty()) return out;
      continue;
    }
    ListingEntry e;
    const std::string name = s.ColText(0);
    const std::string date = s.ColText(2);
    std::strncpy(e.name, name.c_str(), sizeof e.name - 1);
    std::strncpy(e.date, date.c_str(), sizeof e.date - 1);
    e.size = s.ColInt(1);
    e.isFolder = s.ColInt(3) != 0 ? 1 : 0;
    e.serverName = s.ColText(4);
    out.push_back(std::move(e));
  }
  if (s.rc() != SQLITE_DONE) error = Fail(db_, s.rc());
  return out;
}

std::optional<IndexedSite> IndexDb::Site(const std::string& url, std::string& error) {
  Statement s(db_,
              "SELECT url, status, status_text, tested_file, explored_at, term FROM sites"
              " WHERE url = ?1 AND pending = 0");
  if (s.rc() != SQLITE_OK) {
    error = Fail(db_, s.rc());
    return std::nullopt;
  }
  s.Text(1, WithoutPassword(url));
  if (s.Step() != SQLITE_ROW) {
    if (s.rc() != SQLITE_DONE) error = Fail(db_, s.rc());
    return std::nullopt;
  }
  return IndexedSite{s.ColText(0), static_cast<int32_t>(s.ColInt(1)),
                     s.ColText(2), s.ColText(3),
                     s.ColInt(4),  s.ColText(5)};
}

std::optional<LastResults> IndexDb::Last(std::string& error) {
  Statement latest(db_,
                   "SELECT term, explored_at FROM sites WHERE pending = 0"
                   " ORDER BY explored_at DESC LIMIT 1");
  if (latest.rc() != SQLITE_OK) {
    error = Fail(db_, latest.rc());
    return std::nullopt;
  }
  if (latest.Step() != SQLITE_ROW) {
    if (latest.rc() != SQLITE_DONE) error = Fail(db_, latest.rc());
    return std::nullopt;
  }
  LastResults last{latest.ColText(0), latest.ColInt(1), {}};
  Statement s(db_,
              "SELECT url, status, status_text, tested_file, explored_at, term FROM sites"
              " WHERE term = ?1 AND pending = 0 ORDER BY id");
  s.Text(1, last.term);
  while (s.Step() == SQLITE_ROW) {
    last.sites.push_back({s.ColText(0), static_cast<int32_t>(s.ColInt(1)), s.ColText(2),
                          s.ColText(3), s.ColInt(4), s.ColText(5)});
  }
  if (s.rc() != SQLITE_DONE) error = Fail(db_, s.rc());
  return last;
}

Statement* IndexDb::Writes::ReadCrawl(int64_t id, CrawlState& state, bool& found) {
  crawl.Int(1, id);
  const int rc = crawl.Step();
  found = rc == SQLITE_ROW;
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return &crawl;
  if (found) {
    state = {crawl.ColInt(0), crawl.ColText(1), crawl.ColInt(2), crawl.ColInt(3),
             crawl.ColInt(4), crawl.ColInt(5),  crawl.ColInt(6), crawl.ColInt(7)};
  }
  crawl.Reset();
  return nullptr;
}

std::optional<CrawlState> IndexDb::BeginCrawl(const std::string& url, std::string& error) {
  if (!PrepareWrites(error)) return std::nullopt;
  Writes& w = *writes_;
  const std::string bare = WithoutPassword(url);
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return std::nullopt;
  Statement* failed = nullptr;
  CrawlState state;
  bool found = false;
  w.crawlOf.Text(1, bare);
  const int rc = w.crawlOf.Step();
  if (rc == SQLITE_ROW) {
    const int64_t id = w.crawlOf.ColInt(0);
    w.crawlOf.Reset();
    failed = w.ReadCrawl(id, state, found);
  } else if (rc != SQLITE_DONE) {
    failed = &w.crawlOf;
  } else {
    w.crawlOf.Reset();
    w.pendingSite.Text(1, bare);
    if (w.pendingSite.Step() != SQLITE_ROW) {
      failed = &w.pendingSite;
    } else {
      const int64_t id = w.pendingSite.ColInt(0);
      if (w.pendingSite.Step() != SQLITE_DONE) failed = &w.pendingSite;
      if (!failed) {
        w.pendingSite.Reset();
        const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        w.newCrawl.Int(1, id);
        w.newCrawl.Text(2, bare);
        w.newCrawl.Int(3, now);
        w.queue.Int(1, id);
        w.queue.View(2, "");
        w.queue.Int(4, 0);
        w.queue.Int(5, static_cast<int64_t>(CrawlFolderState::Queued));
        // Whatever a row left behind without its crawl held goes first.
        int64_t end = SiteFirst(id);
        if (!(failed = w.EndOf(SiteFirst(id), end)) && !(failed = w.Drop(SiteFirst(id), end)) &&
            !Run(w.newCrawl)) {
          failed = &w.newCrawl;
        }
        if (!failed && !Run(w.queue)) failed = &w.queue;
        if (!failed) failed = w.ReadCrawl(id, state, found);
      }
    }
  }
  if (!failed && !found) {
    error = "The crawl could not be begun.";
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return std::nullopt;
  }
  if (!Conclude(db_, failed, error)) return std::nullopt;
  return state;
}

// The transaction of a write to a crawl, with the crawl's state read; false
// (rolled back, error set) when the crawl is gone. failed: a read that went
// wrong, for the caller to conclude.
bool IndexDb::Writes::BeginCrawlWrite(sqlite3* db, int64_t crawlId, CrawlState& c,
                                      Statement*& failed, std::string& error) {
  if (!Exec(db, "BEGIN IMMEDIATE", error)) return false;
  bool found = false;
  failed = ReadCrawl(crawlId, c, found);
  if (!failed && !found) {
    error = "The crawl is no longer in the index.";
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  return true;
}

bool IndexDb::StoreCrawlBatch(int64_t crawlId, const std::vector<ListedFolder>& batch,
                              std::string& error) {
  if (!PrepareWrites(error)) return false;
  Writes& w = *writes_;
  CrawlState c;
  Statement* failed = nullptr;
  if (!w.BeginCrawlWrite(db_, crawlId, c, failed, error)) return false;
  const int64_t start = SiteFirst(crawlId) + c.entries;
  const int64_t cap = SiteLast(crawlId);
  int64_t next = start;
  for (const ListedFolder& f : batch) {
    if (failed) break;
    if (f.state == CrawlFolderState::Queued) {
      error = "A folder was handed back to the crawl as still queued.";
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return false;
    }
    w.folderOf.Int(1, crawlId);
    w.folderOf.Text(2, f.path);
    const int rc = w.folderOf.Step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
      failed = &w.folderOf;
      break;
    }
    const bool queued = rc == SQLITE_ROW;
    const int64_t seq = queued ? w.folderOf.ColInt(0) : 0;
    const int64_t was = queued ? w.folderOf.ColInt(1) : -1;
    std::string serverPath = f.serverPath.empty() && queued ? w.folderOf.ColText(2) : f.serverPath;
    w.folderOf.Reset();
    if (queued && was != static_cast<int64_t>(CrawlFolderState::Queued)) continue;  // done before
    const auto state = static_cast<int64_t>(f.state);
    Statement& mark = queued ? static_cast<Statement&>(w.markFolder) : w.queue;
    if (queued) {
      w.markFolder.Int(1, seq);
      w.markFolder.Int(2, state);
      w.markFolder.ViewOrNull(3, f.failure);
      --c.foldersQueued;
    } else {
      // Not reached through the queue: kept as listed all the same, once.
      w.queue.Int(1, crawlId);
      w.queue.View(2, f.path);
      w.queue.ViewOrNull(3, ServerForm(serverPath, f.path));
      w.queue.Int(4, std::count(f.path.begin(), f.path.end(), '/'));
      w.queue.Int(5, state);
      w.queue.ViewOrNull(6, f.failure);
    }
    if (!Run(mark)) {
      failed = &mark;
      break;
    }
    if (f.state == CrawlFolderState::Listed) ++c.foldersListed;
    if (f.state == CrawlFolderState::Failed) ++c.foldersFailed;
    if (f.state == CrawlFolderState::Skipped) ++c.foldersSkipped;
    const std::string_view folderServer = ServerForm(serverPath, f.path);
    for (const ListingEntry& e : f.entries) {
      if (next >= cap) break;
      const std::string_view name = Field(e.name, sizeof e.name);
      w.putFound.Int(1, next);
      w.putFound.View(2, name);
      w.putFound.Int(3, e.size);
      w.putFound.View(4, Field(e.date, sizeof e.date));
      w.putFound.Int(5, e.isFolder != 0 ? 1 : 0);
      w.putFound.View(6, f.path);
      w.putFound.ViewOrNull(7, ServerForm(e.serverName, name));
      w.putFound.ViewOrNull(8, folderServer);
      if (!Run(w.putFound)) {
        failed = &w.putFound;
        break;
      }
      ++next;
    }
    for (const CrawlFolder& child : f.children) {
      if (failed) break;
      w.queue.Int(1, crawlId);
      w.queue.View(2, child.path);
      w.queue.ViewOrNull(3, ServerForm(child.serverPath, child.path));
      w.queue.Int(4, child.depth);
      w.queue.Int(5, static_cast<int64_t>(CrawlFolderState::Queued));
      if (!Run(w.queue)) {
        failed = &w.queue;
      } else {
        c.foldersQueued += sqlite3_changes(db_);
      }
    }
  }
  // The batch's names in bulk: one pass over its run of new entries.
  if (!failed && !RunRange(w.addNames, start, next)) failed = &w.addNames;
  if (!failed) {
    w.counts.Int(1, crawlId);
    w.counts.Int(2, next - SiteFirst(crawlId));
    w.counts.Int(3, c.foldersListed);
    w.counts.Int(4, c.foldersQueued);
    w.counts.Int(5, c.foldersFailed);
    w.counts.Int(6, c.foldersSkipped);
    if (!Run(w.counts)) failed = &w.counts;
  }
  return Conclude(db_, failed, error);
}

std::vector<CrawlFolder> IndexDb::QueuedFolders(int64_t crawlId, int max, std::string& error,
                                                const std::vector<std::string>& besides) {
  std::vector<CrawlFolder> out;
  if (max <= 0 || !PrepareWrites(error)) return out;
  const std::set<std::string_view> skip(besides.begin(), besides.end());
  Statement& q = writes_->queued;
  q.Int(1, crawlId);
  q.Int(2, static_cast<int64_t>(max) + static_cast<int64_t>(besides.size()));
  while (static_cast<int>(out.size()) < max && q.Step() == SQLITE_ROW) {
    CrawlFolder f{q.ColText(0), q.ColText(1), static_cast<int>(q.ColInt(2))};
    if (skip.contains(f.path)) continue;
    out.push_back(std::move(f));
  }
  if (q.rc() != SQLITE_ROW && q.rc() != SQLITE_DONE) error = Fail(db_, q.rc());
  q.Reset();
  return out;
}

bool IndexDb::FinishCrawl(int64_t crawlId, const SiteOutcome& o, std::string& error) {
  if (!PrepareWrites(error)) return false;
  Writes& w = *writes_;
  CrawlState c;
  Statement* failed = nullptr;
  if (!w.BeginCrawlWrite(db_, crawlId, c, failed, error)) return false;
  std::string term = o.term;
  if (!failed) {
    w.siteOf.Text(1, c.url);
    const int rc = w.siteOf.Step();
    if (rc == SQLITE_ROW) {
      const int64_t old = w.siteOf.ColInt(0);
      if (term.empty()) term = w.siteOf.ColText(1);
      w.siteOf.Reset();
      int64_t end = SiteFirst(old);
      if (!(failed = w.EndOf(SiteFirst(old), end)) && !(failed = w.Drop(SiteFirst(old), end))) {
        w.dropSite.Int(1, old);
        if (!Run(w.dropSite)) failed = &w.dropSite;
      }
    } else if (rc != SQLITE_DONE) {
      failed = &w.siteOf;
    } else {
      w.siteOf.Reset();
    }
  }
  if (!failed) {
    w.crawled.Int(1, crawlId);
    w.crawled.Text(2, c.url);
    w.crawled.Int(3, o.status);
    w.crawled.Text(4, o.statusText);
    w.crawled.Text(5, o.testedFile);
    w.crawled.Int(6, o.exploredAt);
    w.crawled.Text(7, term);
    if (!Run(w.crawled)) failed = &w.crawled;
  }
  for (Prepared* s : {&w.dropFolders, &w.dropCrawl}) {
    if (failed) break;
    s->Int(1, crawlId);
    if (!Run(*s)) failed = s;
  }
  return Conclude(db_, failed, error);
}

bool IndexDb::AbandonCrawl(int64_t crawlId, std::string& error) {
  if (!PrepareWrites(error)) return false;
  Writes& w = *writes_;
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return false;
  CrawlState c;
  bool found = false;
  Statement* failed = w.ReadCrawl(crawlId, c, found);
  if (!failed && found) {
    int64_t end = SiteFirst(crawlId);
    if (!(failed = w.EndOf(SiteFirst(crawlId), end))) failed = w.Drop(SiteFirst(crawlId), end);
    for (Prepared* s : {&w.dropFolders, &w.dropCrawl, &w.dropSite}) {
      if (failed) break;
      s->Int(1, crawlId);
      if (!Run(*s)) failed = s;
    }
  }
  return Conclude(db_, failed, error);
}

std::vector<CrawlState> IndexDb::UnfinishedCrawls(std::string& error) {
  std::vector<CrawlState> out;
  Statement s(db_,
              "SELECT id, url, listed, queued, failed, skipped, entries, started_at FROM crawls"
              " ORDER BY id");
  while (s.Step() == SQLITE_ROW) {
    out.push_back({s.ColInt(0), s.ColText(1), s.ColInt(2), s.ColInt(3), s.ColInt(4), s.ColInt(5),
                   s.ColInt(6), s.ColInt(7)});
  }
  if (s.rc() != SQLITE_DONE) error = Fail(db_, s.rc());
  return out;
}

std::optional<CrawlState> IndexDb::Crawl(int64_t crawlId, std::string& error) {
  Statement s(db_,
              "SELECT id, url, listed, queued, failed, skipped, entries, started_at FROM crawls"
              " WHERE id = ?1");
  s.Int(1, crawlId);
  if (s.Step() != SQLITE_ROW) {
    if (s.rc() != SQLITE_DONE) error = Fail(db_, s.rc());
    return std::nullopt;
  }
  return CrawlState{s.ColInt(0), s.ColText(1), s.ColInt(2), s.ColInt(3),
                    s.ColInt(4), s.ColInt(5),  s.ColInt(6), s.ColInt(7)};
}

std::vector<KeptTransfer> IndexDb::Transfers(std::string& error) {
  std::vector<KeptTransfer> out;
  Statement s(db_,
              "SELECT id, url, folder, size, bytes, state, path, text, added_at FROM transfers"
              " ORDER BY id");
  while (s.Step() == SQLITE_ROW) {
    out.push_back({s.ColInt(0), s.ColText(1), s.ColText(2), s.ColInt(3), s.ColInt(4),
                   static_cast<int32_t>(s.ColInt(5)), s.ColText(6), s.ColText(7), s.ColInt(8)});
  }
  if (s.rc() != SQLITE_DONE) error = Fail(db_, s.rc());
  return out;
}

namespace {
// A transfer's columns url to text, at first and the six parameters after it;
// the URL without its password, as the index keeps every URL.
void BindTransferRow(Statement& s, const KeptTransfer& t, int first) {
  s.Text(first, WithoutPassword(t.url));
  s.View(first + 1, t.folder);
  s.Int(first + 2, t.size);
  s.Int(first + 3, t.bytes);
  s.Int(first + 4, t.state);
  s.ViewOrNull(first + 5, t.path);
  s.ViewOrNull(first + 6, t.text);
}
}  // namespace

std::vector<int64_t> IndexDb::AddTransfers(const std::vector<KeptTransfer>& transfers,
                                           std::string& error) {
  std::vector<int64_t> ids;
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return ids;
  Statement add(db_,
                "INSERT INTO transfers(url, folder, size, bytes, state, path, text, added_at)"
                " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
  Statement* failed = add.rc() == SQLITE_OK ? nullptr : &add;
  for (const KeptTransfer& t : transfers) {
    if (failed) break;
    BindTransferRow(add, t, 1);
    add.Int(8, t.addedAt);
    if (!Run(add)) {
      failed = &add;
    } else {
      ids.push_back(sqlite3_last_insert_rowid(db_));
    }
  }
  if (!Conclude(db_, failed, error)) ids.clear();
  return ids;
}

bool IndexDb::UpdateTransfer(const KeptTransfer& t, std::string& error) {
  Statement s(db_,
              "UPDATE transfers SET url = ?2, folder = ?3, size = ?4, bytes = ?5, state = ?6,"
              " path = ?7, text = ?8 WHERE id = ?1");
  s.Int(1, t.id);
  BindTransferRow(s, t, 2);
  if (s.Step() == SQLITE_DONE) return true;
  error = Fail(db_, s.rc() == SQLITE_OK ? SQLITE_ERROR : s.rc());
  return false;
}

bool IndexDb::RemoveTransfers(const std::vector<int64_t>& ids, std::string& error) {
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return false;
  Statement drop(db_, "DELETE FROM transfers WHERE id = ?1");
  Statement* failed = drop.rc() == SQLITE_OK ? nullptr : &drop;
  for (const int64_t id : ids) {
    if (failed) break;
    drop.Int(1, id);
    if (!Run(drop)) failed = &drop;
  }
  return Conclude(db_, failed, error);
}

}  // namespace qb

#include "index/index_db.h"

#include <sqlite3.h>

#include <cstring>

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
};
static_assert(std::size(Migrations) == IndexSchemaVersion);

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
  ~Statement() { sqlite3_finalize(s_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  int rc() const { return rc_; }
  sqlite3_stmt* get() const { return s_; }
  void Text(int i, const std::string& t) {
    sqlite3_bind_text(s_, i, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
  }
  void Int(int i, int64_t v) { sqlite3_bind_int64(s_, i, v); }
  int Step() { return rc_ = sqlite3_step(s_); }
  void Reset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }
  std::string ColText(int i) const {
    const auto* p = sqlite3_column_text(s_, i);
    return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(s_, i)) : "";
  }
  int64_t ColInt(int i) const { return sqlite3_column_int64(s_, i); }

 private:
  sqlite3_stmt* s_ = nullptr;
  int rc_;
};

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

// The filter shared by Find and Count; binds from parameter 1.
const char* const FindWhere =
    " FROM names JOIN entries e ON e.id = names.rowid JOIN sites s ON s.id = (e.id >> 24)"
    " WHERE names.name LIKE ?1 ESCAPE '\\' AND (?2 = '' OR e.name LIKE ?2 ESCAPE '\\')"
    " AND e.size >= ?3 AND (?4 < 0 OR e.folder = ?4)";
static_assert(SiteIdShift == 24);

void BindFind(Statement& s, const FindQuery& q) {
  s.Text(1, ContainsPattern(q.text, false));
  s.Text(2, q.extension.empty() ? std::string() : ContainsPattern(q.extension, true));
  s.Int(3, q.minSize);
  s.Int(4, q.kind == FindKind::All ? -1 : (q.kind == FindKind::Folders ? 1 : 0));
}

bool Exec(sqlite3* db, const char* sql, std::string& error) {
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (rc == SQLITE_OK) return true;
  error = Fail(db, rc);
  return false;
}

}  // namespace

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
  if (options.maxPages > 0) {
    const std::string cap = "PRAGMA max_page_count=" + std::to_string(options.maxPages);
    if (!Exec(raw, cap.c_str(), error)) return nullptr;
  }
  // A damaged file shows itself on the first read of its schema.
  const int version = db->SchemaVersion();
  if (version < 0) {
    error = Fail(raw, sqlite3_errcode(raw));
    return nullptr;
  }
  if (version > IndexSchemaVersion) {
    error = "The index was written by a newer version of the program; found files are not kept.";
    return nullptr;
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
  return db;
}

IndexDb::~IndexDb() { sqlite3_close_v2(db_); }

int IndexDb::SchemaVersion() {
  Statement s(db_, "PRAGMA user_version");
  if (s.rc() != SQLITE_OK || s.Step() != SQLITE_ROW) return -1;
  return static_cast<int>(s.ColInt(0));
}

bool IndexDb::Store(const SiteOutcome& o, std::string& error) {
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return false;
  auto fail = [&](int rc) {
    error = Fail(db_, rc);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  };
  int64_t siteId = 0;
  {
    Statement s(db_,
                "INSERT INTO sites(url, status, status_text, tested_file, explored_at, term)"
                " VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(url) DO UPDATE SET"
                " status = ?2, status_text = ?3, tested_file = ?4, explored_at = ?5, term = ?6"
                " RETURNING id");
    if (s.rc() != SQLITE_OK) return fail(s.rc());
    s.Text(1, o.url);
    s.Int(2, o.status);
    s.Text(3, o.statusText);
    s.Text(4, o.testedFile);
    s.Int(5, o.exploredAt);
    s.Text(6, o.term);
    if (s.Step() != SQLITE_ROW) return fail(s.rc());
    siteId = s.ColInt(0);
    if (s.Step() != SQLITE_DONE) return fail(s.rc());
  }
  const int64_t first = siteId << SiteIdShift;
  {
    Statement del(db_, "DELETE FROM entries WHERE id >= ?1 AND id < ?2");
    if (del.rc() != SQLITE_OK) return fail(del.rc());
    del.Int(1, first);
    del.Int(2, first + static_cast<int64_t>(MaxEntriesPerSite));
    if (del.Step() != SQLITE_DONE) return fail(del.rc());
  }
  Statement add(db_, "INSERT INTO entries(id, name, size, date, folder) VALUES (?1,?2,?3,?4,?5)");
  if (add.rc() != SQLITE_OK) return fail(add.rc());
  const std::size_t n = std::min(o.entries.size(), MaxEntriesPerSite);
  for (std::size_t i = 0; i < n; ++i) {
    const ListingEntry& e = o.entries[i];
    add.Int(1, first + static_cast<int64_t>(i));
    add.Text(2, std::string(e.name, strnlen(e.name, sizeof e.name)));
    add.Int(3, e.size);
    add.Text(4, std::string(e.date, strnlen(e.date, sizeof e.date)));
    add.Int(5, e.isFolder ? 1 : 0);
    if (add.Step() != SQLITE_DONE) return fail(add.rc());
    add.Reset();
  }
  return Exec(db_, "COMMIT", error) || fail(sqlite3_errcode(db_));
}

std::vector<FoundEntry> IndexDb::Find(const FindQuery& query, int64_t offset, int64_t limit,
                                      std::string& error) {
  std::vector<FoundEntry> out;
  const std::string sql = std::string("SELECT e.name, e.size, e.date, e.folder, s.url,") +
                          " s.explored_at" + FindWhere + " LIMIT ?5 OFFSET ?6";
  Statement s(db_, sql.c_str());
  if (s.rc() != SQLITE_OK) {
    error = Fail(db_, s.rc());
    return out;
  }
  BindFind(s, query);
  s.Int(5, limit);
  s.Int(6, offset);
  while (s.Step() == SQLITE_ROW) {
    out.push_back(
        {s.ColText(0), s.ColInt(1), s.ColText(2), s.ColInt(3) != 0, s.ColText(4), s.ColInt(5)});
  }
  if (s.rc() != SQLITE_DONE) error = Fail(db_, s.rc());
  return out;
}

int64_t IndexDb::Count(const FindQuery& query, std::string& error) {
  const std::string sql = std::string("SELECT count(*)") + FindWhere;
  Statement s(db_, sql.c_str());
  if (s.rc() != SQLITE_OK || (BindFind(s, query), s.Step()) != SQLITE_ROW) {
    error = Fail(db_, s.rc());
    return 0;
  }
  return s.ColInt(0);
}

std::vector<ListingEntry> IndexDb::EntriesOf(const std::string& url, std::string& error) {
  std::vector<ListingEntry> out;
  Statement s(db_,
              "SELECT e.name, e.size, e.date, e.folder FROM sites s JOIN entries e"
              " ON e.id >= (s.id << 24) AND e.id < ((s.id + 1) << 24) WHERE s.url = ?1"
              " ORDER BY e.id");
  s.Text(1, url);
  while (s.Step() == SQLITE_ROW) {
    ListingEntry e;
    const std::string name = s.ColText(0);
    const std::string date = s.ColText(2);
    std::strncpy(e.name, name.c_str(), sizeof e.name - 1);
    std::strncpy(e.date, date.c_str(), sizeof e.date - 1);
    e.size = static_cast<int32_t>(s.ColInt(1));
    e.isFolder = s.ColInt(3) != 0 ? 1 : 0;
    out.push_back(e);
  }
  if (s.rc() != SQLITE_DONE) error = Fail(db_, s.rc());
  return out;
}

std::optional<LastResults> IndexDb::Last(std::string& error) {
  Statement latest(db_, "SELECT term, explored_at FROM sites ORDER BY explored_at DESC LIMIT 1");
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
              " WHERE term = ?1 ORDER BY id");
  s.Text(1, last.term);
  while (s.Step() == SQLITE_ROW) {
    last.sites.push_back({s.ColText(0), static_cast<int32_t>(s.ColInt(1)), s.ColText(2),
                          s.ColText(3), s.ColInt(4), s.ColText(5)});
  }
  if (s.rc() != SQLITE_DONE) error = Fail(db_, s.rc());
  return last;
}

}  // namespace qb

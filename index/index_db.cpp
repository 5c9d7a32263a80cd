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
         " AND e.size >= ?3 AND (?4 < 0 OR e.folder = ?4)";
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

}  // namespace

// Prepared once for the writer's connection: a store is too short to pay for
// compiling its statements each time.
struct IndexDb::Writes {
  explicit Writes(sqlite3* db)
      : site(db,
             "INSERT INTO sites(url, status, status_text, tested_file, explored_at, term)"
             " VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT(url) DO UPDATE SET"
             " status = ?2, status_text = ?3, tested_file = ?4, explored_at = ?5, term = ?6"
             " RETURNING id",
             SQLITE_PREPARE_PERSISTENT),
        earlier(db,
                "SELECT id, name, size, date, folder FROM entries WHERE id >= ?1 AND id < ?2"
                " ORDER BY id",
                SQLITE_PREPARE_PERSISTENT),
        put(db,
            "INSERT INTO entries(id, name, size, date, folder) VALUES (?1, ?2, ?3, ?4, ?5)"
            " ON CONFLICT(id) DO UPDATE SET name = ?2, size = ?3, date = ?4, folder = ?5",
            SQLITE_PREPARE_PERSISTENT),
        addName(db, "INSERT INTO names(rowid, name) VALUES (?1, ?2)", SQLITE_PREPARE_PERSISTENT),
        dropName(db, "INSERT INTO names(names, rowid, name) VALUES ('delete', ?1, ?2)",
                 SQLITE_PREPARE_PERSISTENT),
        dropNames(db,
                  "INSERT INTO names(names, rowid, name)"
                  " SELECT 'delete', id, name FROM entries WHERE id >= ?1 AND id < ?2",
                  SQLITE_PREPARE_PERSISTENT),
        dropEntries(db, "DELETE FROM entries WHERE id >= ?1 AND id < ?2",
                    SQLITE_PREPARE_PERSISTENT),
        addNames(db,
                 "INSERT INTO names(rowid, name)"
                 " SELECT id, name FROM entries WHERE id >= ?1 AND id < ?2",
                 SQLITE_PREPARE_PERSISTENT) {}
  int rc() const {
    for (const Statement* s :
         {&site, &earlier, &put, &addName, &dropName, &dropNames, &dropEntries, &addNames}) {
      if (s->rc() != SQLITE_OK) return s->rc();
    }
    return SQLITE_OK;
  }
  Statement site;
  Statement earlier;
  Statement put;
  Statement addName;
  Statement dropName;
  Statement dropNames;
  Statement dropEntries;
  Statement addNames;
  // Puts the site's listing in place of what its id range held; the statement
  // that failed, or null.
  Statement* Replace(int64_t first, const std::vector<ListingEntry>& entries);
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
  if (version == 0) {
    // Not set up yet: nothing of ours, and no view or trigger that would run.
    Statement any(db_,
                  "SELECT count(*) FROM sqlite_schema WHERE name IN ('sites', 'entries', 'names')"
                  " OR type IN ('view', 'trigger')");
    return any.Step() == SQLITE_ROW && any.ColInt(0) == 0;
  }
  Statement s(db_,
              "SELECT name, type FROM sqlite_schema WHERE name IN ('sites', 'entries', 'names')"
              " OR type = 'view' OR (type = 'trigger' AND ?1 >= 2)");
  s.Int(1, version);
  int tables = 0;
  while (s.Step() == SQLITE_ROW) {
    if (s.ColText(1) != "table") return false;
    ++tables;
  }
  return s.rc() == SQLITE_DONE && tables == 3;
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
};

// Runs a statement without rows; false leaves it unreset, for its error.
bool Run(Statement& s) {
  if (s.Step() != SQLITE_DONE) return false;
  s.Reset();
  return true;
}

}  // namespace

// A site explored again mostly lists what it listed before: only the names
// that changed at their place are taken out of and put into the name table,
// which costs far more per name than the entries themselves. When most have
// changed, whole-range statements beat one statement per name.
Statement* IndexDb::Writes::Replace(int64_t first, const std::vector<ListingEntry>& entries) {
  const int64_t last = first + static_cast<int64_t>(MaxEntriesPerSite);
  std::vector<StoredEntry> before;
  earlier.Int(1, first);
  earlier.Int(2, last);
  while (earlier.Step() == SQLITE_ROW) {
    before.push_back({earlier.ColInt(0), earlier.ColText(1), earlier.ColInt(2), earlier.ColText(3),
                      earlier.ColInt(4)});
  }
  if (earlier.rc() != SQLITE_DONE) return &earlier;
  earlier.Reset();

  const std::size_t n = std::min(entries.size(), MaxEntriesPerSite);
  const int64_t end = first + static_cast<int64_t>(n);
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
  auto range = [](Statement& s, int64_t from, int64_t to) {
    s.Int(1, from);
    s.Int(2, to);
    return Run(s);
  };
  // Names go out before their entries: taking them out reads the entries' text.
  if (wholesale && !before.empty() && !range(dropNames, first, last)) return &dropNames;
  for (std::size_t i = 0; i < n; ++i) {
    const ListingEntry& e = entries[i];
    const StoredEntry* had = at[i];
    const int64_t id = first + static_cast<int64_t>(i);
    const std::string_view name = Field(e.name, sizeof e.name);
    const std::string_view date = Field(e.date, sizeof e.date);
    const int64_t folder = e.isFolder != 0 ? 1 : 0;
    if (had && had->name == name && had->size == e.size && had->date == date &&
        had->folder == folder) {
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
    if (!Run(put)) return &put;
    if (!wholesale && newName) {
      addName.Int(1, id);
      addName.View(2, name);
      if (!Run(addName)) return &addName;
    }
  }
  if (!before.empty() && before.back().id >= end) {
    if (!wholesale && !range(dropNames, end, last)) return &dropNames;
    if (!range(dropEntries, end, last)) return &dropEntries;
  }
  if (wholesale && !range(addNames, first, end)) return &addNames;
  return nullptr;
}

bool IndexDb::Store(const SiteOutcome& o, std::string& error) {
  if (!writes_) {
    writes_ = std::make_unique<Writes>(db_);
    if (const int rc = writes_->rc(); rc != SQLITE_OK) {
      error = Fail(db_, rc);
      writes_.reset();
      return false;
    }
  }
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
    const int64_t first = w.site.ColInt(0) << SiteIdShift;
    if (w.site.Step() != SQLITE_DONE) {
      failed = &w.site;
    } else {
      w.site.Reset();
      if (o.listed) failed = w.Replace(first, o.entries);
    }
  }
  if (failed) {
    error = Fail(db_, failed->rc());
    failed->Reset();
  } else if (Exec(db_, "COMMIT", error)) {
    return true;
  }
  sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

void IndexDb::Scan(const FindQuery& query, int64_t offset, int64_t limit,
                   const std::function<bool(const FoundEntry&)>& visit, std::string& error) {
  const std::string match = MatchText(query);
  const std::string sql =
      "SELECT e.name, e.size, e.date, e.folder, s.url, s.explored_at, s.status,"
      " s.status_text" +
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
                s.ColInt(5), static_cast<int32_t>(s.ColInt(6)), s.ColText(7)})) {
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

std::vector<ListingEntry> IndexDb::EntriesOf(const std::string& url, std::string& error) {
  std::vector<ListingEntry> out;
  Statement s(db_,
              "SELECT e.name, e.size, e.date, e.folder FROM sites s JOIN entries e"
              " ON e.id >= (s.id << 24) AND e.id < ((s.id + 1) << 24) WHERE s.url = ?1"
              " ORDER BY e.id");
  s.Text(1, WithoutPassword(url));
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

std::optional<IndexedSite> IndexDb::Site(const std::string& url, std::string& error) {
  Statement s(db_,
              "SELECT url, status, status_text, tested_file, explored_at, term FROM sites"
              " WHERE url = ?1");
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

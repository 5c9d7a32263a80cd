// A site explored again: its name table must end up exactly as if the new
// listing had been stored from scratch, whichever way the store took to get
// there, and an index of the first schema version must carry over whole.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <string>
#include <vector>

#include "index/index_db.h"
#include "tests/index/temp_folder.h"

using namespace qb;

namespace {

ListingEntry Entry(const std::string& name, int32_t size = 1, const char* date = "Jan 1 1999") {
  ListingEntry e;
  std::strncpy(e.name, name.c_str(), sizeof e.name - 1);
  std::strncpy(e.date, date, sizeof e.date - 1);
  e.size = size;
  return e;
}

std::vector<ListingEntry> Entries(const std::vector<std::string>& names) {
  std::vector<ListingEntry> out;
  for (const std::string& n : names) out.push_back(Entry(n));
  return out;
}

SiteOutcome Site(const std::string& url, std::vector<ListingEntry> entries) {
  return SiteOutcome{url, Ok, "ok", "", 1000, "t", std::move(entries)};
}

// SQLite's own check of the trigram table against the entries it indexes.
std::string IntegrityProblem(const std::string& path) {
  sqlite3* raw = nullptr;
  sqlite3_open(path.c_str(), &raw);
  char* message = nullptr;
  const int rc = sqlite3_exec(raw, "INSERT INTO names(names, rank) VALUES ('integrity-check', 1)",
                              nullptr, nullptr, &message);
  std::string problem = rc == SQLITE_OK ? "" : (message ? message : "failed");
  sqlite3_free(message);
  sqlite3_close(raw);
  return problem;
}

class IndexReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = IndexDb::Open(path_, error_);
    ASSERT_TRUE(db_) << error_;
    // A neighbour whose entries must come through every replacement untouched.
    ASSERT_TRUE(
        db_->Store(Site("ftp://other.example/", Entries({"alpha.txt", "shared.iso"})), error_));
  }
  void Replace(const std::vector<ListingEntry>& entries) {
    ASSERT_TRUE(db_->Store(Site("ftp://a.example/", entries), error_)) << error_;
    EXPECT_EQ(IntegrityProblem(path_), "");
  }
  int64_t Hits(const std::string& text) {
    std::string error;
    const int64_t n = db_->Count({text, "", 0, FindKind::All}, error);
    EXPECT_EQ(error, "");
    return n;
  }
  std::vector<std::string> Listing() {
    std::vector<std::string> names;
    for (const ListingEntry& e : db_->EntriesOf("ftp://a.example/", error_)) {
      names.emplace_back(e.name);
    }
    return names;
  }
  qbtest::TempFolder folder_;
  std::string path_ = folder_.path() + "index.db";
  std::string error_;
  std::unique_ptr<IndexDb> db_;
};

TEST_F(IndexReplaceTest, AFewChangedNamesLeaveNoStaleOrMissingHits) {
  std::vector<std::string> names;
  for (int i = 0; i < 20; ++i) names.push_back("file-" + std::to_string(i) + ".tar.gz");
  Replace(Entries(names));
  EXPECT_EQ(Hits("file-1"), 11);  // 1 and 10..19

  // One renamed in place, one with only a new size and date, one more at the end.
  std::vector<ListingEntry> next = Entries(names);
  std::strncpy(next[3].name, "renamed.zip", sizeof next[3].name - 1);
  next[4] = Entry(names[4], 777, "Feb 2 2001");
  next.push_back(Entry("appended.txt"));
  Replace(next);
  EXPECT_EQ(Hits("file-3"), 0);
  EXPECT_EQ(Hits("renamed"), 1);
  EXPECT_EQ(Hits("appended"), 1);
  EXPECT_EQ(Hits(".tar.gz"), 19);
  std::string error;
  const auto found = db_->Find({"file-4", "", 0, FindKind::All}, 0, 10, error);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].size, 777);
  EXPECT_EQ(found[0].date, "Feb 2 2001");

  // Shorter: what is past the new end goes from both the entries and the names.
  Replace(Entries({"file-0.tar.gz", "renamed.zip"}));
  EXPECT_EQ(Listing(), (std::vector<std::string>{"file-0.tar.gz", "renamed.zip"}));
  EXPECT_EQ(Hits(".tar.gz"), 1);
  EXPECT_EQ(Hits("appended"), 0);
  EXPECT_EQ(Hits("shared"), 1);
}

TEST_F(IndexReplaceTest, AWhollyNewListingAndAnEmptyOneReplaceEverything) {
  Replace(Entries({"one.lst", "two.lst", "three.lst"}));
  Replace(Entries({"uno.doc", "dos.doc", "tres.doc", "cuatro.doc"}));
  EXPECT_EQ(Hits(".lst"), 0);
  EXPECT_EQ(Hits(".doc"), 4);
  // Most names new but one kept at its place: still exact.
  Replace(Entries({"uno.doc", "eins.pdf", "zwei.pdf"}));
  EXPECT_EQ(Hits(".doc"), 1);
  EXPECT_EQ(Hits(".pdf"), 2);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"uno.doc", "eins.pdf", "zwei.pdf"}));
  Replace({});
  EXPECT_EQ(Listing(), std::vector<std::string>{});
  EXPECT_EQ(Hits(".pdf"), 0);
  EXPECT_EQ(Hits("alpha"), 1);
  // And from nothing again.
  Replace(Entries({"back.txt"}));
  EXPECT_EQ(Hits("back"), 1);
}

TEST(IndexMigration, AFileOfTheFirstVersionKeepsItsNamesFindable) {
  qbtest::TempFolder folder;
  const std::string path = folder.path() + "index.db";
  {
    // The first version's tables, filled as its triggers did.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    const char* v1 =
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
        " INSERT INTO names(names, rowid, name) VALUES ('delete', old.id, old.name); END;"
        "INSERT INTO sites VALUES (1, 'ftp://old.example/', 1, 'ok', '', 500, 'gcc');"
        "INSERT INTO entries VALUES (16777216, 'gcc-2.95.tar.gz', 9, 'Jan 1 1999', 0);"
        "INSERT INTO entries VALUES (16777217, 'readme', 1, 'Jan 1 1999', 0);"
        "PRAGMA user_version=1;";
    ASSERT_EQ(sqlite3_exec(raw, v1, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
  }
  std::string error;
  auto db = IndexDb::Open(path, error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->SchemaVersion(), IndexSchemaVersion);
  EXPECT_EQ(IntegrityProblem(path), "");
  EXPECT_EQ(db->Count({"2.95", "", 0, FindKind::All}, error), 1);
  // No trigger is left to index a name twice when the site is stored again.
  ASSERT_TRUE(
      db->Store(Site("ftp://old.example/", Entries({"gcc-2.95.tar.gz", "gcc-3.0.tar.gz"})), error))
      << error;
  EXPECT_EQ(IntegrityProblem(path), "");
  EXPECT_EQ(db->Count({"gcc-", "", 0, FindKind::All}, error), 2);
  EXPECT_EQ(db->Count({"readme", "", 0, FindKind::All}, error), 0);
}

// A file of the second version, as it was written: every site and entry is
// kept, found as being in its site's own folder, and replaced as before.
TEST(IndexMigration, AFileOfTheSecondVersionKeepsItsSitesAndEntries) {
  qbtest::TempFolder folder;
  const std::string path = folder.path() + "index.db";
  {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    const char* v2 =
        "CREATE TABLE sites(id INTEGER PRIMARY KEY, url TEXT NOT NULL UNIQUE, status INTEGER,"
        " status_text TEXT, tested_file TEXT, explored_at INTEGER, term TEXT);"
        "CREATE INDEX sites_explored ON sites(explored_at);"
        "CREATE TABLE entries(id INTEGER PRIMARY KEY, name TEXT, size INTEGER, date TEXT,"
        " folder INTEGER);"
        "CREATE VIRTUAL TABLE names USING fts5(name, content='entries', content_rowid='id',"
        " tokenize='trigram', detail='none', columnsize=0);"
        "INSERT INTO sites VALUES (1, 'ftp://one.example/pub/', 1, 'ok', 'a.txt', 500, 'gcc');"
        "INSERT INTO sites VALUES (2, 'ftp://two.example/', 2, 'connect', '', 600, 'gcc');"
        "INSERT INTO entries VALUES (16777216, 'gcc-2.95.tar.gz', 9, 'Jan 1 1999', 0);"
        "INSERT INTO entries VALUES (16777217, 'docs', 0, 'Jan 2 1999', 1);"
        "INSERT INTO entries VALUES (33554432, 'gcc-3.0.zip', 7, 'Jan 3 1999', 0);"
        "INSERT INTO names(names) VALUES ('rebuild');"
        "PRAGMA user_version=2;";
    ASSERT_EQ(sqlite3_exec(raw, v2, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
  }
  std::string error;
  auto db = IndexDb::Open(path, error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->SchemaVersion(), IndexSchemaVersion);
  EXPECT_EQ(IntegrityProblem(path), "");
  const auto found = db->Find({"gcc", "", 0, FindKind::All}, 0, 10, error);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].name, "gcc-2.95.tar.gz");
  EXPECT_EQ(found[0].siteUrl, "ftp://one.example/pub/");
  EXPECT_EQ(found[0].folder, "");
  EXPECT_EQ(found[0].size, 9);
  EXPECT_EQ(found[1].siteUrl, "ftp://two.example/");
  EXPECT_EQ(db->Count({"", "", 0, FindKind::Folders}, error), 1);
  const auto site = db->Site("ftp://two.example/", error);
  ASSERT_TRUE(site);
  EXPECT_EQ(site->statusText, "connect");
  EXPECT_EQ(db->Last(error)->sites.size(), 2u);
  const auto listing = db->EntriesOf("ftp://one.example/pub/", error);
  ASSERT_EQ(listing.size(), 2u);
  EXPECT_STREQ(listing[1].name, "docs");
  EXPECT_EQ(listing[1].isFolder, 1);
  ASSERT_TRUE(
      db->Store(Site("ftp://one.example/pub/", Entries({"gcc-2.95.tar.gz", "new.txt"})), error))
      << error;
  EXPECT_EQ(IntegrityProblem(path), "");
  EXPECT_EQ(db->Count({"gcc", "", 0, FindKind::All}, error), 2);
  EXPECT_EQ(db->Count({"new.txt", "", 0, FindKind::All}, error), 1);
  db.reset();
  // Opened read-only as the command line does: ready, nothing redone.
  IndexDb::Options readOnly;
  readOnly.readOnly = true;
  auto reader = IndexDb::Open(path, error, readOnly);
  ASSERT_TRUE(reader) << error;
  EXPECT_EQ(reader->Count({"gcc", "", 0, FindKind::All}, error), 2);
}

}  // namespace

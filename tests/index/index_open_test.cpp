// The index is opened on the writer's thread: whoever starts it goes on at
// once, sites given meanwhile wait in the queue, and a failed open is reported
// like a failed write.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <string>

#include "index/local_index.h"
#include "tests/index/temp_folder.h"

using namespace qb;

namespace {

SiteOutcome Site(const std::string& url, const char* name) {
  SiteOutcome o{url, Ok, "ok", "", 1, "t", {}};
  o.entries.resize(1);
  std::strncpy(o.entries[0].name, name, sizeof o.entries[0].name - 1);
  return o;
}

TEST(IndexOpen, SitesGivenWhileTheOpenIsSlowAreWrittenOnceItEnds) {
  qbtest::TempFolder folder;
  const std::string path = folder.path() + "index.db";
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> openedWith{-1};
  std::atomic<int> faults{0};
  auto writer = std::make_unique<IndexWriter>(
      [&](std::string& error) {
        released.wait();  // a disk or a lock that keeps the open waiting
        return IndexDb::Open(path, error);
      },
      [&](const std::string&) { ++faults; },
      [&] {
        // Before any queued site is written.
        std::string error;
        IndexDb::Options readOnly;
        readOnly.readOnly = true;
        auto reader = IndexDb::Open(path, error, readOnly);
        openedWith =
            reader ? static_cast<int>(reader->Count({"early", "", 0, FindKind::All}, error)) : -2;
      });
  // Neither the start nor a submit waited for the open.
  writer->Submit(Site("ftp://a.example/", "early-a.txt"));
  writer->Submit(Site("ftp://b.example/", "early-b.txt"));
  EXPECT_FALSE(writer->Opened());
  release.set_value();
  EXPECT_TRUE(writer->WaitOpen());
  writer->Flush();
  EXPECT_EQ(openedWith, 0);
  EXPECT_EQ(faults, 0);
  writer.reset();
  std::string error;
  auto db = IndexDb::Open(path, error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->Count({"early-", "", 0, FindKind::All}, error), 2);
}

TEST(IndexOpen, AStartThatCannotOpenReportsOnceAndDropsWhatItIsGiven) {
  qbtest::TempFolder folder;
  std::string error;
  auto first = LocalIndex::Open(folder.path(), nullptr, error);
  ASSERT_TRUE(first) << error;

  std::atomic<int> faults{0};
  std::string message;
  std::atomic<bool> ready{false};
  auto second = LocalIndex::Start(
      folder.path(),
      [&](const std::string& text) {
        message = text;
        ++faults;
      },
      [&](const LocalIndex&) { ready = true; });
  ASSERT_TRUE(second);
  second->writer().Submit(Site("ftp://lost.example/", "lost.txt"));
  EXPECT_FALSE(second->writer().WaitOpen());
  second->writer().Submit(Site("ftp://lost2.example/", "lost.txt"));
  second->writer().Flush();
  EXPECT_EQ(faults, 1);
  EXPECT_NE(message.find("in use by another running copy"), std::string::npos) << message;
  EXPECT_FALSE(ready);
  EXPECT_TRUE(second->writer().Failed());
  EXPECT_FALSE(second->OpenReader(error));
  EXPECT_NE(error, "");
  second.reset();

  first->writer().Flush();
  auto reader = first->OpenReader(error);
  ASSERT_TRUE(reader) << error;
  EXPECT_EQ(reader->Count({"lost", "", 0, FindKind::All}, error), 0);
}

TEST(IndexOpen, AStartedIndexIsReadableFromItsReadyCallback) {
  qbtest::TempFolder folder;
  std::string error;
  {
    auto db = IndexDb::Open(folder.path() + IndexFileName, error);
    ASSERT_TRUE(db) << error;
    ASSERT_TRUE(db->Store(Site("ftp://kept.example/", "kept.iso"), error)) << error;
  }
  std::promise<int64_t> counted;
  auto index = LocalIndex::Start(folder.path(), nullptr, [&](const LocalIndex& opened) {
    std::string readError;
    auto reader = opened.OpenReader(readError);
    counted.set_value(reader ? reader->Count({"kept", "", 0, FindKind::All}, readError) : -1);
  });
  auto result = counted.get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(result.get(), 1);
  EXPECT_FALSE(index->writer().Failed());
}

}  // namespace

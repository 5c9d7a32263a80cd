// Each way the index can fail gives one clear message and leaves the program
// able to go on without it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <fstream>

#include "index/local_index.h"
#include "tests/index/temp_folder.h"

using namespace qb;

namespace {

SiteOutcome BigSite(int n) {
  SiteOutcome o{"ftp://s" + std::to_string(n) + ".example/", Ok, "ok", "", 1, "t", {}};
  o.entries.resize(400);
  for (std::size_t i = 0; i < o.entries.size(); ++i) {
    std::snprintf(o.entries[i].name, sizeof o.entries[i].name, "file-%d-%zu-padding-padding", n, i);
  }
  return o;
}

TEST(IndexFaults, AFolderThatCannotBeMadeIsReported) {
  qbtest::TempFolder folder;
  std::ofstream(folder.path() + "plain-file") << "x";
  std::string error;
  EXPECT_FALSE(LocalIndex::Open(folder.path() + "plain-file/sub", nullptr, error));
  EXPECT_NE(error.find("cannot be opened"), std::string::npos) << error;
}

TEST(IndexFaults, ASecondCopyFindsTheIndexInUseAndTheFirstGoesOn) {
  qbtest::TempFolder folder;
  std::string error;
  auto first = LocalIndex::Open(folder.path(), nullptr, error);
  ASSERT_TRUE(first) << error;
  EXPECT_FALSE(LocalIndex::Open(folder.path(), nullptr, error));
  EXPECT_NE(error.find("in use by another running copy"), std::string::npos) << error;
  first->writer().Submit(BigSite(1));
  first->writer().Flush();
  EXPECT_FALSE(first->writer().Failed());
  first.reset();
  EXPECT_TRUE(LocalIndex::Open(folder.path(), nullptr, error)) << error;  // released
}

TEST(IndexFaults, ADamagedFileIsReportedAndKeptAside) {
  qbtest::TempFolder folder;
  std::ofstream(folder.path() + IndexFileName) << std::string(8192, 'Z');
  std::string error, said;
  EXPECT_TRUE(LocalIndex::Open(
      folder.path(), [&](const std::string& text) { said = text; }, error))
      << error;
  EXPECT_NE(said.find("damaged"), std::string::npos) << said;
  std::ifstream aside(folder.path() + IndexFileName + ".damaged");
  std::string kept;
  std::getline(aside, kept);
  EXPECT_EQ(kept, std::string(8192, 'Z'));
}

TEST(IndexFaults, AFullDiskStopsTheWriterWithOneMessage) {
  qbtest::TempFolder folder;
  std::string error;
  std::atomic<int> faults{0};
  std::string message;
  IndexDb::Options small;
  small.maxPages = 40;
  auto index = LocalIndex::Open(
      folder.path(),
      [&](const std::string& text) {
        message = text;
        ++faults;
      },
      error, small);
  ASSERT_TRUE(index) << error;
  for (int i = 0; i < 20; ++i) index->writer().Submit(BigSite(i));
  index->writer().Flush();
  EXPECT_TRUE(index->writer().Failed());
  EXPECT_EQ(faults, 1);
  EXPECT_NE(message.find("full"), std::string::npos) << message;
  // Later sites are dropped without a second message or a wait.
  index->writer().Submit(BigSite(99));
  index->writer().Flush();
  EXPECT_EQ(faults, 1);
  // What was written before the disk filled is whole: no half-written site.
  auto reader = index->OpenReader(error);
  ASSERT_TRUE(reader) << error;
  const int64_t kept = reader->Count({"file-", "", 0, FindKind::All}, error);
  EXPECT_EQ(kept % 400, 0);
  EXPECT_LT(kept, 20 * 400);
}

}  // namespace

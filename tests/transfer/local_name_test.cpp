#include "transfer/local_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qb::NumberedName;
using qb::SafeLocalName;

TEST(LocalNameTest, ServerNamesBecomeOneEntryOfTheFolder) {
  EXPECT_EQ(SafeLocalName("../x"), "___x");
  EXPECT_EQ(SafeLocalName("/etc/x"), "_etc_x");
  EXPECT_EQ(SafeLocalName(".bashrc"), "_bashrc");
  EXPECT_EQ(SafeLocalName(".."), "__");
  EXPECT_EQ(SafeLocalName("a\nb\rc"), "a_b_c");
  EXPECT_EQ(SafeLocalName(std::string("a\0b", 3)), "a_b");
  EXPECT_EQ(SafeLocalName("del\x7f"), "del_");
  EXPECT_EQ(SafeLocalName(""), "download");
  EXPECT_EQ(SafeLocalName("r\xc3\xa9sum\xc3\xa9 v1.2.tar.gz"), "r\xc3\xa9sum\xc3\xa9 v1.2.tar.gz");
}

TEST(LocalNameTest, LongNamesAreCutBetweenCharacters) {
  std::string name(229, 'a');
  name += "\xc3\xa9\xc3\xa9";  // the cut falls inside the first é
  const std::string safe = SafeLocalName(name);
  EXPECT_EQ(safe, std::string(229, 'a'));
  EXPECT_LE((NumberedName(safe, 9999) + ".part").size(), 255u);
}

TEST(LocalNameTest, NumbersGoBeforeTheExtension) {
  EXPECT_EQ(NumberedName("data.bin", 0), "data.bin");
  EXPECT_EQ(NumberedName("data.bin", 1), "data (1).bin");
  EXPECT_EQ(NumberedName("a.tar.gz", 2), "a.tar (2).gz");
  EXPECT_EQ(NumberedName("README", 3), "README (3)");
  EXPECT_EQ(NumberedName("_bashrc", 1), "_bashrc (1)");
  EXPECT_EQ(qb::UrlFileName("/pub/x.iso"), "x.iso");
  EXPECT_EQ(qb::UrlFileName("/pub/"), "");
}

TEST(LocalNameTest, NamesJoinedToAFolderUrlLeaveOneHarmlessEntry) {
  // A listing's name put after its folder's path, as a kept URL has it.
  EXPECT_EQ(SafeLocalName(qb::UrlFileName("/pub/../x")), "x");
  EXPECT_EQ(SafeLocalName(qb::UrlFileName("/pub//etc/x")), "x");
  EXPECT_EQ(SafeLocalName(qb::UrlFileName("/pub/..")), "__");
  EXPECT_EQ(SafeLocalName(qb::UrlFileName("/pub/.bashrc")), "_bashrc");
  EXPECT_EQ(SafeLocalName(qb::UrlFileName("/pub/a\nb.txt")), "a_b.txt");
}

}  // namespace

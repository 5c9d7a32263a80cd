#include "core/byte_size.h"

#include <gtest/gtest.h>

using namespace qb;

namespace {

TEST(ByteSize, ReadsBytesAndBinarySuffixesInAnyCase) {
  EXPECT_EQ(ParseByteSize("0"), 0);
  EXPECT_EQ(ParseByteSize("1500"), 1500);
  EXPECT_EQ(ParseByteSize("20M"), 20 * 1024 * 1024);
  EXPECT_EQ(ParseByteSize("20m"), 20 * 1024 * 1024);
  EXPECT_EQ(ParseByteSize("4k"), 4096);
  EXPECT_EQ(ParseByteSize(" 3 G "), int64_t{3} << 30);
  EXPECT_EQ(ParseByteSize("8589934591G"), int64_t{8589934591} << 30);
}

TEST(ByteSize, RefusesWhatIsNotASize) {
  for (const char* bad : {"", "  ", "-1", "M", "20MB", "20 M B", "1.5M", "20T", "0x10", "1e6",
                          "12 34", "9223372036854775808", "8589934592G"})
    EXPECT_FALSE(ParseByteSize(bad).has_value()) << bad;
}

}  // namespace

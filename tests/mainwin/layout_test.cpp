#include <gtest/gtest.h>

#include "mainwin/layout.h"

using namespace qb;

namespace {
const LayoutGroup& Group(int firstId) {
  for (const LayoutGroup& g : LayoutGroups)
    if (g.firstId == firstId) return g;
  throw 0;
}
}  // namespace

TEST(FrameSizeForScreen, Table) {
  const struct {
    int w, h, fw, fh;
  } cases[] = {
      {1024, 768, 861, 605}, {800, 600, 760, 560},    {801, 600, 761, 560},
      {802, 600, 665, 464},  {1920, 1080, 1649, 867},
  };
  for (const auto& c : cases) {
    const FrameSize s = FrameSizeForScreen(c.w, c.h);
    EXPECT_EQ(s.width, c.fw) << c.w << "x" << c.h;
    EXPECT_EQ(s.height, c.fh) << c.w << "x" << c.h;
  }
}

TEST(PlaceControl, HundredPixelsWider) {
  const LayoutRect files{470, 40, 768, 340};
  const Placement f = PlaceControl(files, Group(1050), 100, 0);
  EXPECT_EQ(f.x, 530);
  EXPECT_EQ(f.width, 298 + 40);
  EXPECT_EQ(f.height, 300);
  const Placement s = PlaceControl({8, 40, 464, 340}, Group(990), 100, 0);
  EXPECT_EQ(s.x, 8);
  EXPECT_EQ(s.width, 456 + 60);
  EXPECT_EQ(FileColumnWidth(100), 185);
  EXPECT_EQ(SiteColumnWidth(100), 270);
  const Placement t = PlaceControl({398, 353, 438, 369}, Group(11300), 100, 30);
  EXPECT_EQ(t.x, 498);
  EXPECT_EQ(t.y, 383);
  EXPECT_EQ(t.width, 40);
}

TEST(PlaceControl, FractionsTruncateTowardZero) {
  // 0.45 * 100 is 45 in single precision; 0.3 * 7 = 2.1 gives 2, -2.1 gives -2.
  EXPECT_EQ(PlaceControl({0, 0, 10, 10}, Group(11600), 100, 0).width, 55);
  EXPECT_EQ(PlaceControl({0, 0, 10, 10}, Group(11800), 100, 0).x, 45);
  EXPECT_EQ(PlaceControl({10, 0, 20, 10}, Group(11200), 7, 0).x, 12);
  EXPECT_EQ(PlaceControl({10, 0, 20, 10}, Group(11200), -7, 0).x, 7);
  EXPECT_EQ(PlaceControl({100, 0, 120, 10}, Group(11900), -3, 0).x, 98);
}

TEST(PlaceControl, ShrinkingMovesLeftAndUp) {
  const LayoutRect r{470, 40, 768, 340};
  const Placement shrunk = PlaceControl(r, Group(1050), -50, -20);
  EXPECT_EQ(shrunk.x, 440);
  EXPECT_EQ(shrunk.y, 40);
  EXPECT_EQ(shrunk.width, 278);
  EXPECT_EQ(shrunk.height, 280);
  const Placement band = PlaceControl({8, 346, 92, 374}, Group(11200), -50, -20);
  EXPECT_EQ(band.x, -7);  // 8 - 15
  EXPECT_EQ(band.y, 326);
}

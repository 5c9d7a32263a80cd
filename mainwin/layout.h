#pragma once
// The main dialog's proportional layout and the frame's share of the screen,
// as arithmetic without any window.
#include <array>

namespace qb {

struct LayoutRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// A group: the control firstId and those with the following consecutive IDs,
// moved by fx, fy and stretched by fw, fh times the client's size change.
struct LayoutGroup {
  int firstId;
  float fx, fy, fw, fh;
};

inline constexpr int LayoutGroupCount = 12;
inline constexpr int LayoutGroupSlots = 16;  // controls per group at most
extern const std::array<LayoutGroup, LayoutGroupCount> LayoutGroups;

// Position and size of a control whose rectangle was `initial` when the client
// area was dx, dy pixels smaller; every value truncated toward zero.
struct Placement {
  int x, y, width, height;
};
Placement PlaceControl(const LayoutRect& r, const LayoutGroup& g, int dx, int dy);

// Widths of column 0 of the site list and of the file list.
int SiteColumnWidth(int dx);
int FileColumnWidth(int dx);

// The frame's size for a screen of width x height pixels.
struct FrameSize {
  int width, height;
};
FrameSize FrameSizeForScreen(int w, int h);

}  // namespace qb

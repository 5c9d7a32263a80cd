#include "mainwin/layout.h"

namespace qb {

const std::array<LayoutGroup, LayoutGroupCount> LayoutGroups = {{
    {11500, 0.0f, 1.0f, 0.0f, 0.0f},
    {1050, 0.6f, 0.0f, 0.4f, 1.0f},
    {990, 0.0f, 0.0f, 0.6f, 1.0f},
    {11100, 1.0f, 0.0f, 0.0f, 0.0f},
    {11000, 0.0f, 0.0f, 1.0f, 0.0f},
    {11200, 0.3f, 1.0f, 0.0f, 0.0f},
    {11300, 1.0f, 1.0f, 0.0f, 0.0f},
    {11400, 0.0f, 1.0f, 1.0f, 0.0f},
    {11600, 0.0f, 1.0f, 0.45f, 0.0f},
    {11800, 0.45f, 1.0f, 0.55f, 0.0f},
    {11900, 0.625f, 1.0f, 0.0f, 0.0f},
    {12000, 0.45f, 1.0f, 0.0f, 0.0f},
}};

namespace {
// Single-precision sums, truncated: 100 * 0.45f is 45 here, 44 in double.
int Moved(int base, int delta, float factor) {
  return static_cast<int>(static_cast<float>(base) + static_cast<float>(delta) * factor);
}
}  // namespace

Placement PlaceControl(const LayoutRect& r, const LayoutGroup& g, int dx, int dy) {
  return {Moved(r.left, dx, g.fx), Moved(r.top, dy, g.fy), Moved(r.Width(), dx, g.fw),
          Moved(r.Height(), dy, g.fh)};
}

int SiteColumnWidth(int dx) { return Moved(210, dx, 0.6f); }
int FileColumnWidth(int dx) { return Moved(145, dx, 0.4f); }

FrameSize FrameSizeForScreen(int w, int h) {
  FrameSize size{w, h};
  if (w > 801) {
    size.width = static_cast<int>(w * 0.88);
    size.height = static_cast<int>(h * 0.84);
  }
  size.width -= 40;
  size.height -= 40;
  return size;
}

}  // namespace qb

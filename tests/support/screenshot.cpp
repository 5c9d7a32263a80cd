#include "tests/support/screenshot.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <wx/image.h>
#include <wx/window.h>

#include <algorithm>

namespace {
// The position of a colour channel in a pixel and its width, from its mask.
int Channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const unsigned long max = mask >> shift;
  return static_cast<int>(((pixel & mask) >> shift) * 255 / max);
}
}  // namespace

bool SaveWindowScreenshot(wxWindow* window, const std::string& path) {
  if (!window) return false;
  Display* display = XOpenDisplay(nullptr);
  if (!display) return false;
  const int screen = DefaultScreen(display);
  const wxRect area = window->GetScreenRect().Intersect(
      wxRect(0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)));
  bool saved = false;
  if (!area.IsEmpty()) {
    XImage* pixels = XGetImage(display, RootWindow(display, screen), area.x, area.y,
                               static_cast<unsigned>(area.width),
                               static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
    if (pixels) {
      wxImage image(area.width, area.height);
      for (int y = 0; y < area.height; ++y) {
        for (int x = 0; x < area.width; ++x) {
          const unsigned long p = XGetPixel(pixels, x, y);
          image.SetRGB(x, y, Channel(p, pixels->red_mask), Channel(p, pixels->green_mask),
                       Channel(p, pixels->blue_mask));
        }
      }
      XDestroyImage(pixels);
      if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
      saved = image.SaveFile(path, wxBITMAP_TYPE_PNG);
    }
  }
  XCloseDisplay(display);
  return saved;
}

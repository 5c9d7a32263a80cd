#pragma once
// PNG screenshots of windows for GUI tests, read back from the X server.
#include <string>

class wxWindow;

// Saves the screen area that window covers (clipped to the screen) as a PNG
// file. The toolkit's screen device context can return stale pixels under a
// bare X server without a window manager, so the pixels come from X directly.
bool SaveWindowScreenshot(wxWindow* window, const std::string& path);

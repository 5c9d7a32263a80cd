#pragma once
// Which program the desktop hands ftp:// URLs to, so that "Open in file
// manager" is offered only when some other program takes them.
#include <string>

namespace qb {

// Our own desktop entry: the desktop handing ftp:// back to us is no handler.
inline constexpr const char OwnDesktopEntry[] = "org.quillbrook.Quillbrook.desktop";

// The desktop entry "xdg-mime query default x-scheme-handler/ftp" names, or
// empty (none, no xdg-mime, or no answer within two seconds). Blocks: not on
// the UI thread.
std::string QueryFtpHandler();
// A handler that is some other program's.
bool IsOtherFtpHandler(const std::string& desktopEntry);

}  // namespace qb

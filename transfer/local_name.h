#pragma once
// The names files get in the local folder: a server's name is only ever one
// entry of that folder, and a file already there is never replaced.
#include <string>
#include <string_view>

namespace qb {

// serverName as one harmless entry: '/', NUL and control bytes become '_', as
// do leading dots (no hidden file, no "." or ".."); cut to a length that leaves
// room for " (N)" and ".part" within a file system's 255 bytes; "download" for
// nothing left.
std::string SafeLocalName(std::string_view serverName);

// "name (n).ext" for n > 0 (the extension after the last dot, if any), name itself for 0.
std::string NumberedName(const std::string& name, int n);

// The last segment of a URL's path, or empty when it names a folder.
std::string UrlFileName(std::string_view path);

}  // namespace qb

#pragma once
// Site URLs are kept as they are shown, decoded ("ftp://h/old music/"): the
// FTP session sends their paths as they stand, and the index and settings files
// hold them so. They leave the program escaped per RFC 3986 (copied, printed,
// exported) and are read back in either form.
#include <string>
#include <string_view>

namespace qb {

// The URL as another program must be given it. In the path every byte but
// letters, digits and -._~!$&'()*+,;=:@/ is percent-escaped (space, %, ?, #,
// control and non-ASCII bytes among them); user and password are escaped as
// names are; the host and port keep their brackets and colon.
std::string EscapeUrl(std::string_view url);

// One folder or file name as a piece of a URL's path: '/', ':' and '@' escaped too.
std::string EscapeUrlName(std::string_view name);

// The escaped URL of name inside the site at siteUrl (kept form); a folder's
// ends with '/', an empty name gives the site's own.
std::string EntryUrl(std::string_view siteUrl, std::string_view name, bool isFolder);

// A user or password of a kept URL as the server is given it: the "@", ":", "/"
// and "%" the kept form leaves escaped there decoded, nothing else (every other
// escape was decoded on reading).
std::string LoginText(std::string_view text);

// A site as a user gives it: an ftp:// URL or a host alone (its root folder),
// escaped or not, blanks around it ignored. Each %XX is decoded once into the
// kept form; url is empty when the text names no site, with problem saying why
// (both empty for a blank text).
struct ReadUrl {
  std::string url;
  std::string problem;
};
ReadUrl ReadSiteUrl(std::string_view text);

}  // namespace qb

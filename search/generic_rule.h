#pragma once
// The rule for pages no built-in rule knows: every ftp:// URL in them, whether in
// an attribute, in plain text or in a JSON string.
#include <functional>
#include <string>

namespace qb {

// Calls each with every ftp:// URL found between begin and end, in page order:
// JSON escapes and HTML character references decoded (percent escapes are left
// for the caller), the scheme lower-cased. "sftp://" and the like are not
// matches; text around a URL (quotes, tags, a sentence's closing punctuation)
// is not part of it. Returns the number of URLs found.
int FindFtpUrls(const char* begin, const char* end, const std::function<void(std::string&)>& each);

}  // namespace qb

#pragma once
// A source's key must not reach a window, a log or the terminal: every text
// that can hold a request's URL, header or body goes through MaskKey first.
#include <string>

namespace qb {

// text with the key replaced by "***", as typed, as escaped in a URL and, for
// a "user:secret" key, its secret alone and the base64 basic credentials too.
std::string MaskKey(std::string text, const std::string& key);

}  // namespace qb

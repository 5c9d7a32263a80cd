#pragma once
#include <string>

namespace qb {

// Puts a text on the clipboard; failures are silent. UI thread only.
void CopyToClipboard(const std::string& text);

}  // namespace qb

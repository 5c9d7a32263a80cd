#include "search/key_mask.h"

#include <algorithm>
#include <vector>

#include "search/engine_def.h"

namespace qb {

namespace {

std::string Base64(const std::string& bytes) {
  static constexpr char Digits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    unsigned value = 0;
    for (std::size_t j = 0; j < 3; ++j)
      value = (value << 8) | (j < n ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    for (std::size_t j = 0; j < 4; ++j) out += j <= n ? Digits[(value >> (18 - 6 * j)) & 63] : '=';
  }
  return out;
}

void ReplaceAll(std::string& text, const std::string& secret) {
  if (secret.empty()) return;
  for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
    text.replace(at, secret.size(), "***");
}

}  // namespace

std::string MaskKey(std::string text, const std::string& key) {
  if (key.empty()) return text;
  std::vector<std::string> forms = {Base64(key), key, KeyInUrl(key)};
  if (const std::size_t colon = key.find(':'); colon != std::string::npos) {
    const std::string secret = key.substr(colon + 1);
    forms.push_back(secret);
    forms.push_back(KeyInUrl(secret));
  }
  // Longer forms first, so a shorter one inside them cannot leave a part behind.
  std::sort(forms.begin(), forms.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& form : forms) ReplaceAll(text, form);
  return text;
}

}  // namespace qb

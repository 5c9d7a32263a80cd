// PercentDecode, ParseHex and StripControlChars on arbitrary text.
#include <cstdlib>
#include <cstring>

#include "core/text_helpers.h"
#include "fuzz/fuzz_check.h"

using namespace qb;

namespace {

bool IsHexOrSpace(char c) { return c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using qbfuzz::ExactText;
  {
    char* text = ExactText(data, size);
    const std::size_t before = std::strlen(text);
    const bool hasPercent = std::strchr(text, '%') != nullptr;
    char* original = strdup(text);
    FUZZ_CHECK(PercentDecode(text) == text);
    const std::size_t after = std::strlen(text);
    FUZZ_CHECK(after <= before);
    // Only escapes change the text.
    if (!hasPercent) FUZZ_CHECK(std::strcmp(text, original) == 0);
    std::free(original);
    std::free(text);
  }
  {
    char* text = ExactText(data, size);
    const std::size_t before = std::strlen(text);
    const int32_t value = ParseHex(text);
    FUZZ_CHECK(std::strlen(text) == before);  // upper-cased in place, same length
    bool allHex = true;
    int digits = 0;
    for (const char* p = text; *p; ++p) {
      if (!IsHexOrSpace(*p)) allHex = false;
      if (*p != ' ') ++digits;
    }
    if (!allHex) FUZZ_CHECK(value == 0);
    // Up to seven digits cannot reach the sign bit, so the value cannot be negative.
    if (allHex && digits <= 7) FUZZ_CHECK(value >= 0);
    std::free(text);
  }
  {
    char* text = ExactText(data, size);
    const std::size_t before = std::strlen(text);
    StripControlChars(text);
    FUZZ_CHECK(std::strlen(text) <= before);
    FUZZ_CHECK(std::strpbrk(text, "\r\n\t") == nullptr);
    std::free(text);
  }
  {
    // A copy into a small field never exceeds it and always terminates.
    qbfuzz::Picker pick(data, size);
    const std::size_t field = 1 + pick.Byte() % 64;
    char* src = ExactText(pick.data(), pick.size());
    char* dest = static_cast<char*>(std::malloc(field));
    CopyText(dest, field, src);
    FUZZ_CHECK(strnlen(dest, field) < field);
    FUZZ_CHECK(std::strncmp(dest, src, field - 1) == 0);
    std::free(dest);
    std::free(src);
  }
  return 0;
}

// The INI reader and writer on arbitrary file contents, in memory.
#include <string>

#include "core/ini_file.h"
#include "core/settings.h"
#include "fuzz/fuzz_check.h"

using namespace qb;

namespace {

const char* const Keys[] = {"MinConnect", "HttpTimeOut", "VerifyTimeOut", "NbRetry", "DataMode"};
constexpr int KeyCount = 5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string before[KeyCount];
  for (int i = 0; i < KeyCount; ++i) {
    before[i] = IniLookup(text, "Config", Keys[i], "dflt", 39);
    FUZZ_CHECK(before[i].size() <= 39);
  }
  const FtpDataMode mode = ParseDataMode(before[4]);
  FUZZ_CHECK(mode == FtpDataMode::Passive || mode == FtpDataMode::Active);

  // A write replaces one key's value and keeps every other key as it was, and
  // a second write of the same value changes nothing more.
  const std::string written = IniReplace(text, "Config", "NbRetry", "-5");
  FUZZ_CHECK(IniLookup(written, "Config", "NbRetry", "dflt", 39) == "-5");
  for (int i = 0; i < KeyCount; ++i) {
    if (i != 3) FUZZ_CHECK(IniLookup(written, "Config", Keys[i], "dflt", 39) == before[i]);
  }
  FUZZ_CHECK(IniReplace(written, "Config", "NbRetry", "-5") == written);
  return 0;
}

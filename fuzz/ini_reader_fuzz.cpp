// The INI reader and writer on arbitrary file contents.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "core/ini_file.h"
#include "core/settings.h"
#include "fuzz/fuzz_check.h"

using namespace qb;

namespace {

const std::string& Dir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/qb_fuzz_ini_XXXXXX";
    const char* made = mkdtemp(pattern);
    FUZZ_CHECK(made != nullptr);
    return std::string(made) + "/";
  }();
  return dir;
}

const char* const Keys[] = {"MinConnect", "HttpTimeOut", "VerifyTimeOut", "NbRetry"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ExeDir = Dir();
  const std::string path = SettingsPath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::string before[4];
  for (int i = 0; i < 4; ++i) {
    before[i] = IniReadString(path, "Config", Keys[i], "dflt", 39);
    FUZZ_CHECK(before[i].size() <= 39);
  }
  LoadSettings();

  // A write replaces one key's value and keeps every other key as it was.
  FUZZ_CHECK(IniWriteString(path, "Config", "NbRetry", "-5"));
  FUZZ_CHECK(IniReadString(path, "Config", "NbRetry", "dflt", 39) == "-5");
  for (int i = 0; i < 3; ++i)
    FUZZ_CHECK(IniReadString(path, "Config", Keys[i], "dflt", 39) == before[i]);
  return 0;
}

#include "core/settings.h"

#include <cstdio>

#include "core/ini_file.h"
#include "core/program_folders.h"
#include "core/text_helpers.h"

namespace qb {

SettingsData Settings;
std::string ExeDir;

namespace {
struct Key {
  const char* name;
  const char* defaultText;
  std::atomic<int32_t> SettingsData::*field;
};
const Key keys[] = {
    {"MinConnect", "8", &SettingsData::MinConnect},
    {"HttpTimeOut", "50", &SettingsData::HttpTimeOut},
    {"VerifyTimeOut", "15", &SettingsData::VerifyTimeOut},
    {"NbRetry", "4", &SettingsData::NbRetry},
    {"KeepIndex", "1", &SettingsData::KeepIndex},
};
constexpr std::size_t ValueChars = 39;  // the reader's 40-character value buffer
}  // namespace

std::string SettingsPath() { return ConfigPath(SettingsFileName); }

FtpDataMode ParseDataMode(const std::string& text) {
  std::string lower;
  for (const char c : text) lower += AsciiLower(c);
  return lower == "active" ? FtpDataMode::Active : FtpDataMode::Passive;
}

const char* DataModeText(FtpDataMode mode) {
  return mode == FtpDataMode::Active ? "active" : "passive";
}

void LoadSettings() {
  const std::string path = SettingsPath();
  for (const Key& k : keys) {
    const std::string text = IniReadString(path, "Config", k.name, k.defaultText, ValueChars);
    (Settings.*k.field) = AtoL(text.c_str());
  }
  Settings.DataMode =
      ParseDataMode(IniReadString(path, "Config", "DataMode", "passive", ValueChars));
}

bool SaveSettings() {
  const std::string path = SettingsPath();
  bool written = MakeParentFolder(path);
  for (const Key& k : keys) {
    char text[40];
    std::snprintf(text, sizeof text, "%i", static_cast<int>((Settings.*k.field).load()));
    written = IniWriteString(path, "Config", k.name, text) && written;
  }
  return IniWriteString(path, "Config", "DataMode", DataModeText(Settings.DataMode)) && written;
}

}  // namespace qb

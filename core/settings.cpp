#include "core/settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/download_folder.h"
#include "core/ini_file.h"
#include "core/program_folders.h"
#include "core/text_helpers.h"

namespace qb {

SettingsData Settings;
std::string ExeDir;

namespace {
struct Key {
  const char* defaultText;
  SettingRange range;
};
const Key keys[] = {
    {"8", {&SettingsData::MinConnect, "MinConnect", "FTP sessions at the same time", 1, 64, 1}},
    {"50", {&SettingsData::HttpTimeOut, "HttpTimeOut", "Network time-out (seconds)", 1, 600, 1}},
    {"15",
     {&SettingsData::VerifyTimeOut, "VerifyTimeOut", "Pause between two attempts (seconds)", 0,
      3600, 0}},
    {"4", {&SettingsData::NbRetry, "NbRetry", "Attempts per site", 1, 20, 1}},
    {"1", {&SettingsData::KeepIndex, "KeepIndex", "Keep explored sites in the index", 0, 1, 0}},
    {"250",
     {&SettingsData::EnginePause, "EnginePause",
      "Pause between two requests to one search host (ms)", 0, 60000, 250}},
    {"1", {&SettingsData::ReportTerm, "ReportTerm", "Report the search term", 0, 1, 0}},
    {"0",
     {&SettingsData::FastStart, "FastStart", "Start sessions as soon as slots are free", 0, 1, 0}},
    {"8", {&SettingsData::CrawlDepth, "CrawlDepth", "Crawl depth (folders)", 1, 64, 1}},
    {"20000",
     {&SettingsData::CrawlFolders, "CrawlFolders", "Folders per crawled site", 1, 1000000, 1}},
    {"2000000",
     {&SettingsData::CrawlEntries, "CrawlEntries", "Entries per crawled site", 1, 16000000, 1}},
    {"30", {&SettingsData::CrawlMinutes, "CrawlMinutes", "Minutes per crawled site", 1, 1440, 1}},
    {"1", {&SettingsData::CrawlSessions, "CrawlSessions", "Crawl sessions per server", 1, 4, 1}},
    {"0",
     {&SettingsData::CrawlPause, "CrawlPause", "Pause between two listings of one server (ms)", 0,
      60000, 0}},
    {"2",
     {&SettingsData::TransfersPerHost, "TransfersPerHost", "Downloads per server at once", 1, 8,
      1}},
    {"4", {&SettingsData::TransfersAtOnce, "TransfersAtOnce", "Downloads at once", 1, 16, 1}},
    {"0",
     {&SettingsData::OpenOnDoubleClick, "OpenOnDoubleClick", "Double-click opens a file", 0, 1, 0}},
    {"0",
     {&SettingsData::SiteListsOffered, "SiteListsOffered", "Mirror lists offered at first start", 0,
      1, 0}},
};
constexpr std::size_t ValueChars = 39;  // the reader's 40-character value buffer
constexpr std::size_t PathChars = 4095;
}  // namespace

const SettingRange& RangeOf(SettingField field) {
  for (const Key& k : keys) {
    if (k.range.field == field) return k.range;
  }
  return keys[0].range;  // every field has a key; never reached
}

int32_t ClampSetting(SettingField field, int64_t value) {
  const SettingRange& r = RangeOf(field);
  return static_cast<int32_t>(std::clamp<int64_t>(value, r.min, r.max));
}

bool ReadSettingText(SettingField field, const std::string& text, int32_t& value,
                     std::string& problem) {
  const SettingRange& r = RangeOf(field);
  std::size_t begin = text.find_first_not_of(' ');
  std::size_t end = text.find_last_not_of(' ');
  bool digits = begin != std::string::npos && end - begin < 9;
  int64_t read = 0;
  for (std::size_t i = begin; digits && i <= end; ++i) {
    digits = text[i] >= '0' && text[i] <= '9';
    read = read * 10 + (text[i] - '0');
  }
  if (digits && read >= r.sheetMin && read <= r.max) {
    value = static_cast<int32_t>(read);
    return true;
  }
  problem = std::string(r.label) + " must be a whole number from " + std::to_string(r.sheetMin) +
            " to " + std::to_string(r.max) + ".";
  return false;
}

std::string SettingsPath() { return ConfigPath(SettingsFileName); }

FtpDataMode ParseDataMode(const std::string& text) {
  std::string lower;
  for (const char c : text) lower += AsciiLower(c);
  return lower == "active" ? FtpDataMode::Active : FtpDataMode::Passive;
}

const char* DataModeText(FtpDataMode mode) {
  return mode == FtpDataMode::Active ? "active" : "passive";
}

TlsMode ParseTlsMode(const std::string& text) {
  std::string lower;
  for (const char c : text) lower += AsciiLower(c);
  if (lower == "required") return TlsMode::Required;
  if (lower == "never") return TlsMode::Never;
  return TlsMode::WhenOffered;
}

const char* TlsModeText(TlsMode mode) {
  switch (mode) {
    case TlsMode::Required:
      return "required";
    case TlsMode::Never:
      return "never";
    case TlsMode::WhenOffered:
      break;
  }
  return "when offered";
}

void LoadSettings() {
  const std::string path = SettingsPath();
  for (const Key& k : keys) {
    const std::string text = IniReadString(path, "Config", k.range.key, k.defaultText, ValueChars);
    // Text that is no number at all keeps the default rather than becoming 0.
    const bool number = !text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) ||
                                          ((text[0] == '-' || text[0] == '+') && text.size() > 1 &&
                                           std::isdigit(static_cast<unsigned char>(text[1]))));
    (Settings.*k.range.field) =
        ClampSetting(k.range.field, AtoL(number ? text.c_str() : k.defaultText));
  }
  Settings.DataMode =
      ParseDataMode(IniReadString(path, "Config", "DataMode", "passive", ValueChars));
  Settings.Tls = ParseTlsMode(IniReadString(path, "Config", "Tls", "when offered", ValueChars));
  SetDownloadFolder(IniReadString(path, "Config", "DownloadFolder", "", PathChars));
}

bool SaveSettings() {
  const std::string path = SettingsPath();
  bool written = MakeParentFolder(path);
  for (const Key& k : keys) {
    char text[40];
    std::snprintf(text, sizeof text, "%i", static_cast<int>((Settings.*k.range.field).load()));
    written = IniWriteString(path, "Config", k.range.key, text) && written;
  }
  written = IniWriteString(path, "Config", "Tls", TlsModeText(Settings.Tls)) && written;
  // A line break would end the value early and start a line of its own.
  const std::string folder = ChosenDownloadFolder();
  if (folder.find_first_of("\r\n") == std::string::npos)
    written = IniWriteString(path, "Config", "DownloadFolder", folder) && written;
  return IniWriteString(path, "Config", "DataMode", DataModeText(Settings.DataMode)) && written;
}

}  // namespace qb

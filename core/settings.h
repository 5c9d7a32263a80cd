#pragma once
// The settings of "FTP-ZEVO.ini", read by every thread without a lock.
#include <atomic>
#include <cstdint>
#include <string>

namespace qb {

// How FTP data connections are made: passive works behind NAT, active is the
// server connecting back.
enum class FtpDataMode : int32_t { Passive, Active };

// Whether FTP sessions speak TLS: when the server offers it, only with it
// (a server without it fails the site), or never.
enum class TlsMode : int32_t { WhenOffered, Required, Never };

struct SettingsData {
  std::atomic<int32_t> MinConnect{0};     // bound on concurrent FTP sessions
  std::atomic<int32_t> HttpTimeOut{0};    // socket send/receive time-out, seconds
  std::atomic<int32_t> VerifyTimeOut{0};  // pause between two attempts, seconds
  std::atomic<int32_t> NbRetry{0};        // attempts per site
  std::atomic<FtpDataMode> DataMode{FtpDataMode::Passive};
  std::atomic<TlsMode> Tls{TlsMode::WhenOffered};
  std::atomic<int32_t> KeepIndex{1};      // 0: explored sites are not kept in the local index
  std::atomic<int32_t> EnginePause{250};  // ms between two requests to one search host
  std::atomic<int32_t> ReportTerm{1};     // 0: the search term is not reported
  std::atomic<int32_t> FastStart{0};      // 1: sessions start as soon as slots are free
  // Crawls: bounds per site, sessions per server and the pause between listings.
  std::atomic<int32_t> CrawlDepth{8};
  std::atomic<int32_t> CrawlFolders{20000};
  std::atomic<int32_t> CrawlEntries{2000000};
  std::atomic<int32_t> CrawlMinutes{30};
  std::atomic<int32_t> CrawlSessions{1};
  std::atomic<int32_t> CrawlPause{0};  // ms
  // Downloads: sessions per server and in all; 1: a double-click opens a file
  // rather than downloading it.
  std::atomic<int32_t> TransfersPerHost{2};
  std::atomic<int32_t> TransfersAtOnce{4};
  std::atomic<int32_t> OpenOnDoubleClick{0};
  // 1: the first start's offer of the mirror lists has been made.
  std::atomic<int32_t> SiteListsOffered{0};
};

using SettingField = std::atomic<int32_t> SettingsData::*;

// What a number setting may hold. A value outside it in the file reads as the
// nearest bound; the settings sheet refuses one, naming the field and range.
// sheetMin is the least the sheet takes (below it only from the file).
struct SettingRange {
  SettingField field;
  const char* key;
  const char* label;
  int32_t min;
  int32_t max;
  int32_t sheetMin;
};
const SettingRange& RangeOf(SettingField field);
int32_t ClampSetting(SettingField field, int64_t value);
// A whole number typed into the sheet, inside its sheet range; otherwise false
// and problem says which field wants what.
bool ReadSettingText(SettingField field, const std::string& text, int32_t& value,
                     std::string& problem);

extern SettingsData Settings;

// The executable's directory with a trailing "/"; set once at start-up.
extern std::string ExeDir;

inline constexpr const char* SettingsFileName = "FTP-ZEVO.ini";
std::string SettingsPath();

// "passive" or "active"; anything else reads as passive.
FtpDataMode ParseDataMode(const std::string& text);
const char* DataModeText(FtpDataMode mode);
// "when offered", "required" or "never"; anything else reads as when offered.
TlsMode ParseTlsMode(const std::string& text);
const char* TlsModeText(TlsMode mode);

void LoadSettings();
// false when the file could not be written; the settings stay in effect.
bool SaveSettings();

}  // namespace qb

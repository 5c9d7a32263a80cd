#pragma once
// The settings of "FTP-ZEVO.ini", read by every thread without a lock.
#include <atomic>
#include <cstdint>
#include <string>

namespace qb {

// How FTP data connections are made: passive works behind NAT, active is the
// server connecting back.
enum class FtpDataMode : int32_t { Passive, Active };

struct SettingsData {
  std::atomic<int32_t> MinConnect{0};     // bound on concurrent FTP sessions
  std::atomic<int32_t> HttpTimeOut{0};    // socket send/receive time-out, seconds
  std::atomic<int32_t> VerifyTimeOut{0};  // pause between two attempts, seconds
  std::atomic<int32_t> NbRetry{0};        // attempts per site
  std::atomic<FtpDataMode> DataMode{FtpDataMode::Passive};
  std::atomic<int32_t> KeepIndex{1};  // 0: explored sites are not kept in the local index
};

extern SettingsData Settings;

// The executable's directory with a trailing "/"; set once at start-up.
extern std::string ExeDir;

inline constexpr const char* SettingsFileName = "FTP-ZEVO.ini";
std::string SettingsPath();

// "passive" or "active"; anything else reads as passive.
FtpDataMode ParseDataMode(const std::string& text);
const char* DataModeText(FtpDataMode mode);

void LoadSettings();
// false when the file could not be written; the settings stay in effect.
bool SaveSettings();

}  // namespace qb

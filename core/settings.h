#pragma once
// The four settings of "FTP-ZEVO.ini", read by every thread without a lock.
#include <atomic>
#include <cstdint>
#include <string>

namespace qb {

struct SettingsData {
  std::atomic<int32_t> MinConnect{0};     // bound on concurrent FTP sessions
  std::atomic<int32_t> HttpTimeOut{0};    // socket send/receive time-out, seconds
  std::atomic<int32_t> VerifyTimeOut{0};  // pause between two attempts, seconds
  std::atomic<int32_t> NbRetry{0};        // attempts per site
};

extern SettingsData Settings;

// The executable's directory with a trailing "/"; set once at start-up.
extern std::string ExeDir;

inline constexpr const char* SettingsFileName = "FTP-ZEVO.ini";
std::string SettingsPath();

void LoadSettings();
void SaveSettings();

}  // namespace qb

#pragma once
// The start-up notice and the usage counter of the product web server. No window
// code here: the program's windows come in through VersionCheckView, tests bring
// recorders.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace qb {

inline constexpr const char* NoticeFileName = "version.txt";
inline constexpr const char* CounterPath = "/stats/connexions/vazoror/nbr_connectes.php3";
inline constexpr std::chrono::milliseconds CounterPeriod{90000};

// Line ends at the start are skipped, every line is ended by "\r\n" (a carriage
// return before its line feed stays), and text after the last line feed is dropped.
std::string BuildNoticeText(std::string_view body);

// True when the file cannot be read or holds anything but text.
bool NoticeChanged(const std::string& path, const std::string& text);
// Replaces the file with text; false when it could not be written whole.
bool SaveNotice(const std::string& path, const std::string& text);

// The number after the first two characters of a counter page body (the line end
// the fetcher leaves before it); 0 when there is none.
int32_t ReadCounter(const char* body);

// Addresses on the product web server, each overridable in [Hosts] of
// "FTP-ZEVO.ini"; the built-in ones lead nowhere until a host is configured.
std::string HomePageUrl();
std::string NoticeUrl(const std::string& builtin);  // builtin: the resource string
std::string CounterUrl();

class VersionCheckView {
 public:
  virtual ~VersionCheckView() = default;
  // Shows a changed notice and returns once the user has closed it.
  virtual void ShowNotice(const std::string& text) = 0;
  virtual void ShowCounter(int32_t users) = 0;
};

struct VersionCheckConfig {
  std::string noticeUrl;
  std::string counterUrl;
  std::string noticeFile;
  std::chrono::milliseconds period = CounterPeriod;
};

// The notice once, then the counter every period. The program never stops it;
// Stop() is for tests and waits for a fetch in progress to end by its time-out.
class VersionCheck {
 public:
  VersionCheck(VersionCheckConfig config, std::shared_ptr<VersionCheckView> view);
  ~VersionCheck();
  VersionCheck(const VersionCheck&) = delete;
  VersionCheck& operator=(const VersionCheck&) = delete;

  void Start();
  void Stop();

 private:
  void Run();
  void CheckNotice();
  void PollCounter();
  bool WaitPeriod();

  const VersionCheckConfig config_;
  const std::shared_ptr<VersionCheckView> view_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace qb

#include "mainwin/transfer_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qb {

std::string AmountText(int64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes < 0 ? 0 : bytes) + " B";
  static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
  auto value = static_cast<double>(bytes) / 1000;
  std::size_t unit = 0;
  // 999.95 and above would print as "1000.0".
  while (value >= 999.95 && unit + 1 < std::size(units)) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 99.995 && unit >= 2 ? "%.2f %s" : "%.1f %s", value,
                units[unit]);
  return text;
}

std::string RateText(double bytesPerSecond) {
  if (!(bytesPerSecond >= 1)) return {};
  return AmountText(static_cast<int64_t>(bytesPerSecond)) + "/s";
}

std::string TimeLeftText(int64_t bytes, int64_t total, double bytesPerSecond) {
  if (total < 0 || bytes > total || !(bytesPerSecond >= 1)) return {};
  const double seconds = std::ceil(static_cast<double>(total - bytes) / bytesPerSecond);
  // Beyond a few days the number says nothing.
  if (seconds > 99 * 3600) return {};
  const auto s = static_cast<long>(seconds);
  char text[32];
  if (s < 60)
    std::snprintf(text, sizeof text, "%ld s", s);
  else if (s < 3600)
    std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%ld h %02ld min", s / 3600, s / 60 % 60);
  return text;
}

int ProgressPercent(int64_t bytes, int64_t total) {
  if (total <= 0 || bytes <= 0) return total == 0 ? 100 : 0;
  if (bytes >= total) return 100;
  // Short of the whole is never shown as the whole.
  return std::min(99,
                  static_cast<int>(static_cast<double>(bytes) * 100 / static_cast<double>(total)));
}

std::string StateText(const Transfer& transfer) {
  std::string text = TransferStateText(transfer.state);
  if (transfer.state == TransferState::Failed && !transfer.text.empty())
    text += ": " + transfer.text;
  return text;
}

std::string TransfersStatusText(const TransferTotals& totals) {
  if (totals.fetching == 0 && totals.queued == 0) return {};
  std::string text;
  if (totals.fetching > 0) {
    text = "Downloading " + std::to_string(totals.fetching) +
           (totals.fetching == 1 ? " file: " : " files: ") + AmountText(totals.bytes);
    if (totals.total > 0) text += " of " + AmountText(totals.total);
    if (const std::string rate = RateText(totals.rate); !rate.empty()) text += ", " + rate;
  }
  if (totals.queued > 0)
    text += (text.empty() ? "Downloads: " : ", ") + std::to_string(totals.queued) + " queued";
  return text;
}

}  // namespace qb

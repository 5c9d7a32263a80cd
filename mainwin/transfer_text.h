#pragma once
// What the transfers window and the status bar say about downloads.
#include <cstdint>
#include <string>

#include "transfer/transfer_queue.h"

namespace qb {

// "980 B", "1.4 KB", "12.5 MB", "3.21 GB" (1000-based, as file managers show).
std::string AmountText(int64_t bytes);
// "1.2 MB/s"; empty when nothing moves.
std::string RateText(double bytesPerSecond);
// "12 s", "4 min 05 s", "2 h 10 min"; empty when it cannot be told.
std::string TimeLeftText(int64_t bytes, int64_t total, double bytesPerSecond);
// The percentage shown in a progress bar, 0..100; 0 when the size is unknown.
int ProgressPercent(int64_t bytes, int64_t total);
// The state column: "queued", "fetching", "paused", "done", "failed: why".
std::string StateText(const Transfer& transfer);
// "Downloading 2 files: 35.0 MB of 120 MB, 4.2 MB/s, 1 queued"; empty when idle.
std::string TransfersStatusText(const TransferTotals& totals);

}  // namespace qb

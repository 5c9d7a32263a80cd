#pragma once
// The program's downloads: one queue for the run, kept in the local index when
// there is one so that a restart goes on with it, and the desktop told when
// the queue has run dry.
#include <memory>

namespace qb {

class TransferQueue;

// After StartLocalIndex; the kept queue is read off the UI thread.
void StartDownloads();
// Stops every download, their .part files and rows kept; before StopLocalIndex.
void StopDownloads();
std::weak_ptr<TransferQueue> RunningDownloads();
// Hands the settings' download bounds to the running queue.
void ApplyDownloadSettings();

}  // namespace qb

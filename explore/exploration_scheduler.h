#pragma once
// Starts site workers for the waiting entries of the SiteTable within the
// session bound, and shows the exploration's progress in the main dialog.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

struct SiteEntry;

extern std::atomic<int32_t> ActiveSessions;   // FTP sessions in progress
extern std::atomic<int32_t> FinishedWorkers;  // workers ended in this run
extern std::atomic<bool> ExplorationPaused;   // no worker is started while set
extern std::atomic<int32_t> ExplorationLimit; // bound on ActiveSessions

// Starts a new run on its own thread. The thread ends once the table is empty,
// or at its next tick when a newer run has been started.
void StartExplorationScheduler();

// Share of finished work in whole percent, truncated, within 0..100.
int ExplorationPercent(int finished, int waiting, int exploring);

// How a worker is started for an entry; the default runs SiteWorker on a
// detached thread. Tests install a recorder; null restores the default.
using WorkerLauncher = std::function<void(std::shared_ptr<SiteEntry>)>;
void SetWorkerLauncher(WorkerLauncher launcher);

// Number of scheduler threads that have not ended yet.
int32_t LiveSchedulers();

#include "app/downloads_hookup.h"

#include <wx/notifmsg.h>

#include <string>
#include <thread>

#include "app/index_hookup.h"
#include "core/settings.h"
#include "core/ui_door.h"
#include "index/local_index.h"
#include "transfer/index_transfer_store.h"
#include "transfer/transfer_queue.h"

namespace qb {

namespace {

std::unique_ptr<IndexTransferStore> Store;
std::shared_ptr<TransferQueue> Queue;  // the only owner: the windows hold weak links
std::thread Loading;

void TellDrained(int done, int failed) {
  PostToUi([done, failed] {
    std::string text = std::to_string(done) + (done == 1 ? " file arrived" : " files arrived");
    if (failed > 0) text += ", " + std::to_string(failed) + " failed";
    wxNotificationMessage note("Downloads finished", text);
    note.Show(wxNotificationMessage::Timeout_Auto);
  });
}

FetchLimits DownloadLimits() {
  return {Settings.TransfersPerHost.load(), Settings.TransfersAtOnce.load()};
}

}  // namespace

void StartDownloads() {
  if (Queue) return;
  if (LocalIndex* index = RunningIndex())
    Store = std::make_unique<IndexTransferStore>(index->writer());
  TransferEvents events;
  events.drained = TellDrained;
  Queue = std::make_shared<TransferQueue>(Store.get(), DownloadLimits(), std::move(events));
  if (!Store) return;
  // The index may still be opening: its answer is not waited for here.
  Loading = std::thread([queue = Queue.get()] {
    std::string error;
    queue->Load(error);
  });
}

void StopDownloads() {
  // The load uses the queue and the index's writer, which outlive it.
  if (Loading.joinable()) Loading.join();
  // The queue's end stops its fetches; its rows stay queued for the next start.
  Queue.reset();
  Store.reset();
}

std::weak_ptr<TransferQueue> RunningDownloads() { return Queue; }

void ApplyDownloadSettings() {
  // The bounds count at once for the downloads not yet begun.
  if (Queue) Queue->SetLimits(DownloadLimits());
}

}  // namespace qb

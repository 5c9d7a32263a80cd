#pragma once
// The downloads: one row each with its progress, rate, time left and state,
// and the buttons that pause, resume, cancel and retry the selected ones. It
// follows the queue on a timer of its own; downloads go on when it is closed.
#include <cstdint>
#include <memory>
#include <vector>

#include <wx/dataview.h>
#include <wx/frame.h>
#include <wx/timer.h>

#include "transfer/transfer_queue.h"

class wxButton;

namespace qb {

class TransfersWindow : public wxFrame {
 public:
  enum {
    IdRows = wxID_HIGHEST + 1,
    IdPause,
    IdResume,
    IdCancel,
    IdRetry,
    IdOpenFolder,
    IdClearDone
  };
  enum Column { ColName, ColSite, ColSize, ColProgress, ColRate, ColLeft, ColState, ColumnCount };

  TransfersWindow(wxWindow* parent, std::weak_ptr<TransferQueue> queue);

  // Brings the rows and buttons in line with the queue.
  void ShowTransfers();
  wxDataViewListCtrl* List() const { return list_; }
  // The ids of the selected rows, in row order.
  std::vector<int64_t> Selected() const;
  // The row showing this transfer, or -1.
  int RowOf(int64_t id) const;

 private:
  void ShowButtons();
  void ForSelected(void (TransferQueue::*action)(int64_t));
  void OnOpenFolder(wxCommandEvent& event);

  std::weak_ptr<TransferQueue> queue_;
  wxDataViewListCtrl* list_ = nullptr;
  wxButton* pause_ = nullptr;
  wxButton* resume_ = nullptr;
  wxButton* cancel_ = nullptr;
  wxButton* retry_ = nullptr;
  wxButton* openFolder_ = nullptr;
  wxButton* clearDone_ = nullptr;
  wxTimer timer_;
  std::vector<Transfer> rows_;  // what each row shows
};

// The file's name and its server, as the rows show them.
std::string TransferName(const Transfer& transfer);
std::string TransferSite(const Transfer& transfer);

}  // namespace qb

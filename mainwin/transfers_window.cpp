#include "mainwin/transfers_window.h"

#include <wx/button.h>
#include <wx/panel.h>
#include <wx/sizer.h>

#include <algorithm>

#include "core/launcher.h"
#include "core/password_text.h"
#include "mainwin/transfer_text.h"
#include "net/ftp_url.h"
#include "transfer/local_name.h"
#include "ui/display_text.h"

namespace qb {

namespace {
constexpr int RefreshMs = 400;

const char* const Headings[] = {"Name", "Site", "Size", "Progress", "Rate", "Time left", "State"};
const int Widths[] = {220, 150, 80, 120, 85, 85, 220};

wxString CellText(const Transfer& t, int column) {
  switch (column) {
    case TransfersWindow::ColName:
      return ToDisplayText(TransferName(t));
    case TransfersWindow::ColSite:
      return ToDisplayText(TransferSite(t));
    case TransfersWindow::ColSize:
      return t.size < 0 ? wxString() : wxString(AmountText(t.size));
    case TransfersWindow::ColRate:
      return t.state == TransferState::Fetching ? wxString(RateText(t.rate)) : wxString();
    case TransfersWindow::ColLeft:
      return t.state == TransferState::Fetching ? wxString(TimeLeftText(t.bytes, t.size, t.rate))
                                                : wxString();
    case TransfersWindow::ColState:
      return ToDisplayText(StateText(t));
    default:
      return wxString();
  }
}

wxVariant CellValue(const Transfer& t, int column) {
  if (column == TransfersWindow::ColProgress)
    return wxVariant(
        static_cast<long>(t.state == TransferState::Done ? 100 : ProgressPercent(t.bytes, t.size)));
  return wxVariant(CellText(t, column));
}

bool SameRows(const std::vector<Transfer>& a, const std::vector<Transfer>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const Transfer& x, const Transfer& y) { return x.id == y.id; });
}
}  // namespace

std::string TransferName(const Transfer& transfer) {
  FtpUrlParts parts;
  ParseFtpUrl(transfer.url.c_str(), parts);
  std::string name = UrlFileName(parts.path);
  return name.empty() ? HidePassword(transfer.url) : name;
}

std::string TransferSite(const Transfer& transfer) {
  FtpUrlParts parts;
  ParseFtpUrl(transfer.url.c_str(), parts);
  std::string host = parts.host;
  if (host.find(':') != std::string::npos) host = "[" + host + "]";
  if (parts.port != (parts.implicitTls ? 990 : 21)) host += ":" + std::to_string(parts.port);
  return host;
}

TransfersWindow::TransfersWindow(wxWindow* parent, std::weak_ptr<TransferQueue> queue)
    : wxFrame(parent, wxID_ANY, "Downloads", wxDefaultPosition, wxSize(980, 260),
              wxDEFAULT_FRAME_STYLE | (parent ? wxFRAME_FLOAT_ON_PARENT : 0)),
      queue_(std::move(queue)),
      timer_(this) {
  auto* panel = new wxPanel(this);
  list_ = new wxDataViewListCtrl(panel, IdRows, wxDefaultPosition, wxDefaultSize,
                                 wxDV_MULTIPLE | wxDV_ROW_LINES);
  for (int c = 0; c < ColumnCount; ++c) {
    if (c == ColProgress) {
      list_->AppendProgressColumn(Headings[c], wxDATAVIEW_CELL_INERT, Widths[c]);
      continue;
    }
    const bool left = c == ColName || c == ColSite || c == ColState;
    list_->AppendTextColumn(Headings[c], wxDATAVIEW_CELL_INERT, Widths[c],
                            left ? wxALIGN_LEFT : wxALIGN_RIGHT, wxDATAVIEW_COL_RESIZABLE);
  }
  const auto button = [panel](int id, const char* label) { return new wxButton(panel, id, label); };
  pause_ = button(IdPause, "&Pause");
  resume_ = button(IdResume, "&Resume");
  cancel_ = button(IdCancel, "&Cancel");
  retry_ = button(IdRetry, "Re&try");
  openFolder_ = button(IdOpenFolder, "Open &folder");
  clearDone_ = button(IdClearDone, "C&lear finished");
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  for (wxButton* b : {pause_, resume_, cancel_, retry_, openFolder_})
    buttons->Add(b, 0, wxRIGHT, 6);
  buttons->AddStretchSpacer();
  buttons->Add(clearDone_, 0);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 6);
  column->Add(buttons, 0, wxEXPAND | wxALL, 6);
  panel->SetSizer(column);

  pause_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ForSelected(&TransferQueue::Pause); });
  resume_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ForSelected(&TransferQueue::Resume); });
  cancel_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ForSelected(&TransferQueue::Cancel); });
  retry_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ForSelected(&TransferQueue::Retry); });
  openFolder_->Bind(wxEVT_BUTTON, &TransfersWindow::OnOpenFolder, this);
  clearDone_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    if (const std::shared_ptr<TransferQueue> queue = queue_.lock()) queue->RemoveFinished();
    ShowTransfers();
  });
  list_->Bind(wxEVT_DATAVIEW_SELECTION_CHANGED, [this](wxDataViewEvent&) { ShowButtons(); });
  // A double-click on a row that arrived opens its folder, as the button does.
  list_->Bind(wxEVT_DATAVIEW_ITEM_ACTIVATED, [this](wxDataViewEvent& event) {
    wxCommandEvent open;
    OnOpenFolder(open);
    event.Skip();
  });
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { ShowTransfers(); });
  CentreOnParent();
  ShowTransfers();
  timer_.Start(RefreshMs);
}

std::vector<int64_t> TransfersWindow::Selected() const {
  std::vector<int64_t> ids;
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    if (list_->IsRowSelected(static_cast<int>(r))) ids.push_back(rows_[r].id);
  }
  return ids;
}

int TransfersWindow::RowOf(int64_t id) const {
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    if (rows_[r].id == id) return static_cast<int>(r);
  }
  return -1;
}

void TransfersWindow::ShowTransfers() {
  const std::shared_ptr<TransferQueue> queue = queue_.lock();
  std::vector<Transfer> now;
  if (queue) now = queue->Snapshot();
  if (!SameRows(now, rows_)) {
    // Rows come and go: the selection stays with its transfers.
    const std::vector<int64_t> selected = Selected();
    list_->DeleteAllItems();
    for (const Transfer& t : now) {
      wxVector<wxVariant> values;
      for (int c = 0; c < ColumnCount; ++c) values.push_back(CellValue(t, c));
      list_->AppendItem(values);
    }
    rows_ = std::move(now);
    for (const int64_t id : selected) {
      if (const int row = RowOf(id); row >= 0) list_->SelectRow(static_cast<unsigned>(row));
    }
  } else {
    for (std::size_t r = 0; r < now.size(); ++r) {
      for (int c = 0; c < ColumnCount; ++c) {
        const wxVariant value = CellValue(now[r], c);
        wxVariant shown;
        list_->GetValue(shown, static_cast<unsigned>(r), static_cast<unsigned>(c));
        if (shown != value)
          list_->SetValue(value, static_cast<unsigned>(r), static_cast<unsigned>(c));
      }
    }
    rows_ = std::move(now);
  }
  ShowButtons();
}

void TransfersWindow::ShowButtons() {
  bool pausable = false, resumable = false, retryable = false, any = false, arrived = false;
  for (const int64_t id : Selected()) {
    const int row = RowOf(id);
    if (row < 0) continue;
    const TransferState state = rows_[static_cast<std::size_t>(row)].state;
    any = true;
    pausable |= state == TransferState::Queued || state == TransferState::Fetching;
    resumable |= state == TransferState::Paused;
    retryable |= state == TransferState::Failed;
    arrived |= state == TransferState::Done;
  }
  pause_->Enable(pausable);
  resume_->Enable(resumable);
  retry_->Enable(retryable);
  cancel_->Enable(any && !arrived);
  openFolder_->Enable(any);
  clearDone_->Enable(std::any_of(rows_.begin(), rows_.end(),
                                 [](const Transfer& t) { return t.state == TransferState::Done; }));
}

void TransfersWindow::ForSelected(void (TransferQueue::*action)(int64_t)) {
  if (const std::shared_ptr<TransferQueue> queue = queue_.lock()) {
    for (const int64_t id : Selected()) ((*queue).*action)(id);
  }
  ShowTransfers();
}

void TransfersWindow::OnOpenFolder(wxCommandEvent&) {
  const std::vector<int64_t> ids = Selected();
  if (ids.empty()) return;
  const Transfer& t = rows_[static_cast<std::size_t>(RowOf(ids.front()))];
  // The folder holding the file, which a tree download may have made below the chosen one.
  const std::size_t slash = t.path.rfind('/');
  LaunchDocument(slash == std::string::npos || slash == 0 ? t.folder : t.path.substr(0, slash));
}

}  // namespace qb

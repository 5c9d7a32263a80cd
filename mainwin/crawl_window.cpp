#include "mainwin/crawl_window.h"

#include <wx/button.h>
#include <wx/display.h>
#include <wx/panel.h>
#include <wx/sizer.h>

#include <algorithm>

#include "core/password_text.h"
#include "core/text_helpers.h"
#include "ui/display_text.h"

namespace qb {

namespace {
constexpr int RefreshMs = 500;

const char* const Headings[] = {"Site", "Listed", "Queued", "Entries", "Folders/s", "State"};
const int Widths[] = {230, 70, 70, 85, 75, 230};

wxString CellText(const CrawlRun& run, int column) {
  switch (column) {
    case CrawlWindow::ColSite:
      return ToDisplayText(HidePassword(run.url));
    case CrawlWindow::ColListed:
      return Grouped(run.progress.listed);
    case CrawlWindow::ColQueued:
      return Grouped(run.progress.queued);
    case CrawlWindow::ColEntries:
      return Grouped(run.progress.entries);
    case CrawlWindow::ColRate:
      return run.running ? wxString::Format("%.1f", run.Rate()) : wxString();
    default:
      return ToDisplayText(CrawlStateText(run));
  }
}
}  // namespace

std::string CrawlStateText(const CrawlRun& run) {
  if (!run.running) return run.Outcome().text;
  if (run.progress.stop) return "stopping";
  return run.progress.paused ? "paused" : "crawling";
}

CrawlWindow::CrawlWindow(wxWindow* parent, std::weak_ptr<CrawlRuns> runs)
    : wxFrame(parent, wxID_ANY, "Crawls", wxDefaultPosition, wxSize(800, 200),
              wxDEFAULT_FRAME_STYLE | (parent ? wxFRAME_FLOAT_ON_PARENT : 0)),
      runs_(std::move(runs)),
      timer_(this) {
  auto* panel = new wxPanel(this);
  list_ = new wxListCtrl(panel, IdRuns, wxDefaultPosition, wxDefaultSize,
                         wxLC_REPORT | wxLC_SINGLE_SEL);
  for (int c = 0; c < ColumnCount; ++c)
    list_->AppendColumn(Headings[c],
                        c == ColSite || c == ColState ? wxLIST_FORMAT_LEFT : wxLIST_FORMAT_RIGHT,
                        Widths[c]);
  pause_ = new wxButton(panel, IdPauseResume, "Pause");
  stop_ = new wxButton(panel, IdStop, "Stop");
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  buttons->Add(pause_, 0, wxRIGHT, 6);
  buttons->Add(stop_, 0);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 6);
  column->Add(buttons, 0, wxALL, 6);
  panel->SetSizer(column);

  pause_->Bind(wxEVT_BUTTON, &CrawlWindow::OnPauseResume, this);
  stop_->Bind(wxEVT_BUTTON, &CrawlWindow::OnStop, this);
  list_->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) { ShowButtons(); });
  list_->Bind(wxEVT_LIST_ITEM_DESELECTED, [this](wxListEvent&) { ShowButtons(); });
  Bind(wxEVT_TIMER, [this](wxTimerEvent&) { ShowRuns(); });
  PlaceBelow(parent);
  ShowRuns();
  timer_.Start(RefreshMs);
}

void CrawlWindow::PlaceBelow(wxWindow* parent) {
  const int number = wxDisplay::GetFromWindow(parent ? parent : this);
  const wxRect screen = wxDisplay(number == wxNOT_FOUND ? 0u : unsigned(number)).GetClientArea();
  wxRect r(GetPosition(), GetSize());
  r.width = std::min(r.width, screen.width);
  r.height = std::min(r.height, screen.height);
  if (parent && parent->IsShown()) {
    // Over the details below the lists, which matter less while a crawl runs;
    // the status bar, counting the crawls, stays in view.
    const wxRect over = parent->GetScreenRect();
    r.x = over.x + (over.width - r.width) / 2;
    r.y = parent->ClientToScreen(wxPoint(0, parent->GetClientSize().y)).y - r.height;
  } else {
    r = r.CentreIn(screen);
  }
  r.x = std::clamp(r.x, screen.x, screen.x + screen.width - r.width);
  r.y = std::clamp(r.y, screen.y, screen.y + screen.height - r.height);
  SetSize(r);
}

std::shared_ptr<CrawlRun> CrawlWindow::Selected() const {
  const long row = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
  return rows_[static_cast<std::size_t>(row)];
}

void CrawlWindow::ShowRuns() {
  const std::shared_ptr<CrawlRuns> runs = runs_.lock();
  std::vector<std::shared_ptr<CrawlRun>> now;
  if (runs) now = runs->Runs();
  std::shared_ptr<CrawlRun> selected = Selected();
  if (now != rows_) {
    // An ended crawl moves below the running ones: the selection goes with it.
    list_->DeleteAllItems();
    rows_ = std::move(now);
    for (std::size_t r = 0; r < rows_.size(); ++r) list_->InsertItem(static_cast<long>(r), "");
    const auto kept = std::find(rows_.begin(), rows_.end(), selected);
    selected = kept == rows_.end() ? nullptr : *kept;
    if (selected) {
      const long row = static_cast<long>(kept - rows_.begin());
      list_->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
  }
  // The buttons act on a crawl as soon as there is one.
  if (!selected && !rows_.empty())
    list_->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    const long row = static_cast<long>(r);
    for (int c = 0; c < ColumnCount; ++c) {
      const wxString text = CellText(*rows_[r], c);
      if (list_->GetItemText(row, c) != text) list_->SetItem(row, c, text);
    }
  }
  ShowButtons();
}

void CrawlWindow::ShowButtons() {
  const std::shared_ptr<CrawlRun> run = Selected();
  const bool live = run && run->running && !run->progress.stop;
  const wxString caption = run && run->progress.paused ? "Resume" : "Pause";
  if (pause_->GetLabel() != caption) pause_->SetLabel(caption);
  pause_->Enable(live);
  stop_->Enable(live);
}

void CrawlWindow::OnPauseResume(wxCommandEvent&) {
  if (const std::shared_ptr<CrawlRun> run = Selected(); run && run->running)
    run->progress.paused = !run->progress.paused;
  ShowRuns();
}

void CrawlWindow::OnStop(wxCommandEvent&) {
  // The crawl stays in the index, to go on with at a later start.
  const std::shared_ptr<CrawlRuns> runs = runs_.lock();
  if (const std::shared_ptr<CrawlRun> run = Selected(); runs && run && run->running)
    runs->Stop(run);
  ShowRuns();
}

}  // namespace qb

#pragma once
// The crawls of this run, one row each with its progress, and the buttons that
// pause, resume and stop the selected one. It follows the runs on a timer of
// its own; the crawls go on when it is closed.
#include <memory>
#include <vector>

#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/timer.h>

#include "crawl/crawl_runs.h"

class wxButton;

namespace qb {

class CrawlWindow : public wxFrame {
 public:
  enum { IdRuns = wxID_HIGHEST + 1, IdPauseResume, IdStop };
  enum Column { ColSite, ColListed, ColQueued, ColEntries, ColRate, ColState, ColumnCount };

  CrawlWindow(wxWindow* parent, std::weak_ptr<CrawlRuns> runs);

  // Brings the rows and buttons in line with the runs.
  void ShowRuns();
  wxListCtrl* List() const { return list_; }
  // The selected row's run, or null.
  std::shared_ptr<CrawlRun> Selected() const;

 private:
  void PlaceBelow(wxWindow* parent);
  void ShowButtons();
  void OnPauseResume(wxCommandEvent& event);
  void OnStop(wxCommandEvent& event);

  std::weak_ptr<CrawlRuns> runs_;
  wxListCtrl* list_ = nullptr;
  wxButton* pause_ = nullptr;
  wxButton* stop_ = nullptr;
  wxTimer timer_;
  std::vector<std::shared_ptr<CrawlRun>> rows_;  // what each row shows
};

// A run's State column: crawling, paused or stopping while it runs, then its
// outcome.
std::string CrawlStateText(const CrawlRun& run);

}  // namespace qb

// The main window's list work, measured on a real window: run under a display,
// e.g. xvfb-run -a -s "-screen 0 1024x768x24" bench/bench_mainwin
#include <benchmark/benchmark.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/site_table.h"
#include "mainwin/main_dialog.h"
#include "resources/resource_module.h"

using namespace qb;

namespace {
TD* Dialog() {
  static TD* dialog = [] {
    static int argc = 1;
    static char name[] = "bench_mainwin";
    static char* argv[] = {name, nullptr};
    wxApp::SetInstance(new wxApp);
    std::string error;
    if (!wxEntryStart(argc, argv) || !ResourceModule::Load(QB_BIN_DIR "/", &error)) {
      std::fprintf(stderr, "needs a display and %s/FtpRes.so %s\n", QB_BIN_DIR, error.c_str());
      std::exit(2);
    }
    auto* frame = new wxFrame(nullptr, wxID_ANY, "bench");
    auto* td = new TD;
    td->Create(frame, false);
    frame->Show();
    return td;
  }();
  return dialog;
}

void FillTable(int n) {
  ResetSites();
  for (int i = 0; i < n; ++i) {
    std::string url = "ftp://ftp" + std::to_string(i) + ".example.invalid/pub/mirror/";
    bool added = false;
    AddUniqueSite(url, added, false);
  }
}

void SetTexts(int round) {
  std::lock_guard<std::mutex> hold(SiteTableLock);
  for (int i = 0; i < SiteTable.count; ++i) {
    SiteTable.slots[i]->status = Ok;
    SiteTable.slots[i]->statusText.Set("226 Transfer complete " + std::to_string(round));
  }
}

// 2,000 sites, every one shown, each with a status text.
TD* ShownSites() {
  TD* td = Dialog();
  FillTable(2000);
  SetTexts(0);
  wxCommandEvent none;
  td->CmShowAll(none);  // rows rebuilt from the table
  td->RefreshSiteList();
  return td;
}

void BM_RefreshSiteListUnchanged(benchmark::State& state) {
  TD* td = ShownSites();
  for (auto _ : state) td->RefreshSiteList();
  state.counters["rows"] = td->SiteList()->GetItemCount();
}
BENCHMARK(BM_RefreshSiteListUnchanged)->Unit(benchmark::kMicrosecond);

void BM_RefreshSiteListAllTextsChanged(benchmark::State& state) {
  TD* td = ShownSites();
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    SetTexts(++round);
    state.ResumeTiming();
    td->RefreshSiteList();
  }
  state.counters["rows"] = td->SiteList()->GetItemCount();
}
BENCHMARK(BM_RefreshSiteListAllTextsChanged)->Unit(benchmark::kMillisecond);

void BM_SortSites2000(benchmark::State& state) {
  TD* td = ShownSites();
  wxListEvent click(wxEVT_LIST_COL_CLICK, td->SiteList()->GetId());
  click.SetEventObject(td->SiteList());
  int column = 0;
  for (auto _ : state) {
    click.m_col = column ^= 1;  // URL and status in turn, so every sort reorders
    td->GetEventHandler()->ProcessEvent(click);
  }
  state.counters["rows"] = td->SiteList()->GetItemCount();
}
BENCHMARK(BM_SortSites2000)->Unit(benchmark::kMillisecond);

void BM_FillFileList1000(benchmark::State& state) {
  TD* td = Dialog();
  FillTable(1);
  {
    auto site = SiteAt(0);
    std::lock_guard<std::mutex> hold(ListingLock);
    for (int i = 0; i < 1000; ++i) {
      ListingEntry e;
      std::snprintf(e.name, sizeof e.name, "file-%04d.%s", (i * 7919) % 1000,
                    i % 3 ? "zip" : "txt");
      std::snprintf(e.date, sizeof e.date, "Mar %d 2001", i % 28 + 1);
      e.isFolder = i % 10 == 0;
      e.size = e.isFolder ? 0 : i * 1013;
      site->listing.push_back(e);
    }
  }
  td->RefreshSiteList();
  td->SiteList()->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  for (auto _ : state) td->FillFileList();
  state.counters["rows"] = td->FileList()->GetItemCount();
}
BENCHMARK(BM_FillFileList1000)->Unit(benchmark::kMillisecond);
}  // namespace

#include "app/index_menu.h"

#include <wx/filedlg.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>

#include <mutex>
#include <string>

#include "app/index_hookup.h"
#include "core/site_table.h"
#include "index/export_rows.h"
#include "index/local_index.h"
#include "mainwin/find_pane.h"
#include "mainwin/main_dialog.h"
#include "ui/display_text.h"

namespace qb {

namespace {

void OpenFindPane(wxFrame* frame, TD* dialog) {
  LocalIndex* index = RunningIndex();
  std::string error =
      "No index is kept: it can be switched on in Settings, on the Index page, and counts from the "
      "next start.";
  std::unique_ptr<IndexDb> reader = index ? index->OpenReader(error) : nullptr;
  if (!reader) {
    wxMessageBox(ToDisplayText(error), "Find", wxOK | wxICON_INFORMATION, frame);
    return;
  }
  auto* pane = new FindPane(frame, std::move(reader), [dialog](const std::string& url) {
    return dialog->ShowSiteOfUrl(url);
  });
  pane->Show();
}

void ExportTable(wxFrame* frame) {
  wxFileDialog dialog(frame, "Export results", "", "results.csv",
                      "CSV (*.csv)|*.csv|Web page (*.html)|*.html",
                      wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (dialog.ShowModal() != wxID_OK) return;
  std::string error;
  if (!WriteExportFile(std::string(dialog.GetPath().utf8_str()), "Explored sites",
                       CurrentTableRows(), error)) {
    wxMessageBox(ToDisplayText(error), "Export", wxOK | wxICON_ERROR, frame);
  }
}

}  // namespace

void AddIndexCommands(wxFrame* frame, TD* dialog) {
  wxMenuBar* bar = frame->GetMenuBar();
  if (!bar || bar->GetMenuCount() == 0) return;
  wxMenu* file = bar->GetMenu(0);
  // Before the last item (leaving the program) when there is one.
  const std::size_t at = file->GetMenuItemCount() > 0 ? file->GetMenuItemCount() - 1 : 0;
  wxMenuItem* find = file->Insert(at, wxID_ANY, ToDisplayText("&Find in explored sites…\tCtrl+F"));
  wxMenuItem* save = file->Insert(at + 1, wxID_ANY, ToDisplayText("&Export results…"));
  file->InsertSeparator(at + 2);
  frame->Bind(
      wxEVT_MENU, [frame, dialog](wxCommandEvent&) { OpenFindPane(frame, dialog); }, find->GetId());
  frame->Bind(
      wxEVT_MENU, [frame](wxCommandEvent&) { ExportTable(frame); }, save->GetId());
}

void ShowLastResults(wxFrame* frame) {
  WhenLastResultsRead([frame](const StoredResults& read) {
    // A search or sites given meanwhile own the table.
    if (SiteTable.count != 0) return;
    for (std::size_t i = 0; i < read.last.sites.size(); ++i) {
      const IndexedSite& site = read.last.sites[i];
      std::string url = site.url;
      bool added = false;
      AddUniqueSite(url, added, false);
      if (!added) continue;
      const auto entry = SiteAt(SiteTable.count - 1);
      if (!entry) continue;
      entry->statusText.Set(site.statusText);
      entry->testedFile.Set(site.testedFile);
      {
        std::lock_guard<std::mutex> hold(ListingLock);
        entry->listing = read.listings[i];
      }
      // A final status: the scheduler leaves the site alone until asked to explore it again.
      entry->status = site.status == Ok || site.status == Refused ? site.status : Failed;
    }
    frame->SetTitle(
        frame->GetTitle() +
        ToDisplayText(" — Results from " + WhenText(read.last.exploredAt) + ", " + read.last.term));
  });
}

}  // namespace qb

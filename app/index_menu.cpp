#include "app/index_menu.h"

#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
  pane->SetActivate([dialog](const std::string& link, bool isFolder, int64_t size) {
    dialog->ActivateFound(link, isFolder, size);
  });
  pane->Show();
  pane->Raise();
}

void ExportTable(wxFrame* frame) {
  std::string path, error;
  bool keepPasswords = false;
  if (!AskExportFile(frame, "Export results", "results.csv", path, keepPasswords)) return;
  if (!ExportResults(path, keepPasswords, error))
    wxMessageBox(ToDisplayText(error), "Export", wxOK | wxICON_ERROR, frame);
}

}  // namespace

bool ExportResults(const std::string& path, bool keepPasswords, std::string& error) {
  std::unique_ptr<IndexDb> reader;
  if (LocalIndex* index = RunningIndex(); index && index->writer().Opened()) {
    // A site just done may still wait in the writer's queue.
    index->writer().Flush();
    std::string ignored;
    reader = index->OpenReader(ignored);
  }
  ExploredAtLookup exploredAt;
  if (reader) {
    exploredAt = [&reader](const std::string& url) -> int64_t {
      std::string ignored;
      const std::optional<IndexedSite> site = reader->Site(url, ignored);
      return site ? site->exploredAt : 0;
    };
  }
  return WriteExportFile(path, "Explored sites", CurrentTableRows(exploredAt), keepPasswords,
                         error);
}

void AddIndexCommands(wxFrame* frame, TD* dialog) {
  wxMenuBar* bar = frame->GetMenuBar();
  if (!bar || bar->GetMenuCount() == 0) return;
  wxMenu* search = bar->GetMenu(0);
  // Before the last item (leaving the program) when there is one.
  const std::size_t at = search->GetMenuItemCount() > 0 ? search->GetMenuItemCount() - 1 : 0;
  wxMenuItem* find =
      search->Insert(at, wxID_ANY, ToDisplayText("&Find in explored sites…\tCtrl+F"));
  wxMenuItem* save = search->Insert(at + 1, wxID_ANY, ToDisplayText("&Export results…"));
  search->InsertSeparator(at + 2);
  frame->Bind(
      wxEVT_MENU, [frame, dialog](wxCommandEvent&) { OpenFindPane(frame, dialog); }, find->GetId());
  frame->Bind(
      wxEVT_MENU, [frame](wxCommandEvent&) { ExportTable(frame); }, save->GetId());
}

void OfferUnfinishedCrawls(TD* dialog) {
  dialog->SetCrawls(RunningCrawls(), ListingReaderOf(RunningIndexLink()));
  dialog->SetFolderReader(FolderReaderOf(RunningIndexLink()));
  WhenUnfinishedCrawlsRead(
      [dialog](std::vector<std::string> urls) { dialog->OfferToResumeCrawls(std::move(urls)); });
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

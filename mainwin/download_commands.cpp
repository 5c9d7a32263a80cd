// The main dialog's downloads: the file list's entries fetched, opened when
// they have arrived, or handed to other programs; the transfers window.
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/frame.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <mutex>

#include "core/controls.h"
#include "core/download_folder.h"
#include "core/ftp_handler.h"
#include "core/launcher.h"
#include "core/settings.h"
#include "core/url_text.h"
#include "mainwin/handoff_text.h"
#include "mainwin/list_logic.h"
#include "mainwin/main_dialog.h"
#include "net/ftp_url.h"
#include "transfer/local_name.h"
#include "ui/clipboard.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {

// A URL handed over names a folder when it ends with '/', names no path, or
// its last segment has no extension: a server would not say which it is
// before a session, and a folder explored costs less than a folder fetched.
bool NamesFolder(const std::string& url) {
  FtpUrlParts parts;
  ParseFtpUrl(url.c_str(), parts);
  const std::string name = UrlFileName(parts.path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 || dot + 1 == name.size();
}

}  // namespace

void TD::SetTransfers(std::weak_ptr<TransferQueue> queue) { transfers_ = std::move(queue); }

std::shared_ptr<TransferQueue> TD::TransfersOrSayWhy() {
  std::shared_ptr<TransferQueue> queue = transfers_.lock();
  if (!queue) ShowMessage(this, "Downloads cannot run now.", "Download", MessageStyle::Information);
  return queue;
}

std::vector<TD::EntryTarget> TD::SelectedTargets() const {
  std::vector<EntryTarget> targets;
  const std::shared_ptr<SiteEntry> site = selectedSite == -1 ? nullptr : SiteAt(selectedSite);
  if (!site) return targets;
  const std::string siteUrl = site->url;
  const bool tls = site->tls != SiteTls::None;
  for (const ListingEntry* e : files_.SelectedEntries()) {
    EntryTarget t;
    t.serverName = ServerNameOf(*e);
    t.isFolder = e->isFolder != 0;
    t.size = t.isFolder ? -1 : e->size;
    t.tls = tls;
    t.link = EntryUrl(siteUrl, t.serverName, t.isFolder);
    t.url = JoinFileUrl(siteUrl, t.serverName) + (t.isFolder ? "/" : "");
    targets.push_back(std::move(t));
  }
  return targets;
}

void TD::Download(const std::vector<EntryTarget>& targets, const std::string& folder,
                  bool openWhenDone) {
  if (targets.empty()) return;
  const std::shared_ptr<TransferQueue> queue = TransfersOrSayWhy();
  if (!queue) return;
  // The desktop's download folder may not have been made yet.
  const wxString dir = ToDisplayText(folder);
  if (folder.empty() || (!wxDirExists(dir) && !wxFileName::Mkdir(dir, 0700, wxPATH_MKDIR_FULL))) {
    ShowMessage(this, ToDisplayText("Downloads cannot go to \"" + folder + "\": it is no folder."),
                "Download", MessageStyle::Exclamation);
    return;
  }
  for (const EntryTarget& t : targets) {
    if (t.isFolder) {
      queue->AddFolder(t.url, folder);
      continue;
    }
    const int64_t id = queue->Add(t.url, folder, t.size);
    if (openWhenDone && id != 0) openWhenDone_.push_back(id);
  }
  ShowTransfersWindow();
}

void TD::DownloadUrls(const std::vector<std::string>& urls) {
  std::vector<EntryTarget> targets;
  for (const std::string& url : urls) {
    EntryTarget t;
    t.url = url;
    targets.push_back(std::move(t));
  }
  Download(targets, DownloadFolder(), false);
}

void TD::ActivateFound(const std::string& link, bool isFolder, int64_t size) {
  const ReadUrl read = ReadSiteUrl(link);
  if (read.url.empty()) return;
  if (isFolder) {
    ShowFolder(read.url);
    return;
  }
  EntryTarget t;
  t.url = read.url;
  t.size = size;
  Download({t}, DownloadFolder(), Settings.OpenOnDoubleClick != 0);
}

void TD::TakeHandedUrls(const std::vector<std::string>& urls) {
  std::vector<std::string> files, folders;
  for (const std::string& url : urls) (NamesFolder(url) ? folders : files).push_back(url);
  if (!folders.empty()) ExploreGivenSites(folders);
  if (!files.empty()) DownloadUrls(files);
}

void TD::ShowTransfersWindow() {
  if (!transfersWindow_) transfersWindow_ = new TransfersWindow(GetParent(), transfers_);
  transfersWindow_->ShowTransfers();
  transfersWindow_->Show();
  transfersWindow_->Raise();
}

void TD::ShowFolder(const std::string& url) {
  if (!readFolder_) {
    AddShownFolder(url, std::nullopt);
    return;
  }
  readFolder_(url, [link = link_, url](std::optional<StoredFolder> stored) {
    link->Post([url, stored = std::move(stored)](wxWindow& window) mutable {
      if (auto* dialog = dynamic_cast<TD*>(&window)) dialog->AddShownFolder(url, std::move(stored));
    });
  });
}

void TD::AddShownFolder(std::string url, std::optional<StoredFolder> stored) {
  bool isNew = false;
  int slot = -1;
  AddUniqueSite(url, isNew, false, [&slot] {
    slot = SiteTable.count;
    return true;
  });
  if (isNew && stored) {
    const std::shared_ptr<SiteEntry> entry = SiteAt(slot);
    if (entry && url == entry->url) PublishStoredFolder(*entry, std::move(*stored));
  }
  RefreshSiteList();
  ShowSiteOfUrl(url);
}

void TD::OnFileActivated(wxListEvent& event) {
  // The row activated is the one acted on, whatever else is selected.
  files_.List()->SelectOnly({event.GetIndex()});
  const std::vector<EntryTarget> targets = SelectedTargets();
  if (targets.empty()) return;
  if (targets.front().isFolder) {
    ShowFolder(targets.front().url);
    return;
  }
  Download(targets, DownloadFolder(), Settings.OpenOnDoubleClick != 0);
}

void TD::OnFileKey(wxListEvent& event) {
  if (event.GetKeyCode() == 'C' && wxGetKeyState(WXK_CONTROL)) {
    wxCommandEvent copy;
    CmCopyFileUrl(copy);
    return;
  }
  event.Skip();
}

void TD::CmCopyFileUrl(wxCommandEvent&) {
  std::vector<std::string> links;
  for (const EntryTarget& t : SelectedTargets()) links.push_back(t.link);
  if (links.size() == 1)
    CopyToClipboard(links.front());
  else if (!links.empty())
    CopyToClipboard(UrlListText(links));
}

void TD::OnOpenButton(wxCommandEvent& event) {
  const std::vector<EntryTarget> targets = SelectedTargets();
  if (targets.empty()) {
    CmOpenUrl(event);
    return;
  }
  if (targets.size() == 1 && targets.front().isFolder) {
    ShowFolder(targets.front().url);
    return;
  }
  std::vector<EntryTarget> files;
  std::copy_if(targets.begin(), targets.end(), std::back_inserter(files),
               [](const EntryTarget& t) { return !t.isFolder; });
  Download(files, DownloadFolder(), true);
}

void TD::OnCopyButton(wxCommandEvent& event) {
  if (files_.SelectedEntries().empty()) {
    CmCopyUrl(event);
    return;
  }
  CmCopyFileUrl(event);
}

void TD::CmDownload(wxCommandEvent&) { Download(SelectedTargets(), DownloadFolder(), false); }

void TD::CmDownloadTo(wxCommandEvent&) {
  const std::vector<EntryTarget> targets = SelectedTargets();
  if (targets.empty()) return;
  wxDirDialog ask(this, "Download to", ToDisplayText(DownloadFolder()),
                  wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
  if (ask.ShowModal() != wxID_OK) return;
  Download(targets, ask.GetPath().ToStdString(wxConvUTF8), false);
}

void TD::CmCopyCurl(wxCommandEvent&) {
  std::string commands;
  for (const EntryTarget& t : SelectedTargets()) {
    if (!t.isFolder) commands += CurlCommand(t.link, t.serverName, t.tls) + "\n";
  }
  if (commands.empty()) return;
  commands.pop_back();
  CopyToClipboard(commands);
}

void TD::CmExportUrls(wxCommandEvent&) {
  std::vector<std::string> links;
  for (const EntryTarget& t : SelectedTargets()) {
    if (!t.isFolder) links.push_back(t.link);
  }
  if (links.empty()) return;
  wxFileDialog ask(this, "Export URL list", ToDisplayText(DownloadFolder()), "urls.txt",
                   "Text files (*.txt)|*.txt|All files|*", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (ask.ShowModal() != wxID_OK) return;
  const std::string path = ask.GetPath().ToStdString(wxConvUTF8);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << UrlListText(links);
  out.close();
  if (!out)
    ShowMessage(this, ToDisplayText("The URL list cannot be written to " + path + "."),
                "Export URL list", MessageStyle::Exclamation);
}

void TD::CmOpenInFileManager(wxCommandEvent&) {
  if (!IsOtherFtpHandler(ftpHandler_)) return;
  const std::vector<EntryTarget> targets = SelectedTargets();
  if (!targets.empty()) LaunchBrowser(targets.front().link);
}

void TD::CmShowTransfers(wxCommandEvent&) { ShowTransfersWindow(); }

void TD::EnableWithFiles(wxUpdateUIEvent& event) {
  event.Enable(!files_.SelectedEntries().empty() && !transfers_.expired());
}

void TD::EnableFileManager(wxUpdateUIEvent& event) {
  event.Enable(!files_.SelectedEntries().empty() && IsOtherFtpHandler(ftpHandler_));
}

void TD::FollowTransfers() {
  if (openWhenDone_.empty()) return;
  const std::shared_ptr<TransferQueue> queue = transfers_.lock();
  if (!queue) return;
  std::vector<int64_t> waiting;
  for (const Transfer& t : queue->Snapshot()) {
    if (std::find(openWhenDone_.begin(), openWhenDone_.end(), t.id) == openWhenDone_.end())
      continue;
    if (t.state == TransferState::Done)
      LaunchDocument(t.path);
    else if (t.state != TransferState::Failed)
      waiting.push_back(t.id);
  }
  // Those cancelled are gone from the queue, and from here with them.
  openWhenDone_ = std::move(waiting);
}

}  // namespace qb

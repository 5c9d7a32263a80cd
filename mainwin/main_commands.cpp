// The main dialog's commands, from its menus, buttons and context menus.
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string_view>
#include <utility>

#include <wx/toplevel.h>

#include "core/controls.h"
#include "core/given_sites.h"
#include "core/launcher.h"
#include "core/program_folders.h"
#include "core/settings.h"
#include "core/text_helpers.h"
#include "core/trusted_certificates.h"
#include "core/url_text.h"
#include "explore/exploration_scheduler.h"
#include "mainwin/list_logic.h"
#include "mainwin/main_dialog.h"
#include "net/ftp_url.h"
#include "net/name_charset.h"
#include "resources/resource_module.h"
#include "search/search_run.h"
#include "ui/avi_player.h"
#include "ui/clipboard.h"
#include "ui/display_text.h"
#include "ui/help_window.h"
#include "ui/message_box.h"

namespace qb {

namespace {
constexpr std::size_t QuestionChars = 179;

// The host and port a session of the site meets the trust store with.
std::string CertificateHostOf(const char* url) {
  FtpUrlParts parts;
  ParseFtpUrl(url, parts);
  return CertificateHost(parts.host, parts.port);
}

bool MayTrust(const SiteEntry& site) {
  const std::string certificate = site.certificate.Get();
  return !certificate.empty() && site.tls != SiteTls::Verified &&
         !IsTrustedCertificate(CertificateHostOf(site.url), certificate);
}

// The charset a charset item stands for: empty for Detect; false past the list.
bool CharsetOfItem(int id, std::string& charset) {
  const std::vector<Charset>& charsets = SiteCharsets();
  const int index = id - IdCharsetFirst;
  if (index < 0 || index > static_cast<int>(charsets.size())) return false;
  charset = index == 0 ? "" : charsets[static_cast<std::size_t>(index - 1)].iconvName;
  return true;
}

// Entries that keep the server's bytes take their names from them again, as a
// session reading the site in charset would have; the caller holds ListingLock.
bool ReadNamesAgain(std::vector<ListingEntry>& listing, const std::string& charset) {
  bool any = false;
  for (ListingEntry& entry : listing) {
    if (entry.serverName.empty()) continue;
    // A byte no UTF-8 text holds, so that the conversion takes the entry and
    // reads it from serverName.
    entry.name[0] = '\xFF';
    entry.name[1] = '\0';
    any = true;
  }
  if (any) ConvertNames(listing, charset);
  return any;
}
}  // namespace

void TD::CmShowAll(wxCommandEvent&) {
  showAll = !showAll;
  sites_.Empty();
  ForgetSelectedSite();
  RefreshSiteList();
}

void TD::CmHideSites(wxCommandEvent&) {
  for (int index : sites_.SelectedSites()) {
    if (auto site = SiteAt(index)) site->dropped = true;
  }
  ForgetSelectedSite();
  RefreshSiteList();
}

// The file list and details show the selected site only: with no selection they
// show nothing.
void TD::ForgetSelectedSite() {
  selectedSite = -1;
  RefreshDetails();
  FillFileList();
}

void TD::CmReexplore(wxCommandEvent&) {
  for (int index : sites_.SelectedSites()) {
    std::shared_ptr<SiteEntry> site = SiteAt(index);
    // Only finished sites go back: a site whose worker still runs is left to it
    // (its result would overwrite the fresh state), and a waiting one may be
    // taken by the scheduler at any moment, so its status is never written here.
    if (!site) continue;
    int32_t finished = site->status;
    if (finished == Exploring || finished == Waiting) continue;
    // The listing stays shown until a new one replaces it: an attempt that
    // never gets as far as listing leaves it as it was.
    site->statusText.Clear();
    site->status.compare_exchange_strong(finished, Waiting);
  }
  RefreshSiteList();
}

void TD::CmCopySiteUrl(wxCommandEvent&) {
  const std::vector<int> chosen = sites_.SelectedSites();
  if (chosen.empty()) return;
  if (auto site = SiteAt(chosen.front())) CopyToClipboard(EscapeUrl(site->url));
}

void TD::CmExploreFolder(wxCommandEvent&) {
  const std::vector<EntryTarget> targets = SelectedTargets();
  if (targets.empty()) return;
  std::string url = targets.front().url;
  bool added = false;
  AddUniqueSite(url, added, false);
}

// The field shows the selected site's URL decoded, or what the user typed there:
// an ftp:// address in either form, or any other text, handed on as it is.
std::string TD::FieldLink() const {
  const wxString text = details_.Url();
  const std::shared_ptr<SiteEntry> site = selectedSite == -1 ? nullptr : SiteAt(selectedSite);
  if (site && text == ToDisplayText(site->url)) return EscapeUrl(site->url);
  const std::string typed = text.ToStdString(wxConvUTF8);
  if (EqualNoCase(std::string_view(typed).substr(0, 6), "ftp://")) {
    const ReadUrl read = ReadSiteUrl(typed);
    if (!read.url.empty()) return EscapeUrl(read.url);
  }
  return typed;
}

void TD::EnableTrust(wxUpdateUIEvent& event) {
  const std::shared_ptr<SiteEntry> site = selectedSite == -1 ? nullptr : SiteAt(selectedSite);
  event.Enable(site && MayTrust(*site));
}

void TD::CmTrustCertificate(wxCommandEvent&) {
  const std::shared_ptr<SiteEntry> site = selectedSite == -1 ? nullptr : SiteAt(selectedSite);
  if (!site || !MayTrust(*site)) return;
  const std::string host = CertificateHostOf(site->url);
  const std::string certificate = site->certificate.Get();
  std::string shownHost, shownCertificate;
  // Both come from the server: one that cannot be kept is said so, not asked about.
  if (!NormalizeCertificateHost(host, shownHost) ||
      !NormalizeFingerprint(certificate, shownCertificate)) {
    ShowMessage(this, "The server's name or its certificate's fingerprint cannot be kept.",
                "Quillbrook", MessageStyle::Exclamation);
    return;
  }
  const std::string question =
      "Trust the certificate of " + shownHost + "?\n\nSHA-256 " + shownCertificate +
      "\n\nNo authority vouches for it: compare it with the fingerprint the site's owner "
      "gives. Sessions with this server then take it as verified.";
  if (!ShowMessage(this, ToDisplayText(question), "Quillbrook", MessageStyle::Question)) return;
  if (!TrustCertificate(host, certificate)) {
    ShowMessage(
        this,
        ToDisplayText("The certificate could not be written to " + TrustedCertificatesPath() + "."),
        "Quillbrook", MessageStyle::Error);
  }
}

void TD::CheckCharset(wxUpdateUIEvent& event) {
  const std::shared_ptr<SiteEntry> site = selectedSite == -1 ? nullptr : SiteAt(selectedSite);
  std::string charset;
  event.Enable(site != nullptr);
  if (site && CharsetOfItem(event.GetId(), charset) && site->charset.Get() == charset)
    event.Check(true);
}

void TD::CmCharset(wxCommandEvent& event) {
  const std::shared_ptr<SiteEntry> site = selectedSite == -1 ? nullptr : SiteAt(selectedSite);
  std::string charset;
  if (!site || !CharsetOfItem(event.GetId(), charset) || site->charset.Get() == charset) return;
  site->charset.Set(charset);
  bool renamed = false;
  {
    std::lock_guard<std::mutex> hold(ListingLock);
    renamed = ReadNamesAgain(site->listing, charset);
  }
  if (renamed) FillFileList();
}

void TD::CmOpenUrl(wxCommandEvent&) { LaunchBrowser(FieldLink()); }

void TD::CmCopyUrl(wxCommandEvent&) { CopyToClipboard(FieldLink()); }

void TD::CmHelp(wxCommandEvent&) { HelpWindow::Show(this, SharedPath("ZevO.chm")); }

void TD::CmAbout(wxCommandEvent&) {
  if (actions_.showAbout) actions_.showAbout(this);
}

void TD::CmSettings(wxCommandEvent&) {
  if (actions_.showSettings) actions_.showSettings(this);
}

void TD::CmExit(wxCommandEvent&) {
  // As closing it does: crawls are stopped and the index written before the end.
  if (wxWindow* top = wxGetTopLevelParent(this)) {
    top->Close(true);
    return;
  }
  std::fflush(nullptr);
  _exit(0);
}

void TD::CmPause(wxCommandEvent&) {
  const bool paused = !ExplorationPaused;
  ExplorationPaused = paused;
  if (paused) {
    ExplorationLimit = Settings.MinConnect.load();
    if (animation) animation->Stop();
  } else if (animation) {
    animation->Play();
  }
  ShowPauseCaption();
}

void TD::ShowPauseCaption() {
  wxWindow* button = FindWindow(IdPause);
  const wxString caption = ExplorationPaused ? "Continue" : "Pause";
  if (button && button->GetLabel() != caption) button->SetLabel(caption);
}

void TD::ExploreGivenSites(const std::vector<std::string>& urls) {
  if (AddGivenSites(urls) == 0) return;
  showAll = false;
  // A running exploration takes the new sites at its next tick.
  if (LiveSchedulers() == 0) {
    ClearRunDisplay();
    StartExplorationScheduler();
  }
  ShowPauseCaption();
  RefreshSiteList();
}

void TD::CmNewSearch(wxCommandEvent&) {
  const bool startup = std::exchange(startupSearch_, false);
  const std::string lastTerm = GetLastTerm();
  if (!lastTerm.empty()) {
    const wxString question = ResourceModule::String(101).Left(QuestionChars) +
                              wxString::Format("\"%s\" ?", ToDisplayText(lastTerm));
    if (!ShowMessage(this, question, "ZEVO", MessageStyle::Question)) return;
    ClearLastTerm();
  }
  if (!startup) {
    sites_.Empty();
    EmptyFileList();
    ResetSortState();
    ResetSites();
  }
  if (!actions_.runSearch || !actions_.runSearch(this)) return;
  showAll = false;
  ClearRunDisplay();
  TitleFollowsTerm(GetLastTerm());
  if (SiteTable.count > 0) StartExplorationScheduler();
  ShowPauseCaption();
}

void TD::TitleFollowsTerm(const std::string& term) {
  auto* frame = dynamic_cast<wxTopLevelWindow*>(GetParent());
  if (!frame) return;
  // What follows the dash named the results shown before this search.
  wxString title = frame->GetTitle();
  if (const int dash = title.Find(wxString::FromUTF8(" \u2014 ")); dash != wxNOT_FOUND)
    title.Truncate(static_cast<std::size_t>(dash));
  if (!term.empty()) title += wxString::FromUTF8(" \u2014 ") + ToDisplayText(term);
  frame->SetTitle(title);
}

}  // namespace qb

// The main dialog's crawls: started from the site menus, Add sites and an
// earlier run's leftovers, followed in the site rows and the crawl window.
#include <mutex>
#include <utility>

#include "core/password_text.h"
#include "mainwin/main_dialog.h"
#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {
// How long the question waits for the frame to reach the screen.
constexpr std::chrono::seconds FrameShowBound{3};
// Sites the question names; the others are counted.
constexpr std::size_t NamedSites = 8;

bool Crawlable(const SiteEntry& site) { return !site.dropped && site.status != Exploring; }
}  // namespace

void TD::SetCrawls(std::weak_ptr<CrawlRuns> runs, ListingReader readListing) {
  crawls_ = std::move(runs);
  readListing_ = std::move(readListing);
}

std::shared_ptr<CrawlRuns> TD::CrawlsOrSayWhy() {
  std::shared_ptr<CrawlRuns> runs = crawls_.lock();
  if (!runs)
    ShowMessage(this,
                "Crawls are kept in the local index, and no index is kept: it can be switched on "
                "in Settings, on the Index page, and counts from the next start.",
                "Crawl", MessageStyle::Information);
  return runs;
}

int TD::RunningCrawls() const {
  const std::shared_ptr<CrawlRuns> runs = crawls_.lock();
  return runs ? runs->Running() : 0;
}

void TD::StartCrawls(const std::vector<std::string>& urls) {
  if (urls.empty()) return;
  const std::shared_ptr<CrawlRuns> runs = CrawlsOrSayWhy();
  if (!runs) return;
  const CrawlLimits limits = CrawlLimitsFromSettings();
  for (const std::string& url : urls) {
    std::shared_ptr<SiteEntry> site = FindSiteOfUrl(url);
    if (!site) {
      std::string added = url;
      bool isNew = false;
      AddUniqueSite(added, isNew, false);
      site = FindSiteOfUrl(added);
    }
    // A full table still lets the crawl run; only its window shows it.
    if (site)
      crawlRows_.Start(*runs, site, limits);
    else
      runs->Start(url, limits);
  }
  RefreshSiteList();
  ShowCrawlWindow();
}

void TD::ShowCrawlWindow() {
  if (!crawlWindow_) crawlWindow_ = new CrawlWindow(GetParent(), crawls_);
  crawlWindow_->ShowRuns();
  crawlWindow_->Show();
  crawlWindow_->Raise();
}

void TD::FollowCrawls() {
  for (const std::shared_ptr<SiteEntry>& site : crawlRows_.Follow()) {
    if (!readListing_) continue;
    readListing_(site->url, [link = link_, kept = std::weak_ptr<SiteEntry>(site)](
                                std::vector<ListingEntry> entries) {
      const std::shared_ptr<SiteEntry> entry = kept.lock();
      if (!entry) return;
      {
        std::lock_guard<std::mutex> hold(ListingLock);
        entry->listing = std::move(entries);
      }
      link->Post([entry](wxWindow& window) {
        auto* dialog = dynamic_cast<TD*>(&window);
        if (!dialog || dialog->selectedSite == -1 || SiteAt(dialog->selectedSite) != entry) return;
        dialog->RefreshDetails();
        dialog->FillFileList();
      });
    });
  }
  ShowProgressText();
}

void TD::CmCrawlSite(wxCommandEvent&) {
  std::vector<std::string> urls;
  for (int index : sites_.SelectedSites())
    if (const std::shared_ptr<SiteEntry> site = SiteAt(index); site && Crawlable(*site))
      urls.push_back(site->url);
  StartCrawls(urls);
}

void TD::CmCrawlAllOk(wxCommandEvent&) {
  std::vector<std::string> urls;
  {
    std::lock_guard<std::mutex> hold(SiteTableLock);
    for (int i = 0; i < SiteTable.count; ++i) {
      const std::shared_ptr<SiteEntry>& site = SiteTable.slots[i];
      if (site && !site->dropped && site->status == Ok) urls.push_back(site->url);
    }
  }
  StartCrawls(urls);
}

void TD::CmShowCrawls(wxCommandEvent&) {
  if (CrawlsOrSayWhy()) ShowCrawlWindow();
}

void TD::EnableCrawlSite(wxUpdateUIEvent& event) {
  bool any = false;
  for (int index : sites_.SelectedSites()) {
    const std::shared_ptr<SiteEntry> site = SiteAt(index);
    if (site && Crawlable(*site)) {
      any = true;
      break;
    }
  }
  event.Enable(any);
}

void TD::EnableCrawlAllOk(wxUpdateUIEvent& event) {
  bool any = false;
  {
    std::lock_guard<std::mutex> hold(SiteTableLock);
    for (int i = 0; i < SiteTable.count && !any; ++i) {
      const std::shared_ptr<SiteEntry>& site = SiteTable.slots[i];
      any = site && !site->dropped && site->status == Ok;
    }
  }
  event.Enable(any);
}

void TD::OfferToResumeCrawls(std::vector<std::string> urls) {
  if (urls.empty()) return;
  AskToResumeCrawls(std::move(urls), std::chrono::steady_clock::now() + FrameShowBound);
}

void TD::AskToResumeCrawls(std::vector<std::string> urls,
                           std::chrono::steady_clock::time_point until) {
  // As the first activities do: a box shown before its owner can end up below it.
  wxWindow* frame = GetParent();
  if (frame && frame->IsShown() && !frame->IsShownOnScreen() &&
      std::chrono::steady_clock::now() < until) {
    CallAfter([this, urls = std::move(urls), until]() mutable {
      AskToResumeCrawls(std::move(urls), until);
    });
    return;
  }
  const std::size_t n = urls.size();
  std::string text = std::to_string(n) + (n == 1 ? " crawl did not finish. Go on with it now?"
                                                 : " crawls did not finish. Go on with them now?");
  text += "\n";
  for (std::size_t i = 0; i < n && i < NamedSites; ++i) text += "\n" + HidePassword(urls[i]);
  if (n > NamedSites) text += "\n... and " + std::to_string(n - NamedSites) + " more";
  text += n == 1 ? "\n\nOtherwise it waits for the next start."
                 : "\n\nOtherwise they wait for the next start.";
  if (ShowMessage(this, ToDisplayText(text), "Crawls", MessageStyle::Question)) StartCrawls(urls);
}

}  // namespace qb

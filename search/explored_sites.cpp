#include "search/explored_sites.h"

#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "core/program_folders.h"
#include "core/settings.h"
#include "core/site_table.h"
#include "index/local_index.h"
#include "search/search_view.h"

namespace qb {

std::atomic<bool> ExploredSitesEnabled{true};

namespace {

std::mutex sourceLock;
IndexReaderSource customSource;

std::unique_ptr<IndexDb> OpenProgramIndex(std::string& error) {
  const std::string folder = UserDataFolder();
  if (Settings.KeepIndex == 0 || folder.empty()) {
    error = "No index is kept.";
    return nullptr;
  }
  IndexDb::Options options;
  options.readOnly = true;
  return IndexDb::Open(folder + IndexFileName, error, options);
}

struct HitFolder {
  std::string siteUrl;
  std::string folder;        // as shown
  std::string serverFolder;  // the server's bytes, when they differ
  int32_t status = Waiting;
  std::string statusText;
};

std::string Joined(const std::string& siteUrl, const std::string& folder) {
  std::string url = siteUrl;
  if (!url.empty() && url.back() != '/') url += '/';
  return url + folder;
}

// A stored site was explored once: whatever it ended with, it is not waiting.
int32_t FinalStatus(int32_t stored) { return stored == Ok || stored == Refused ? stored : Failed; }

}  // namespace

void SetIndexReaderSource(IndexReaderSource source) {
  std::lock_guard<std::mutex> hold(sourceLock);
  customSource = std::move(source);
}

std::unique_ptr<IndexDb> OpenIndexReader(std::string& error) {
  IndexReaderSource source;
  {
    std::lock_guard<std::mutex> hold(sourceLock);
    source = customSource;
  }
  return source ? source(error) : OpenProgramIndex(error);
}

bool IndexHoldsNames(IndexDb& reader) {
  std::string error;
  return !reader.Find(FindQuery{}, 0, 1, error).empty();
}

std::string ExploredSitesText(const std::string& term) {
  const std::size_t begin = term.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  std::string text = term.substr(begin, term.find_last_not_of(' ') - begin + 1);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    text = text.substr(1, text.size() - 2);
  return text;
}

std::optional<StoredFolder> StoredFolderAt(IndexDb& reader, const std::string& url) {
  const std::size_t scheme = url.find("://");
  const std::size_t root = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (scheme == std::string::npos || root == std::string::npos || url.back() != '/') return {};
  // The nearest site at or above the folder whose index holds it: each '/'
  // from the end closes a candidate, and the URL's size bounds their number.
  for (std::size_t end = url.size(); end > root;) {
    const std::string siteUrl = url.substr(0, end);
    const std::string folder = url.substr(end);
    std::string error;
    if (const std::optional<IndexedSite> site = reader.Site(siteUrl, error)) {
      std::vector<ListingEntry> listing = reader.EntriesOf(siteUrl, error, folder, true);
      if (!listing.empty() && error.empty())
        return StoredFolder{FinalStatus(site->status), site->statusText,
                            folder.empty() ? site->testedFile : std::string(), std::move(listing)};
    }
    end = url.rfind('/', end - 2) + 1;
  }
  return {};
}

void PublishStoredFolder(SiteEntry& entry, StoredFolder folder) {
  entry.statusText.Set(folder.statusText);
  entry.testedFile.Set(folder.testedFile);
  {
    std::lock_guard<std::mutex> hold(ListingLock);
    entry.listing = std::move(folder.listing);
  }
  // Published as waiting: a scheduler that took it meanwhile explores it anew.
  int32_t waiting = Waiting;
  entry.status.compare_exchange_strong(waiting, folder.status);
}

void AskExploredSites(const std::string& term, uint64_t session, int maxFolders) {
  const EngineControls& c = ExploredSitesControls;
  const auto ToDialog = [session](auto&& action) {
    if (std::shared_ptr<SearchView> view = GetSearchDialog(session)) action(*view);
  };
  const auto live = [session] { return SearchRunning && SearchSessionIs(session); };
  const auto end = [&](int mark, const std::string& why) {
    ToDialog([&](SearchView& v) { v.ExplainMark(mark, why); });
    ToDialog([&](SearchView& v) { v.ShowMark(mark); });
  };

  std::string error;
  const std::unique_ptr<IndexDb> reader = OpenIndexReader(error);
  if (!reader) {
    end(c.failMark, error);
    return;
  }
  FindQuery query;
  query.text = ExploredSitesText(term);
  std::vector<HitFolder> folders;
  std::set<std::pair<std::string, std::string>> known;
  int names = 0;
  bool cut = false;
  reader->Scan(
      query, 0, ExploredNamesMax,
      [&](const FoundEntry& hit) {
        if (!live()) return false;
        if (known.insert({hit.siteUrl, hit.folder}).second) {
          if (static_cast<int>(folders.size()) >= maxFolders) {
            cut = true;
            return false;
          }
          folders.push_back(
              {hit.siteUrl, hit.folder, hit.serverFolder, hit.siteStatus, hit.siteStatusText});
        }
        ++names;
        return true;
      },
      error);
  cut = cut || names >= ExploredNamesMax;
  ToDialog([&](SearchView& v) { v.SetNumber(c.resultsCounter, names); });

  int added = 0;
  bool full = false, late = false;
  const auto deadline = std::chrono::steady_clock::now() + ExploredListingTime;
  for (const HitFolder& f : folders) {
    if (!live()) break;
    if (SiteTable.count >= SiteCapacity) {
      full = true;
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      late = true;
      break;
    }
    // Sessions send the path as it stands: the server's own bytes.
    std::string url = Joined(f.siteUrl, f.serverFolder.empty() ? f.folder : f.serverFolder);
    if (url.empty() || url.back() != '/') url += '/';
    // The table would cut a longer one into the URL of another folder.
    if (url.size() >= SiteUrlSize) continue;
    std::string listingError;
    StoredFolder stored{FinalStatus(f.status),
                        f.statusText,
                        {},
                        reader->EntriesOf(f.siteUrl, listingError, f.folder)};
    if (f.folder.empty()) {
      if (const auto site = reader->Site(f.siteUrl, listingError))
        stored.testedFile = site->testedFile;
    }
    int slot = -1;
    bool isNew = false;
    AddUniqueSite(url, isNew, false, [&] {
      slot = SiteTable.count;
      return live();
    });
    if (!isNew) continue;
    const std::shared_ptr<SiteEntry> entry = SiteAt(slot);
    if (!entry || url != entry->url) continue;  // the table was emptied meanwhile
    PublishStoredFolder(*entry, std::move(stored));
    ++added;
    const std::string shown = Joined(f.siteUrl, f.folder);
    ToDialog([&](SearchView& v) { v.AddFound(c.foundList, shown); });
    ToDialog([&](SearchView& v) { v.SetNumber(c.newSitesCounter, added); });
    ToDialog([&](SearchView& v) { v.SetNumber(SiteCountField, SiteTable.count); });
  }
  ToDialog([&](SearchView& v) { v.SetNumber(c.newSitesCounter, added); });
  if (!error.empty()) {
    end(c.failMark, error);
  } else if (full) {
    end(c.doneMark, "The site table is full: the other folders were left out.");
  } else if (late) {
    end(c.doneMark, "Only " + std::to_string(added) +
                        " folders were taken: reading the listings of the others took too long.");
  } else if (cut) {
    end(c.doneMark, "Only the first " + std::to_string(folders.size()) +
                        " folders holding the term were taken.");
  } else {
    end(c.doneMark, "");
  }
}

}  // namespace qb

#include "cli/engine_search.h"

#include <algorithm>
#include <map>
#include <string_view>

#include "core/site_table.h"
#include "core/text_helpers.h"
#include "search/engine_pages.h"
#include "search/search_run.h"

namespace qb {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::vector<std::string> Words(const std::string& term) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while ((at = term.find_first_not_of(" \t", at)) != std::string::npos) {
    const std::size_t end = std::min(term.find_first_of(" \t", at), term.size());
    words.push_back(Lower(term.substr(at, end - at)));
    at = end;
  }
  return words;
}

}  // namespace

EngineChoice ChooseEngines(const std::vector<EngineDef>& known,
                           const std::vector<std::string>& names) {
  EngineChoice choice;
  if (names.empty()) {
    for (const EngineDef& e : known)
      if (e.enabled) choice.engines.push_back(e);
    return choice;
  }
  for (const std::string& name : names) {
    const EngineDef* match = nullptr;
    for (const EngineDef& e : known)
      if (EqualNoCase(e.name, name)) match = &e;
    if (!match) {
      choice.unknown = name;
      return choice;
    }
    choice.engines.push_back(*match);
  }
  return choice;
}

int SearchEngines(const std::string& term, const std::vector<EngineDef>& engines, int maxPages,
                  const std::function<void(const std::string&)>& problem,
                  const std::function<bool(const std::string&)>& skip, const KeyLookup& keys) {
  const std::string prepared = PrepareQuery(term);
  int newSites = 0;
  for (const EngineDef& engine : engines) {
    EnginePageHooks hooks;
    hooks.keys = keys;
    hooks.found = [&](std::string& site) {
      if (skip && skip(site)) return;
      bool added = false;
      AddUniqueSite(site, added, true);
      if (added) ++newSites;
    };
    const EnginePagesEnd end = AskEnginePages(engine, prepared, maxPages, hooks);
    if (end.failed) problem(engine.name + ": " + end.why);
  }
  return newSites;
}

bool IsIndexEngine(const std::string& name) { return EqualNoCase(name, IndexEngineName); }

StoredSites IndexSites(IndexDb& db, const std::string& term, int64_t maxHits, std::string& error) {
  StoredSites found;
  const std::vector<std::string> words = Words(term);
  if (words.empty()) return found;
  // The index finds by one text: the longest word narrows most, the others
  // are checked here.
  FindQuery query;
  query.text = *std::max_element(words.begin(), words.end(),
                                 [](const auto& a, const auto& b) { return a.size() < b.size(); });
  std::map<std::string, std::size_t> folders;  // site URL and folder: index in found.sites
  std::vector<std::size_t> ownFolders;         // the sites' own folders among them
  int64_t read = 0;
  db.Scan(
      query, 0, -1,
      [&](const FoundEntry& hit) {
        if (read++ == maxHits) {
          found.truncated = true;
          return false;
        }
        const std::string name = Lower(hit.name);
        for (const std::string& word : words)
          if (name.find(word) == std::string::npos) return true;
        const std::string& path = hit.serverFolder.empty() ? hit.folder : hit.serverFolder;
        std::string url = hit.siteUrl;
        if (!url.empty() && url.back() != '/') url += '/';
        url += path;
        auto [at, added] = folders.try_emplace(url, found.sites.size());
        if (added) {
          SiteRecord site;
          site.url = url;
          site.status = hit.siteStatus;
          site.statusText = hit.siteStatusText;
          if (path.empty()) ownFolders.push_back(found.sites.size());
          found.sites.push_back(std::move(site));
        }
        found.sites[at->second].entries.push_back({hit.name, hit.size, hit.date, hit.isFolder});
        return true;
      },
      error);
  // The file a site's exploration tried belongs to the site's own folder.
  for (const std::size_t i : ownFolders) {
    std::string ignored;
    if (const std::optional<IndexedSite> stored = db.Site(found.sites[i].url, ignored))
      found.sites[i].testedFile = stored->testedFile;
  }
  return found;
}

}  // namespace qb

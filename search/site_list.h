#pragma once
// Site lists: a published page of mirrors (an XML list, a plain text file, an
// HTML page) whose ftp:// URLs are the sites to explore, whatever the term.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "search/engine_def.h"

namespace qb {

// Sites taken from one list at most: a list is a few hundred mirrors, and a
// page that names more is not one.
inline constexpr std::size_t MaxListSites = 5000;

class SiteListSites {
 public:
  std::vector<std::string> sites;  // kept form, folders ending in '/', in page order
  bool truncated = false;          // the page named more than MaxListSites

  // Takes a result URL as a page scan gives it, unless it is there already
  // (case ignored) or MaxListSites are.
  void Add(std::string url);

 private:
  std::unordered_set<std::string> seen_;
};

// The sites a fetched list names: its ftp:// URLs cut back to their folders as
// search results are, each once (case ignored); other schemes are not sites.
SiteListSites ReadSiteList(std::string_view page);

// The mirror lists known without a definitions file: the public ones, then
// those the loopback testbed serves (their host is named by its [Hosts] lines).
const std::vector<EngineDef>& BuiltinSiteLists();

// The site lists a user can pick: the Kind=SiteList definitions among
// fileEngines, then the built-in ones whose names those do not take.
std::vector<EngineDef> KnownSiteLists(const std::vector<EngineDef>& fileEngines);
// The one of those named name (case ignored), or none.
std::optional<EngineDef> FindSiteList(const std::string& name,
                                      const std::vector<EngineDef>& fileEngines);

// One list's sites, fetched now (blocking: never on the UI thread); problem
// says why none or not all came, the key never in it.
struct FetchedSiteList {
  SiteListSites sites;
  std::string problem;
};
FetchedSiteList FetchSiteList(const EngineDef& list, const KeyLookup& keys,
                              const std::function<bool()>& goOn = {});

}  // namespace qb

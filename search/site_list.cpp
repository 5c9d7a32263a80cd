#include "search/site_list.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "core/text_helpers.h"
#include "search/engine.h"
#include "search/engine_pages.h"

namespace qb {

void SiteListSites::Add(std::string url) {
  if (truncated || url.empty()) return;
  if (url.back() != '/') url += '/';
  std::string lower = url;
  for (char& c : lower) c = AsciiLower(c);
  if (!seen_.insert(std::move(lower)).second) return;
  if (sites.size() >= MaxListSites) {
    truncated = true;
    return;
  }
  sites.push_back(std::move(url));
}

SiteListSites ReadSiteList(std::string_view page) {
  SiteListSites read;
  // The generic rule is the one search results go through for any page.
  static const EngineDef generic = [] {
    EngineDef e;
    e.rule = ResultRule::Generic;
    return e;
  }();
  std::string text(page);
  ScanEnginePage(generic, text.data(), [&read](std::string& url) { read.Add(url); });
  return read;
}

namespace {

EngineDef SiteList(const char* name, const char* host, const char* url) {
  EngineDef e;
  e.name = name;
  e.kind = EngineKind::SiteList;
  e.host = host;
  e.url = url;
  e.pageLimit = 1;  // a list is one page
  e.rule = ResultRule::Generic;
  return e;
}

std::vector<EngineDef> MakeSiteLists() {
  // The testbed's copies stay unreachable until its [Hosts] lines name it.
  constexpr const char* Testbed = "sitelists.testbed.invalid";
  return {
      SiteList("GentooMirrors", "api.gentoo.org", "https://{host}/mirrors/distfiles.xml"),
      SiteList("SlackwareMirrors", "mirrors.slackware.com",
               "https://{host}/slackware/slackware64-current/source/ap/slackpkg/files/"
               "mirrors-x86_64.sample"),
      SiteList("GnuMirrors", "www.gnu.org", "https://{host}/prep/ftp.html"),
      SiteList("CtanMirrors", "ctan.org", "https://{host}/mirrors/"),
      SiteList("TestbedGentooMirrors", Testbed, "http://{host}/mirrors/gentoo/distfiles.xml"),
      SiteList("TestbedSlackwareMirrors", Testbed, "http://{host}/mirrors/slackware/mirrors"),
      SiteList("TestbedGnuMirrors", Testbed, "http://{host}/mirrors/gnu/ftp.html"),
      SiteList("TestbedCtanMirrors", Testbed, "http://{host}/mirrors/ctan/mirrors.html"),
  };
}

}  // namespace

const std::vector<EngineDef>& BuiltinSiteLists() {
  static const std::vector<EngineDef> lists = MakeSiteLists();
  return lists;
}

std::vector<EngineDef> KnownSiteLists(const std::vector<EngineDef>& fileEngines) {
  std::vector<EngineDef> lists;
  for (const EngineDef& e : fileEngines)
    if (e.kind == EngineKind::SiteList) lists.push_back(e);
  for (const EngineDef& builtin : BuiltinSiteLists()) {
    const bool taken = std::any_of(lists.begin(), lists.end(), [&](const EngineDef& e) {
      return EqualNoCase(e.name, builtin.name);
    });
    if (!taken) lists.push_back(builtin);
  }
  return lists;
}

std::optional<EngineDef> FindSiteList(const std::string& name,
                                      const std::vector<EngineDef>& fileEngines) {
  for (EngineDef& list : KnownSiteLists(fileEngines))
    if (EqualNoCase(list.name, name)) return std::move(list);
  return std::nullopt;
}

FetchedSiteList FetchSiteList(const EngineDef& list, const KeyLookup& keys,
                              const std::function<bool()>& goOn) {
  FetchedSiteList fetched;
  // Looked up once, for the check and the asking alike.
  std::optional<std::string> key = keys && EngineNeedsKey(list) ? keys(list.name) : std::nullopt;
  const KeyLookup once = [&key](const std::string&) { return key; };
  if (const std::string why = EngineCannotAnswer(list, once); !why.empty()) {
    fetched.problem = list.name + ": " + why;
    return fetched;
  }
  EnginePageHooks hooks;
  hooks.keys = once;
  hooks.goOn = goOn;
  hooks.found = [&fetched](std::string& site) { fetched.sites.Add(site); };
  // A list is one page; one more would be another list.
  const EnginePagesEnd end = AskEnginePages(list, "", 1, hooks);
  if (end.failed)
    fetched.problem = list.name + ": " + end.why;
  else if (fetched.sites.truncated)
    fetched.problem =
        list.name + ": only the first " + std::to_string(MaxListSites) + " sites are taken";
  return fetched;
}

}  // namespace qb

#include "search/engine.h"

#include <cstring>
#include <mutex>

#include "core/site_table.h"
#include "core/text_helpers.h"
#include "search/engine_keys.h"
#include "search/engine_pages.h"
#include "search/generic_rule.h"
#include "search/json_rule.h"
#include "search/search_view.h"

namespace qb {

namespace {

std::mutex termLock;
std::string queryTerm;

}  // namespace

void SetQueryTerm(const std::string& prepared) {
  std::lock_guard<std::mutex> hold(termLock);
  queryTerm = prepared;
}

std::string GetQueryTerm() {
  std::lock_guard<std::mutex> hold(termLock);
  return queryTerm;
}

namespace {

constexpr char FtpPrefix[] = "ftp://";
constexpr std::size_t FtpPrefixLength = 6;

// "ftp://" and the text, at most 449 characters in all.
void PrefixedUrl(char (&url)[SiteUrlSize], const char* text) {
  std::memcpy(url, FtpPrefix, FtpPrefixLength);
  CopyText(url + FtpPrefixLength, sizeof url - FtpPrefixLength, text);
}

// A file's URL becomes its folder's. A URL without a path names the server's top
// folder and stays whole: cutting it to "ftp://" would store a site that contains
// every later URL.
void CutToFolder(char* url) {
  const std::size_t length = std::strlen(url);
  if (length <= FtpPrefixLength || url[length - 1] == '/') return;
  if (char* slash = std::strrchr(url + FtpPrefixLength, '/')) slash[1] = '\0';
}

using Take = std::function<void(std::string&)>;

void Offer(char* url, bool cutToFolder, const Take& take) {
  if (cutToFolder) CutToFolder(url);
  PercentDecode(url);
  const char* host = url + FtpPrefixLength;
  if (*host == '\0' || *host == '/' || *host == ':') return;  // no host: nothing to explore
  std::string site(url);
  take(site);
}

// The next result marker; none left ends the scan by the "no further marker" rule.
char* NextMarker(char* pos, const char* marker, ScanResult& result) {
  char* mark = std::strstr(pos, marker);
  if (!mark) result.noFurtherMarker = true;
  return mark;
}

// Anchor and Form: the URL is the quoted ftp:// text inside the marker.
ScanResult ScanQuotedFtp(char* page, const char* marker, bool copyLimited, const Take& take) {
  ScanResult result;
  const std::size_t urlOffset = std::strlen(marker) - FtpPrefixLength;
  char* pos = page;
  for (;;) {
    char* mark = NextMarker(pos, marker, result);
    if (!mark) return result;
    ++result.results;
    char* url = mark + urlOffset;
    char* end = std::strchr(url, '"');
    if (!end) return result;
    *end = '\0';
    if (copyLimited) {
      char copy[SiteUrlSize];
      CopyText(copy, sizeof copy, url);
      Offer(copy, true, take);
    } else {
      Offer(url, true, take);
    }
    pos = end + 1;
  }
}

ScanResult ScanClassLs(char* page, const Take& take) {
  ScanResult result;
  char* pos = page;
  for (;;) {
    char* mark = NextMarker(pos, "class=ls", result);
    if (!mark) return result;
    char* query = std::strstr(mark, "q=");
    if (!query) return result;
    ++result.results;
    char* end = std::strstr(query + 2, " class");
    if (!end) return result;
    *end = '\0';
    char url[SiteUrlSize];
    PrefixedUrl(url, query + 2);
    Offer(url, false, take);
    pos = end + 4;
  }
}

// Advanced and Path: "ftp://" and the text after the marker up to endChar. With
// fileRule (Path) the text is cut back only when the page calls the result a file.
ScanResult ScanPrefixed(char* page, const char* marker, char endChar, bool fileRule,
                        const Take& take) {
  ScanResult result;
  const std::size_t markerLength = std::strlen(marker);
  // The next "file." and "folder." are remembered, so a long page is not searched
  // to its end once per result; the terminators written at endChar cannot split them.
  const char* nextFile = nullptr;
  const char* nextFolder = nullptr;
  char* pos = page;
  for (;;) {
    char* mark = NextMarker(pos, marker, result);
    if (!mark) return result;
    char* text = mark + markerLength;
    char* end = std::strchr(text, endChar);
    if (!end) return result;
    *end = '\0';
    ++result.results;
    bool isFile = false;
    if (fileRule) {
      const char* rest = end + 1;
      if (nextFile && nextFile < rest) nextFile = nullptr;
      if (!nextFile) nextFile = std::strstr(rest, "file.");
      if (nextFolder && nextFolder < rest) nextFolder = nullptr;
      if (!nextFolder) nextFolder = std::strstr(rest, "folder.");
      isFile = nextFile && (!nextFolder || nextFile < nextFolder);
    }
    char url[SiteUrlSize];
    PrefixedUrl(url, text);
    Offer(url, isFile, take);
    pos = end + 1;
  }
}

// The part of the page between the engine's markers: the end marker, when found,
// becomes the text's end. A missing begin marker leaves nothing to scan.
char* ScanRange(const EngineDef& engine, char* page) {
  char* from = page;
  if (!engine.begin.empty()) {
    from = std::strstr(page, engine.begin.c_str());
    if (!from) return nullptr;
    from += engine.begin.size();
  }
  if (!engine.end.empty()) {
    if (char* to = std::strstr(from, engine.end.c_str())) *to = '\0';
  }
  return from;
}

ScanResult ScanGeneric(char* text, const Take& take) {
  ScanResult result;
  result.noFurtherMarker = true;
  result.results = FindFtpUrls(text, text + std::strlen(text), [&](std::string& url) {
    if (url.size() >= SiteUrlSize) return;
    Offer(url.data(), true, take);
  });
  return result;
}

ScanResult ScanJson(const EngineDef& engine, const char* text, const Take& take) {
  ScanResult result;
  result.noFurtherMarker = true;
  const JsonAnswer answer = ScanJsonAnswer(engine, text, [&](std::string& url) {
    if (url.size() >= SiteUrlSize) return;
    Offer(url.data(), true, take);
  });
  result.results = answer.items;
  result.cursor = answer.cursor;
  return result;
}

}  // namespace

ScanResult ScanEnginePage(const EngineDef& engine, char* page, const Take& take) {
  const bool noMore = !engine.noMore.empty() && std::strstr(page, engine.noMore.c_str());
  char* text = ScanRange(engine, page);
  ScanResult result;
  if (text) {
    switch (engine.rule) {
      case ResultRule::Anchor:
        result = ScanQuotedFtp(text, "<a href=\"ftp://", false, take);
        break;
      case ResultRule::ClassLs:
        result = ScanClassLs(text, take);
        break;
      case ResultRule::Form:
        result = ScanQuotedFtp(text, "HREF=\"ftp://", true, take);
        break;
      case ResultRule::Advanced:
        result = ScanPrefixed(text, ";oquery=", '"', false, take);
        break;
      case ResultRule::Path:
        result = ScanPrefixed(text, "path=", '&', true, take);
        break;
      case ResultRule::Generic:
        result = ScanGeneric(text, take);
        break;
      case ResultRule::Json:
        result = ScanJson(engine, text, take);
        break;
    }
  } else {
    result.noFurtherMarker = true;
  }
  result.noMore = noMore;
  return result;
}

void EngineThread(int index) { EngineThreadFor(index, CurrentSearchSession()); }

void EngineThreadFor(int index, uint64_t session) {
  EngineThreadFor(ActiveEngines(), index, session);
}

void EngineThreadFor(const std::shared_ptr<const std::vector<ActiveEngine>>& engines, int index,
                     uint64_t session) {
  if (!engines || index < 0 || index >= static_cast<int>(engines->size())) return;
  const auto ToDialog = [session](auto&& action) {
    if (std::shared_ptr<SearchView> view = GetSearchDialog(session)) action(*view);
  };
  const auto live = [session] { return SearchSessionIs(session); };
  const ActiveEngine& engine = (*engines)[static_cast<std::size_t>(index)];
  const EngineControls& c = engine.controls;
  std::atomic<bool>& enabled = EngineEnabled[static_cast<std::size_t>(index)];
  int newSites = 0;

  EnginePageHooks hooks;
  hooks.goOn = [&] { return SearchRunning && enabled && live(); };
  hooks.keys = EngineKeys().Lookup();
  hooks.found = [&](std::string& site) {
    bool added = false;
    AddUniqueSite(site, added, true, live);
    if (!added) return;
    ++newSites;
    ToDialog([&](SearchView& v) { v.AddFound(c.foundList, site); });
  };
  hooks.scanned = [&](const ScanResult& scan, int totalBefore) {
    if (scan.noFurtherMarker) {
      ToDialog([&](SearchView& v) { v.SetNumber(c.resultsCounter, totalBefore); });
      ToDialog([&](SearchView& v) { v.SetNumber(c.newSitesCounter, newSites); });
    }
    if (scan.results == 0) return;
    ToDialog([&](SearchView& v) { v.SetNumber(c.resultsCounter, totalBefore + scan.results); });
    ToDialog([&](SearchView& v) { v.SetNumber(c.newSitesCounter, newSites); });
    ToDialog([&](SearchView& v) { v.SetNumber(SiteCountField, SiteTable.count); });
    ToDialog([&](SearchView& v) {
      // A dialog closing meanwhile answers "not ticked"; that is not the user's choice.
      const bool ticked = v.IsChecked(c.checkBox);
      if (live()) enabled = ticked;
    });
  };
  const EnginePagesEnd end = AskEnginePages(engine.def, GetQueryTerm(), 0, hooks);
  if (end.failed) ToDialog([&](SearchView& v) { v.ExplainMark(c.failMark, end.why); });
  ToDialog([&](SearchView& v) { v.ShowMark(end.failed ? c.failMark : c.doneMark); });
}

}  // namespace qb

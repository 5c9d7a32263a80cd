#include "search/engine.h"

#include <cstring>
#include <mutex>

#include "core/service_hosts.h"
#include "core/site_table.h"
#include "core/text_helpers.h"
#include "net/http_fetcher.h"
#include "search/search_view.h"

namespace qb {

namespace {

const EngineSpec engines[EngineCount] = {
    {EngineControlIds[0], "AnchorEngine", "anchor.engines.invalid", "/s/s?q=%s&cl=1&skip=%i", 0, 20,
     nullptr, ResultRule::Anchor},
    {EngineControlIds[1], "ClassLsEngine", "classls.engines.invalid", "/cgi-bin/s?q=%s&m=50&f=%i",
     1, 50, nullptr, ResultRule::ClassLs},
    {EngineControlIds[2], "FormEngine", "form.engines.invalid", "/s.php3?q=%s&X=%i", 0, 20,
     "</FORM>", ResultRule::Form},
    {EngineControlIds[3], "AdvancedEngine", "advanced.engines.invalid",
     "/swadv/AdvResults.asp?form=advanced&query=%s&type=Case+insensitive+substring+search"
     "&hits=15&matches=&hitsprmatch=&limdom=&limpath=&limsize1=&limsize2=&limtime1="
     "&limtime2=&f1=Path&f2=-&f3=-&f4=-&f5=-&f6=-&header=none&sort=none&trlen=20&offset=%i",
     0, 15, "Copyright", ResultRule::Advanced},
    {EngineControlIds[4], "PathEngine", "path.engines.invalid", "/ls?pattern=%s&a=%i", 1, 20,
     nullptr, ResultRule::Path},
};

std::mutex termLock;
std::string queryTerm;

}  // namespace

const EngineSpec& Engine(int index) { return engines[index]; }

void SetQueryTerm(const std::string& prepared) {
  std::lock_guard<std::mutex> hold(termLock);
  queryTerm = prepared;
}

std::string GetQueryTerm() {
  std::lock_guard<std::mutex> hold(termLock);
  return queryTerm;
}

std::string EngineRequestUrl(const EngineSpec& engine, const std::string& host,
                             const std::string& term, int pageValue) {
  std::string url = "http://" + host;
  for (const char* p = engine.pathTemplate; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      url += term;
      ++p;
    } else if (p[0] == '%' && p[1] == 'i') {
      url += std::to_string(pageValue);
      ++p;
    } else {
      url += *p;
    }
  }
  return url;
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
  if (*host == '\0' || *host == '/') return;  // no host: nothing to explore
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

template <class Action>
void ToDialog(uint64_t session, Action&& action) {
  if (std::shared_ptr<SearchView> view = GetSearchDialog(session)) action(*view);
}

}  // namespace

ScanResult ScanEnginePage(const EngineSpec& engine, char* page, const Take& take) {
  switch (engine.rule) {
    case ResultRule::Anchor:
      return ScanQuotedFtp(page, "<a href=\"ftp://", false, take);
    case ResultRule::ClassLs:
      return ScanClassLs(page, take);
    case ResultRule::Form:
      return ScanQuotedFtp(page, "HREF=\"ftp://", true, take);
    case ResultRule::Advanced:
      return ScanPrefixed(page, ";oquery=", '"', false, take);
    case ResultRule::Path:
      return ScanPrefixed(page, "path=", '&', true, take);
  }
  return {};
}

void EngineThread(int index) { EngineThreadFor(index, CurrentSearchSession()); }

void EngineThreadFor(int index, uint64_t session) {
  if (index < 0 || index >= EngineCount) return;
  const auto ToDialog = [session](auto&& action) { qb::ToDialog(session, action); };
  const auto live = [session] { return SearchSessionIs(session); };
  const EngineSpec& engine = engines[index];
  const std::string host = ServiceHost(engine.name, engine.defaultHost);
  const std::string term = GetQueryTerm();
  int pageValue = engine.firstPage;
  int total = 0;
  int newSites = 0;
  int failures = 0;

  while (SearchRunning && EngineEnabled[index] && live()) {
    const std::string url = EngineRequestUrl(engine, host, term, pageValue);
    const char* tag = nullptr;
    std::unique_ptr<char[]> page =
        FetchPage(url.c_str(), &tag, EngineFetchTimeOut, engine.stopMarker);
    if (!page) {
      if (++failures < 2) continue;  // one retry of the same page
      ToDialog([&](SearchView& v) { v.ShowMark(engine.failMark); });
      return;
    }
    failures = 0;
    StripControlChars(page.get());
    const ScanResult scan = ScanEnginePage(engine, page.get(), [&](std::string& site) {
      bool added = false;
      AddUniqueSite(site, added, true, live);
      if (!added) return;
      ++newSites;
      ToDialog([&](SearchView& v) { v.AddFound(engine.foundList, site); });
    });
    if (scan.noFurtherMarker) {
      ToDialog([&](SearchView& v) { v.SetNumber(engine.resultsCounter, total); });
      ToDialog([&](SearchView& v) { v.SetNumber(engine.newSitesCounter, newSites); });
    }
    page.reset();
    if (scan.results == 0) break;

    total += scan.results;
    pageValue += engine.pageStep;
    ToDialog([&](SearchView& v) { v.SetNumber(engine.resultsCounter, total); });
    ToDialog([&](SearchView& v) { v.SetNumber(engine.newSitesCounter, newSites); });
    ToDialog([&](SearchView& v) { v.SetNumber(SiteCountField, SiteTable.count); });
    ToDialog([&](SearchView& v) {
      // A dialog closing meanwhile answers "not ticked"; that is not the user's choice.
      const bool ticked = v.IsChecked(engine.checkBox);
      if (live()) EngineEnabled[index] = ticked;
    });
  }
  ToDialog([&](SearchView& v) { v.ShowMark(engine.doneMark); });
}

}  // namespace qb

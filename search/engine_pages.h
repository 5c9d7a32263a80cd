#pragma once
// One engine asked for a term, page after page: the loop the search dialog's
// engine threads and the command line share.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "search/engine.h"
#include "search/engine_def.h"

namespace qb {

inline constexpr int EngineFetchTimeOut = 20;  // seconds
// Pages one engine is asked for in one search, whatever its limit says.
inline constexpr int EnginePagesMax = 100;
// Results remembered to tell a page that brings nothing new.
inline constexpr std::size_t SeenMax = 100000;
// A Retry-After up to this long is waited for, at most RetryAfterTries times
// for one page; a longer one ends the engine's walk.
inline constexpr int RetryAfterMaxSeconds = 60;
inline constexpr int RetryAfterTries = 2;

// {host} of an engine: the settings file's [Hosts] value of its name, else its Host.
std::string EngineHost(const EngineDef& engine);

// Whether a host could answer at all: not empty, and not under .invalid.
bool HostCanAnswer(std::string_view host);

// Why the engine cannot be asked at all: "no host" ({host} resolves to nothing),
// "no key" (it needs one and keys has none for it, or keys is null), else "".
std::string EngineCannotAnswer(const EngineDef& engine, const KeyLookup& keys);

struct EnginePageHooks {
  std::function<bool()> goOn;                    // asked before each page; null: always
  std::function<void(std::string& site)> found;  // each result URL, in page order
  // After each scanned page, with the total of the pages before it.
  std::function<void(const ScanResult& scan, int totalBefore)> scanned;
  KeyLookup keys;  // where an engine that needs a key finds it; null: nowhere
};

struct EnginePagesEnd {
  bool failed = false;  // two fetches of one page in a row failed, or it could not be asked
  std::string why;      // then: the error tag and the URL, its key masked
  int pages = 0;        // pages fetched and scanned
  int results = 0;
};

// Asks for pages until one gives no result, brings no result the pages before
// it did not, or holds the engine's "no more" marker; the engine's page limit,
// maxPages (0: none) or EnginePagesMax is reached; goOn says no; a page fails
// twice in a row; or, with NextFrom, a page names no next cursor. A 429 or 503
// with a Retry-After is waited for (goOn still asked) and the page asked again.
// Requests to one host keep the EnginePause setting apart. term is PrepareQuery's.
EnginePagesEnd AskEnginePages(const EngineDef& engine, const std::string& term, int maxPages,
                              const EnginePageHooks& hooks);

}  // namespace qb

#pragma once
// Search hosts are other people's servers: two requests to one host, from any
// engine of any run, are at least a pause apart.
#include <chrono>
#include <functional>
#include <string>

namespace qb {

// The host and port of a URL, lower-cased: what one pause is kept for.
std::string PaceKey(const std::string& url);

// Waits until the host of url may be asked again, pause after the last request
// given to it; false when goOn says no meanwhile (asked every few
// milliseconds).
bool WaitForHost(const std::string& url, std::chrono::milliseconds pause,
                 const std::function<bool()>& goOn);

// The host of url asked to be left alone for wait (a Retry-After): no request
// goes to it, from any engine, before then.
void DeferHost(const std::string& url, std::chrono::milliseconds wait);

}  // namespace qb

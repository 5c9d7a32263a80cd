#pragma once
// One site's exploration: the attempts with their pauses, then the entry's final
// status, status text and listing.
#include <atomic>
#include <memory>

struct SiteEntry;

// Thread body; holds the entry until it returns.
void SiteWorker(std::shared_ptr<SiteEntry> entry);

// Milliseconds per VerifyTimeOut unit (1000); shortened only by unit tests.
extern std::atomic<int> VerifyTimeUnitMs;

#pragma once
// One site's exploration: the attempts with their pauses, then the entry's final
// status, status text and listing.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/site_outcome.h"
#include "core/site_table.h"

namespace qb {

// Thread body; holds the entry until it returns.
void SiteWorker(std::shared_ptr<SiteEntry> entry);

// Given a copy of each outcome a worker stores, on the worker's thread and
// outside the table's locks; set before exploring starts, or empty for none.
void SetSiteStoredHook(std::function<void(SiteOutcome)> hook);

// Milliseconds per VerifyTimeOut unit (1000); shortened only by unit tests.
extern std::atomic<int> VerifyTimeUnitMs;
// Milliseconds per unit of the pause before trying a server that said it has
// too many sessions again (1000); shortened only by tests.
extern std::atomic<int> LimitPauseUnitMs;
// How often a site waits for a busy server before the refusal counts.
inline constexpr int LimitWaitsMax = 6;

}  // namespace qb

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

// The nodes stored for a listing text: every piece between line breaks that
// the filter keeps, in order.
std::vector<ListingEntry> BuildListing(const std::string& text);

// Given a copy of each outcome a worker stores, on the worker's thread and
// outside the table's locks; set before exploring starts, or empty for none.
void SetSiteStoredHook(std::function<void(SiteOutcome)> hook);

// Milliseconds per VerifyTimeOut unit (1000); shortened only by unit tests.
extern std::atomic<int> VerifyTimeUnitMs;

}  // namespace qb

#pragma once
// One pass of bringing the site list in line with the table, planned on copies
// so that the list itself is touched only after the table's locks are released.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/site_table.h"

namespace qb {

// A site as the pass sees it.
struct SiteSnapshot {
  std::shared_ptr<SiteEntry> entry;  // keeps url readable after the locks
  int32_t status = Waiting;
  bool dropped = false;
  std::string statusText;
  SiteTls tls = SiteTls::None;
};

// Takes SiteTableLock, then ListingLock, for the copy only.
std::vector<SiteSnapshot> TakeSiteSnapshot();

// What a site's row shows now, by site index.
struct ShownRow {
  int image = -1;
  std::string text;
  SiteTls tls = SiteTls::None;
};

struct SiteListOp {
  enum Kind { Delete, SetImage, SetText, Append, SetTls } kind;
  int row;                      // all but Append: the row as it is when the op runs
  int site;                     // the row's site index
  int image;                    // SetImage, Append
  std::string text;             // SetText
  SiteTls tls = SiteTls::None;  // SetTls, Append
};

struct SiteListPlan {
  std::vector<SiteListOp> ops;  // to apply in order
  bool textChanged = false;
};

// rows: each row's site index, top to bottom; shown: indexed by site index.
SiteListPlan PlanSiteListPass(const std::vector<int>& rows, const std::vector<ShownRow>& shown,
                              const std::vector<SiteSnapshot>& sites, bool showAll);

// How far the exploration has come: sites done with (explored, failed or
// refused) of all sites the user has not removed.
struct ExplorationCounts {
  int explored = 0;
  int total = 0;
};
ExplorationCounts CountExplored(const std::vector<SiteSnapshot>& sites);
// The frame's status text: "Explored X of Y sites, N sessions"; empty without sites.
std::string ProgressText(const ExplorationCounts& counts, int sessions);

// Whether a site's row is hidden when failed and refused sites are not shown.
bool SiteHidden(const SiteSnapshot& site, bool showAll);

}  // namespace qb

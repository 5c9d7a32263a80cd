#include "mainwin/site_list_pass.h"

#include <mutex>

namespace qb {

std::vector<SiteSnapshot> TakeSiteSnapshot() {
  std::vector<SiteSnapshot> sites;
  std::lock_guard<std::mutex> table(SiteTableLock);
  std::lock_guard<std::mutex> listing(ListingLock);
  const int n = SiteTable.count;
  sites.resize(n);
  for (int i = 0; i < n; ++i) {
    const auto& e = SiteTable.slots[i];
    if (!e) {
      sites[i].dropped = true;
      continue;
    }
    sites[i].entry = e;
    sites[i].status = e->status;
    sites[i].dropped = e->dropped;
    sites[i].statusText = e->statusText.Get();
    sites[i].tls = e->tls;
  }
  return sites;
}

bool SiteHidden(const SiteSnapshot& site, bool showAll) {
  if (site.dropped) return true;
  return !showAll && (site.status == Failed || site.status == Refused);
}

SiteListPlan PlanSiteListPass(const std::vector<int>& rows, const std::vector<ShownRow>& shown,
                              const std::vector<SiteSnapshot>& sites, bool showAll) {
  SiteListPlan plan;
  const int count = static_cast<int>(sites.size());
  std::vector<uint8_t> seen(count, 0);
  int row = 0;  // position of the examined row once earlier deletions are done
  for (int a : rows) {
    if (a < 0 || a >= count || seen[a] || SiteHidden(sites[a], showAll)) {
      plan.ops.push_back({SiteListOp::Delete, row, a, 0, {}});
      continue;
    }
    seen[a] = 1;
    const SiteSnapshot& site = sites[a];
    const bool known = static_cast<std::size_t>(a) < shown.size();
    if (!known || shown[a].image != site.status)
      plan.ops.push_back({SiteListOp::SetImage, row, a, site.status, {}});
    if (!known || shown[a].text != site.statusText) {
      plan.ops.push_back({SiteListOp::SetText, row, a, 0, site.statusText});
      plan.textChanged = true;
    }
    if (!known || shown[a].tls != site.tls)
      plan.ops.push_back({SiteListOp::SetTls, row, a, 0, {}, site.tls});
    ++row;
  }
  for (int a = 0; a < count; ++a) {
    if (seen[a] || SiteHidden(sites[a], showAll)) continue;
    plan.ops.push_back({SiteListOp::Append, row++, a, sites[a].status, {}, sites[a].tls});
  }
  return plan;
}

ExplorationCounts CountExplored(const std::vector<SiteSnapshot>& sites) {
  ExplorationCounts counts;
  for (const SiteSnapshot& site : sites) {
    if (!site.entry || site.dropped) continue;
    ++counts.total;
    if (site.status != Waiting && site.status != Exploring) ++counts.explored;
  }
  return counts;
}

std::string ProgressText(const ExplorationCounts& counts, int sessions) {
  if (counts.total == 0) return {};
  return "Explored " + std::to_string(counts.explored) + " of " + std::to_string(counts.total) +
         (counts.total == 1 ? " site, " : " sites, ") + std::to_string(sessions) +
         (sessions == 1 ? " session" : " sessions");
}

}  // namespace qb

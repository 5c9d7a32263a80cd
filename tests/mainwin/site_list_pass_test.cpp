#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "mainwin/site_list_pass.h"

using namespace qb;

namespace {
SiteSnapshot Site(int32_t status, const char* text = "", bool dropped = false,
                  SiteTls tls = SiteTls::None) {
  SiteSnapshot s;
  s.status = status;
  s.statusText = text;
  s.dropped = dropped;
  s.tls = tls;
  return s;
}

std::string Describe(const SiteListPlan& plan) {
  std::string out;
  for (const SiteListOp& op : plan.ops) {
    const char* kind[] = {"D", "I", "T", "A", "L"};
    out += std::string(kind[op.kind]) + std::to_string(op.row) + ":" + std::to_string(op.site);
    if (op.kind == SiteListOp::SetImage || op.kind == SiteListOp::Append)
      out += "=" + std::to_string(op.image);
    if (op.kind == SiteListOp::SetText) out += "=" + op.text;
    if (op.kind == SiteListOp::SetTls || (op.kind == SiteListOp::Append && op.tls != SiteTls::None))
      out += "/" + std::to_string(static_cast<int>(op.tls));
    out += " ";
  }
  return out;
}
}  // namespace

TEST(SiteListPass, Cases) {
  const struct {
    const char* name;
    std::vector<int> rows;
    std::vector<ShownRow> shown;
    std::vector<SiteSnapshot> sites;
    bool showAll;
    const char* ops;
    bool textChanged;
  } cases[] = {
      {"new sites are appended in table order",
       {},
       {},
       {Site(Waiting), Site(Ok)},
       false,
       "A0:0=0 A1:1=1 ",
       false},
      {"unchanged rows cost nothing",
       {1, 0},
       {{0, "a"}, {1, "b"}},
       {Site(Waiting, "a"), Site(Ok, "b")},
       false,
       "",
       false},
      {"icon and text follow the site",
       {0},
       {{0, ""}},
       {Site(Ok, "226 ok")},
       false,
       "I0:0=1 T0:0=226 ok ",
       true},
      {"failed and refused leave unless all are shown",
       {0, 1, 2},
       {{0, ""}, {0, ""}, {0, ""}},
       {Site(Failed), Site(Waiting), Site(Refused)},
       false,
       "D0:0 D1:2 ",
       false},
      {"all shown keeps them and fixes icons",
       {0, 1},
       {{0, ""}, {0, ""}},
       {Site(Failed), Site(Refused)},
       true,
       "I0:0=2 I1:1=4 ",
       false},
      {"failed site comes back when all are shown", {}, {}, {Site(Failed)}, true, "A0:0=2 ", false},
      {"dropped goes even when all are shown",
       {0},
       {{0, ""}},
       {Site(Ok, "", true)},
       true,
       "D0:0 ",
       false},
      {"rows past the table are deleted",
       {0, 5, 1},
       {{0, ""}, {0, ""}},
       {Site(Waiting), Site(Waiting)},
       false,
       "D1:5 ",
       false},
      {"a second row for a site is deleted",
       {0, 0},
       {{0, ""}},
       {Site(Waiting)},
       false,
       "D1:0 ",
       false},
      {"the TLS column follows the session and leaves the status alone",
       {0, 1},
       {{1, "226", SiteTls::None}, {1, "226", SiteTls::Verified}},
       {Site(Ok, "226", false, SiteTls::Unverified), Site(Ok, "226")},
       false,
       "L0:0/2 L1:1/0 ",
       false},
      {"a new row shows its TLS at once",
       {},
       {},
       {Site(Ok, "", false, SiteTls::Verified)},
       false,
       "A0:0=1/1 ",
       false},
      {"status text comparison is case-sensitive",
       {0},
       {{1, "OK"}},
       {Site(Ok, "ok")},
       false,
       "T0:0=ok ",
       true},
  };
  for (const auto& c : cases) {
    std::vector<ShownRow> shown = c.shown;
    shown.resize(SiteCapacity);
    const SiteListPlan plan = PlanSiteListPass(c.rows, shown, c.sites, c.showAll);
    EXPECT_EQ(Describe(plan), c.ops) << c.name;
    EXPECT_EQ(plan.textChanged, c.textChanged) << c.name;
  }
}

TEST(SiteListPass, SnapshotWhileWorkersWrite) {
  ResetSites();
  for (int i = 0; i < 50; ++i) {
    std::string url = "ftp://h" + std::to_string(i) + "/";
    bool added = false;
    AddUniqueSite(url, added, false);
  }
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    for (int round = 0; !stop; ++round) {
      for (int i = 0; i < 50; ++i) {
        if (auto e = SiteAt(i)) {
          e->status = round % 5;
          e->statusText.Set(std::to_string(round));
        }
      }
    }
  });
  std::vector<int> rows;
  std::vector<ShownRow> shown(SiteCapacity);
  for (int pass = 0; pass < 200; ++pass) {
    const auto sites = TakeSiteSnapshot();
    ASSERT_EQ(sites.size(), 50u);
    const SiteListPlan plan = PlanSiteListPass(rows, shown, sites, true);
    // Apply the plan to the model of the list.
    for (const SiteListOp& op : plan.ops) {
      if (op.kind == SiteListOp::Delete) rows.erase(rows.begin() + op.row);
      if (op.kind == SiteListOp::Append) rows.push_back(op.site);
      if (op.kind == SiteListOp::SetImage || op.kind == SiteListOp::Append)
        shown[op.site].image = op.image;
      if (op.kind == SiteListOp::SetText) shown[op.site].text = op.text;
    }
    EXPECT_EQ(rows.size(), 50u);
  }
  stop = true;
  worker.join();
  ResetSites();
}

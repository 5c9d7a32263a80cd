#include "index/export_rows.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <mutex>

#include "core/site_table.h"

namespace qb {

namespace {

std::string StatusName(int32_t status, const std::string& text) {
  if (!text.empty()) return text;
  switch (status) {
    case Ok:
      return "ok";
    case Failed:
      return "failed";
    case Exploring:
      return "exploring";
    case Refused:
      return "refused";
    default:
      return "waiting";
  }
}

bool EndsWith(const std::string& text, const char* tail) {
  const std::size_t n = std::strlen(tail);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = text[text.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != tail[i]) return false;
  }
  return true;
}

}  // namespace

std::string WhenText(int64_t when) {
  if (when == 0) return {};
  const std::time_t t = static_cast<std::time_t>(when);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

std::vector<ExportRow> CurrentTableRows(const ExploredAtLookup& exploredAt) {
  std::vector<std::shared_ptr<SiteEntry>> sites;
  {
    std::lock_guard<std::mutex> hold(SiteTableLock);
    for (int i = 0; i < SiteTable.count; ++i)
      if (SiteTable.slots[i]) sites.push_back(SiteTable.slots[i]);
  }
  std::vector<ExportRow> rows;
  for (const auto& site : sites) {
    const int32_t state = site->status;
    const std::string status = StatusName(state, site->statusText.Get());
    // A site waiting or under way shows no time: an earlier run's would not
    // describe the row.
    const bool done = state == Ok || state == Failed || state == Refused;
    const std::string explored = done && exploredAt ? WhenText(exploredAt(site->url)) : "";
    std::vector<ListingEntry> listing;
    {
      std::lock_guard<std::mutex> hold(ListingLock);
      listing = site->listing;
    }
    if (listing.empty()) rows.push_back({site->url, status, "", 0, "", false, explored});
    for (const ListingEntry& e : listing) {
      rows.push_back({site->url, status, std::string(e.name, strnlen(e.name, sizeof e.name)),
                      e.size, std::string(e.date, strnlen(e.date, sizeof e.date)), e.isFolder != 0,
                      explored});
    }
  }
  return rows;
}

ExportRow RowOf(const FoundEntry& hit) {
  return {hit.siteUrl,
          StatusName(hit.siteStatus, hit.siteStatusText),
          hit.name,
          hit.size,
          hit.date,
          hit.isFolder,
          WhenText(hit.exploredAt)};
}

bool WriteExportFile(const std::string& path, const std::string& title,
                     const std::vector<ExportRow>& rows, bool keepPasswords, std::string& error) {
  std::vector<ExportRow> hidden;
  if (!keepPasswords) {
    hidden = rows;
    for (ExportRow& row : hidden) row.siteUrl = HidePassword(row.siteUrl);
  }
  const std::vector<ExportRow>& written = keepPasswords ? rows : hidden;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) {
    if (EndsWith(path, ".html") || EndsWith(path, ".htm")) {
      WriteHtml(out, title, written);
    } else {
      WriteCsv(out, written);
    }
    out.close();
  }
  if (out) return true;
  error = path + ": " + std::strerror(errno ? errno : EIO);
  return false;
}

}  // namespace qb

#pragma once
// quillbrook-cli crawl: whole sites listed folder by folder into the local
// index, one line printed per folder listed.
#include <string>

#include "index/index_db.h"

namespace qb {

// One folder of the crawl of the site at siteUrl, "\n" included: a JSON object,
// or tab-separated url, path, state, entries, failure and site. A password in
// siteUrl is printed as ***.
std::string JsonFolderLine(const std::string& siteUrl, const ListedFolder& folder);
std::string TsvFolderLine(const std::string& siteUrl, const ListedFolder& folder);

// The arguments after "crawl". The exit status: 0 when every crawl finished, 1
// when one did not, 2 on bad usage or an index that cannot be used, 130 when
// stopped by SIGINT or SIGTERM (the crawls then resume with --resume). Bad
// usage throws UsageError.
int RunCrawl(int argc, char** argv);

}  // namespace qb

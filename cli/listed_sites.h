#pragma once
// --list NAME of explore and crawl: the sites a site list names, fetched now.
#include <string>
#include <vector>

namespace qb {

// The site list named (case ignored): a Kind=SiteList definition of the engine
// file, else a built-in one; a name neither has is bad usage. Its page is
// fetched and its sites appended to urls; a list that cannot be asked or
// fetched is warned about and adds none. After the settings are loaded.
void AppendListedSites(const std::string& name, std::vector<std::string>& urls);

}  // namespace qb

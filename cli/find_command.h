#pragma once
// quillbrook-cli find: names in the local index of explored sites containing a
// text, printed one hit a line.
#include <string>

#include "index/index_db.h"

namespace qb {

// One hit, "\n" included: a JSON object, or tab-separated name, size, date,
// folder (0/1), the entry's URL, its site, when the site was explored (seconds
// since the epoch) and the path of the folder holding it within the site.
std::string JsonHitLine(const FoundEntry& hit);
std::string TsvHitLine(const FoundEntry& hit);

// The arguments after "find"; passwords in the URLs are printed as *** unless
// --show-passwords is given. The exit status: 0 with hits, 1 with none (or no
// index yet), 2 on an index that cannot be read. Bad usage throws UsageError.
int RunFind(int argc, char** argv);

}  // namespace qb

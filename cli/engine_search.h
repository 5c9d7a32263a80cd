#pragma once
// Asks the built-in search engines for a term without a window and adds the
// ftp:// sites they name to the site table.
#include <functional>
#include <string>
#include <vector>

namespace qb {

// The engines' names in table order ("AnchorEngine", ...).
std::vector<std::string> EngineNames();

// Index of the engine named name (case ignored), or -1.
int EngineIndexByName(const std::string& name);

// Fetches each chosen engine's pages in turn, at most maxPages each, until a
// page gives no result or two fetches in a row fail (problem then hears why);
// every site found goes into the site table once. The number of new sites.
int SearchEngines(const std::string& term, const std::vector<int>& engines, int maxPages,
                  const std::function<void(const std::string&)>& problem);

}  // namespace qb

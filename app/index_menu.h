#pragma once
// The index's commands in the frame's first menu (Search), and what start-up
// takes from it: the last results and the crawls left unfinished.
#include <string>

class wxFrame;

namespace qb {

class TD;

// Appends "Find in explored sites…" and "Export results…" to the first menu.
void AddIndexCommands(wxFrame* frame, TD* dialog);
// Writes the site table to path, as the Export command does: each site done
// with the time the index holds for it, passwords as *** unless keepPasswords.
bool ExportResults(const std::string& path, bool keepPasswords, std::string& error);
// Once the index has read them, puts the last search's sites into the site
// table if it is still empty, as they were, and names them in the frame's
// title; nothing is explored.
void ShowLastResults(wxFrame* frame);
// Once the index has read them, offers to go on with the crawls an earlier run
// left unfinished; the dialog crawls them with the running index.
void OfferUnfinishedCrawls(TD* dialog);

}  // namespace qb

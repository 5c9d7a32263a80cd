#pragma once
// The index's commands in the frame's File menu, and the last results shown at
// start-up.
class wxFrame;

namespace qb {

class TD;

// Appends "Find in explored sites…" and "Export results…" to the first menu.
void AddIndexCommands(wxFrame* frame, TD* dialog);
// Puts the last search's sites from the index into the empty site table, as
// they were, and names them in the frame's title; nothing is explored.
void ShowLastResults(wxFrame* frame);

}  // namespace qb

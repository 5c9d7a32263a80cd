#pragma once
// The index's commands in the frame's File menu, and the last results shown at
// start-up.
class wxFrame;

namespace qb {

class TD;

// Appends "Find in explored sites…" and "Export results…" to the first menu.
void AddIndexCommands(wxFrame* frame, TD* dialog);
// Once the index has read them, puts the last search's sites into the site
// table if it is still empty, as they were, and names them in the frame's
// title; nothing is explored.
void ShowLastResults(wxFrame* frame);

}  // namespace qb

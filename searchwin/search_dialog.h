#pragma once
// The modal search dialog: the user types a term, ticks engines, starts and
// stops runs, then goes on to the exploration with OK.

class wxDialog;
class wxWindow;

namespace qb {

// Runs the search dialog modally over parent; true when it was closed with OK.
// The query report is then sent in the background.
bool RunSearchDialog(wxWindow* parent);

// The dialog while RunSearchDialog shows it, else null. UI thread only.
wxDialog* OpenSearchDialog();

}  // namespace qb

#pragma once
// The modal search dialog: the user types a term, ticks engines, starts and
// stops runs, then goes on to the exploration with OK.
class wxWindow;

// Runs the search dialog modally over parent; true when it was closed with OK.
bool RunSearchDialog(wxWindow* parent);

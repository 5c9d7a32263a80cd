#pragma once
// Starts the thread that shows a changed notice and keeps the usage counter of
// the main dialog up to date. Called once, on the UI thread; the thread lives
// as long as the process.
class wxWindow;

void StartVersionCheck(wxWindow* mainDialog);

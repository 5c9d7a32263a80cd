#pragma once
// The about dialog; each call opens another modeless one.
class wxWindow;

void ShowAboutDialog(wxWindow* parent);

#pragma once
// The settings sheet: one page editing the four settings of "FTP-ZEVO.ini".
class wxWindow;

// Opens a new modeless sheet; several may be open, the last confirmed wins.
void ShowSettingsSheet(wxWindow* parent);

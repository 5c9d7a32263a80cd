#include "app/settings_sheet.h"

#include <wx/window.h>

void ShowSettingsSheet(wxWindow* parent) { (void)parent; }

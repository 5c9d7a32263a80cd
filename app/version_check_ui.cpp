#include "app/version_check_ui.h"

#include <wx/window.h>

void StartVersionCheck(wxWindow* mainDialog) { (void)mainDialog; }

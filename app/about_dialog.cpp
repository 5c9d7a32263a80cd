#include "app/about_dialog.h"

#include <wx/window.h>

void ShowAboutDialog(wxWindow* parent) { (void)parent; }

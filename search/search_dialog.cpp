#include "search/search_dialog.h"

#include <wx/dialog.h>

#include "search/search_view.h"

bool RunSearchDialog(wxWindow* parent) {
  SearchRunActive = false;
  wxDialog dialog(parent, wxID_ANY, "Quillbrook");
  const int result = dialog.ShowModal();
  SearchRunning = false;
  return result == wxID_OK;
}

#pragma once
// Sites the user pastes or loads from a text file, one a line, to be explored
// as search results are.
#include <wx/dialog.h>

#include <string>
#include <vector>

class wxTextCtrl;

namespace qb {

class AddSitesDialog : public wxDialog {
 public:
  enum { IdSitesText = wxID_HIGHEST + 1, IdLoadFile };

  explicit AddSitesDialog(wxWindow* parent);

  // Appends a text file's lines to the box; false (after saying why) when the
  // file cannot be read or is too large to be a list of sites.
  bool LoadFromFile(const wxString& path);

  // The sites of the box; the lines naming none are reported in one message.
  std::vector<std::string> TakeSites();

 private:
  void OnLoadFile(wxCommandEvent& event);

  wxTextCtrl* text_ = nullptr;
};

// Shows the dialog modally; the sites given on OK, none on Cancel.
std::vector<std::string> AskForSites(wxWindow* parent);

}  // namespace qb

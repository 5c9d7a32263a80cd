#pragma once
// Sites the user pastes or loads from a text file, one a line, to be explored
// as search results are, or crawled whole.
#include <wx/dialog.h>

#include <memory>
#include <string>
#include <vector>

#include "search/engine_def.h"
#include "ui/window_link.h"

class wxCheckBox;
class wxStaticText;
class wxTextCtrl;

namespace qb {

class AddSitesDialog : public wxDialog {
 public:
  enum { IdSitesText = wxID_HIGHEST + 1, IdLoadFile, IdCrawl, IdFromList };

  // offerCrawl: the box lets the user crawl the sites instead.
  explicit AddSitesDialog(wxWindow* parent, bool offerCrawl = true);
  ~AddSitesDialog() override;
  AddSitesDialog(const AddSitesDialog&) = delete;
  AddSitesDialog& operator=(const AddSitesDialog&) = delete;

  // Appends a text file's lines to the box; false (after saying why) when the
  // file cannot be read or is too large to be a list of sites.
  bool LoadFromFile(const wxString& path);

  // Fetches the site list named off the UI thread and appends its sites to
  // the box; a list that cannot be fetched is said in the box's status line.
  void LoadFromList(const std::string& name);
  // What the last fetch of a site list came to ("12 sites from ...", or why none).
  wxString ListStatus() const;

  // The sites of the box; the lines naming none are reported in one message.
  std::vector<std::string> TakeSites();
  // Whether the sites are to be crawled instead of explored.
  bool Crawl() const;

 private:
  void OnLoadFile(wxCommandEvent& event);
  void OnFromList(wxCommandEvent& event);
  void LoadList(const EngineDef& list);
  void ListFetched(const std::string& name, const std::vector<std::string>& sites,
                   const std::string& problem);

  wxTextCtrl* text_ = nullptr;
  wxCheckBox* crawl_ = nullptr;
  wxWindow* fromList_ = nullptr;
  wxStaticText* listStatus_ = nullptr;
  std::shared_ptr<WindowLink<AddSitesDialog>> link_;
};

// Shows the dialog modally; the sites given on OK, none on Cancel. With crawl
// set, the box offers crawling and crawl tells whether the user chose it.
std::vector<std::string> AskForSites(wxWindow* parent, bool* crawl = nullptr);

}  // namespace qb

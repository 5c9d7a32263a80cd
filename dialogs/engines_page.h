#pragma once
// The settings sheet's engines page: the current set of search engines, edited
// in place, tried one at a time, and written to the engine file on OK.
#include <wx/listctrl.h>
#include <wx/panel.h>

#include <memory>
#include <string>
#include <vector>

#include "dialogs/settings_page.h"
#include "search/engine_def.h"
#include "ui/window_link.h"

class wxStaticText;

namespace qb {

// The page's controls, built in code.
inline constexpr int EngineList = 310;
inline constexpr int EngineAddButton = 311;
inline constexpr int EngineEditButton = 312;
inline constexpr int EngineRemoveButton = 313;
inline constexpr int EngineUpButton = 314;
inline constexpr int EngineDownButton = 315;
inline constexpr int EngineRestoreButton = 316;
inline constexpr int EngineTestButton = 317;
inline constexpr int EngineTestResult = 318;
inline constexpr int EngineFileNote = 319;
inline constexpr int EngineTemplateButton = 320;

class EnginesPage : public wxPanel, public SettingsPage {
 public:
  explicit EnginesPage(wxWindow* parent);
  ~EnginesPage() override;
  EnginesPage(const EnginesPage&) = delete;
  EnginesPage& operator=(const EnginesPage&) = delete;

  // Shows the current set.
  void SetUp() override;
  // When the list differs from what SetUp showed: written to the engine file
  // and made the current set, which stays in effect when the write fails.
  void Apply() override;

  // The list as the page holds it, in order.
  const std::vector<EngineDef>& Engines() const { return engines_; }

 private:
  void ShowList(long select);
  long Selected() const;
  std::vector<std::string> NamesBut(long skip) const;
  void Move(long from, long to);

  void OnAdd(wxCommandEvent& event);
  // A template chosen from a list, shown in the engine form to be completed (a key).
  void OnAddFromTemplate(wxCommandEvent& event);
  // The engine at after the selection, or at the end.
  void Insert(EngineDef engine);
  void OnEdit(wxCommandEvent& event);
  void OnRemove(wxCommandEvent& event);
  void OnUp(wxCommandEvent& event);
  void OnDown(wxCommandEvent& event);
  void OnRestore(wxCommandEvent& event);
  void OnTest(wxCommandEvent& event);
  void OnActivated(wxListEvent& event);
  void OnChecked(wxListEvent& event);
  void UpdateButtons(wxUpdateUIEvent& event);
  void ShowTestResult(const std::string& text);

  wxListCtrl* list_ = nullptr;
  wxStaticText* testResult_ = nullptr;
  std::vector<EngineDef> engines_;
  std::string shownText_;  // the engine file's text of the list SetUp showed
  std::string testTerm_ = "linux";
  bool testing_ = false;
  std::shared_ptr<WindowLink<EnginesPage>> link_;
};

}  // namespace qb

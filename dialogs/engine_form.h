#pragma once
// The form that adds or edits one search engine: every field of its
// definition, refused on OK until the definition can be used.
#include <wx/dialog.h>

#include <string>
#include <vector>

#include "search/engine_def.h"

namespace qb {

// The form's controls, built in code.
inline constexpr int EngineNameField = 340;
inline constexpr int EngineEnabledBox = 341;
inline constexpr int EngineHostField = 342;
inline constexpr int EngineUrlField = 343;
inline constexpr int EngineMethodChoice = 344;
inline constexpr int EngineBodyField = 345;
inline constexpr int EngineContentTypeField = 346;
inline constexpr int EngineFirstPageField = 347;
inline constexpr int EnginePageStepField = 348;
inline constexpr int EnginePageLimitField = 349;
inline constexpr int EngineRuleChoice = 350;
inline constexpr int EngineBeginField = 351;
inline constexpr int EngineEndField = 352;
inline constexpr int EngineStopField = 353;
inline constexpr int EngineNoMoreField = 354;
inline constexpr int EngineKindChoice = 355;
inline constexpr int EngineHeaderField = 356;
inline constexpr int EngineAuthChoice = 357;
inline constexpr int EngineItemsField = 358;
inline constexpr int EngineSiteField = 359;
inline constexpr int EngineNextFromField = 360;
inline constexpr int EngineKeyField = 361;

class EngineForm : public wxDialog {
 public:
  // otherNames: the names the engine may not take (case ignored).
  EngineForm(wxWindow* parent, const wxString& title, const EngineDef& engine,
             std::vector<std::string> otherNames);

  // The definition as the fields hold it.
  EngineDef Engine() const;
  // The key typed, never shown back; empty: the kept one stays.
  std::string Key() const;

 private:
  void ShowEngine(const EngineDef& engine);
  void OnOk(wxCommandEvent& event);
  void OnMethodChanged(wxCommandEvent& event);
  void EnablePostFields();

  std::vector<std::string> otherNames_;
};

// Why engine cannot be taken beside engines named otherNames, one line each.
std::vector<std::string> EngineFormProblems(const EngineDef& engine,
                                            const std::vector<std::string>& otherNames);

// Runs the form modally; true with engine changed when it was closed with OK.
// A key typed goes to the keyring (or the key file), never into the engine file.
bool EditEngine(wxWindow* parent, const wxString& title, EngineDef& engine,
                const std::vector<std::string>& otherNames);

}  // namespace qb

#pragma once
// What the engines and the search run need of the search dialog. The dialog's
// implementation posts every call to the UI thread and drops those that arrive
// after the dialog closed; tests implement it with a recorder.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/controls.h"
#include "core/message_style.h"

namespace qb {

class SearchView {
 public:
  virtual ~SearchView() = default;
  // Shows a signed number in a text control (counters, the site count 134).
  virtual void SetNumber(int controlId, int value) = 0;
  // Empties a text control.
  virtual void ClearText(int controlId) = 0;
  // Appends a line to one of the five found lists.
  virtual void AddFound(int listId, const std::string& url) = 0;
  // Shows a done or failure mark.
  virtual void ShowMark(int controlId) = 0;
  // Says why a failure mark is shown (the error and the page that failed).
  virtual void ExplainMark(int /*controlId*/, const std::string& /*why*/) {}
  virtual bool IsChecked(int boxId) = 0;
  // Whether a box is there to be ticked, shown and enabled: the explored sites'
  // box is not when the index holds nothing, and views without it leave it out.
  virtual bool IsOffered(int /*boxId*/) { return false; }
  // The term from the edit control, at most maxChars characters.
  virtual std::string ReadTerm(int maxChars) = 0;
  // A message box with the text of a string-table entry; true for Yes (or OK).
  virtual bool Message(int stringId, const char* caption, MessageStyle style) = 0;
  virtual void PlayAnimation() = 0;
  virtual void StopAnimation() = 0;
  // Closes the dialog as if OK had been pressed.
  virtual void PostOk() = 0;
};

// The open search dialog, or null; every thread takes a copy before use.
std::shared_ptr<SearchView> GetSearchDialog();
// Opening and closing the dialog (setting a view or null) each start a new
// session. A run and its engines belong to the session they started in: once
// it has ended they reach no dialog, add no site and set no flag.
void SetSearchDialog(std::shared_ptr<SearchView> view);
uint64_t CurrentSearchSession();
bool SearchSessionIs(uint64_t session);
// The dialog of session, or null once that session has ended.
std::shared_ptr<SearchView> GetSearchDialog(uint64_t session);

// Process-wide search state.
extern std::atomic<bool> SearchRunning;
extern std::atomic<bool> SearchRunActive;
extern std::atomic<bool> AutoContinue;

}  // namespace qb

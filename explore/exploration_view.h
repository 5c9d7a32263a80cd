#pragma once
// What the exploration scheduler needs of the main dialog. The main dialog's
// implementation posts to the UI thread; tests implement it with a recorder.
#include <memory>

namespace qb {

class ExplorationView {
 public:
  virtual ~ExplorationView() = default;
  // Shows a signed number in a text control (IdSessions, IdWaiting, IdFinished, IdPercent).
  virtual void SetNumber(int controlId, int value) = 0;
  // The progress bar (IdProgress).
  virtual void SetProgress(int percent) = 0;
  // The main dialog's animation: all frames, repeated without end.
  virtual void PlayAnimation() = 0;
  virtual void StopAnimation() = 0;
};

std::shared_ptr<ExplorationView> GetExplorationView();
void SetExplorationView(std::shared_ptr<ExplorationView> view);

}  // namespace qb

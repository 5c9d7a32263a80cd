#include "explore/exploration_view.h"

#include <mutex>

namespace qb {

namespace {
std::mutex viewLock;
std::shared_ptr<ExplorationView> mainView;
}  // namespace

std::shared_ptr<ExplorationView> GetExplorationView() {
  std::lock_guard<std::mutex> hold(viewLock);
  return mainView;
}

void SetExplorationView(std::shared_ptr<ExplorationView> view) {
  std::lock_guard<std::mutex> hold(viewLock);
  mainView = std::move(view);
}

}  // namespace qb

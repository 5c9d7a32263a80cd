#include "search/search_view.h"

#include <mutex>

namespace qb {

std::atomic<bool> SearchRunning{false};
std::atomic<bool> SearchRunActive{false};
std::atomic<bool> AutoContinue{false};
std::array<std::atomic<bool>, EngineCount> EngineEnabled{true, true, true, true, true};

namespace {
std::mutex viewLock;
std::shared_ptr<SearchView> openDialog;
}  // namespace

std::shared_ptr<SearchView> GetSearchDialog() {
  std::lock_guard<std::mutex> hold(viewLock);
  return openDialog;
}

void SetSearchDialog(std::shared_ptr<SearchView> view) {
  std::lock_guard<std::mutex> hold(viewLock);
  openDialog = std::move(view);
}

}  // namespace qb

#include "search/search_view.h"

#include <mutex>

namespace qb {

std::atomic<bool> SearchRunning{false};
std::atomic<bool> SearchRunActive{false};
std::atomic<bool> AutoContinue{false};

namespace {
std::mutex viewLock;
std::shared_ptr<SearchView> openDialog;
std::atomic<uint64_t> currentSession{0};  // written under viewLock
}  // namespace

std::shared_ptr<SearchView> GetSearchDialog() {
  std::lock_guard<std::mutex> hold(viewLock);
  return openDialog;
}

std::shared_ptr<SearchView> GetSearchDialog(uint64_t session) {
  std::lock_guard<std::mutex> hold(viewLock);
  return currentSession == session ? openDialog : nullptr;
}

void SetSearchDialog(std::shared_ptr<SearchView> view) {
  std::lock_guard<std::mutex> hold(viewLock);
  openDialog = std::move(view);
  ++currentSession;
}

uint64_t CurrentSearchSession() { return currentSession; }

bool SearchSessionIs(uint64_t session) { return currentSession == session; }

}  // namespace qb

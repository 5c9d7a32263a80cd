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
std::atomic<uint64_t> session{0};  // written under viewLock
}  // namespace

std::shared_ptr<SearchView> GetSearchDialog() {
  std::lock_guard<std::mutex> hold(viewLock);
  return openDialog;
}

std::shared_ptr<SearchView> GetSearchDialog(uint64_t of) {
  std::lock_guard<std::mutex> hold(viewLock);
  return session == of ? openDialog : nullptr;
}

void SetSearchDialog(std::shared_ptr<SearchView> view) {
  std::lock_guard<std::mutex> hold(viewLock);
  openDialog = std::move(view);
  ++session;
}

uint64_t CurrentSearchSession() { return session; }

bool SearchSessionIs(uint64_t of) { return session == of; }

}  // namespace qb

#include "core/ui_door.h"

#include <future>
#include <memory>
#include <mutex>

namespace qb {

namespace {
std::mutex doorLock;
std::function<void(UiTask)> posterFn;
std::function<bool()> onUiFn;
bool closed = false;
}  // namespace

void SetUiPoster(std::function<void(UiTask)> poster, std::function<bool()> isUiThread) {
  std::lock_guard<std::mutex> hold(doorLock);
  posterFn = std::move(poster);
  onUiFn = std::move(isUiThread);
  closed = false;
}

void CloseUiDoor() {
  std::lock_guard<std::mutex> hold(doorLock);
  posterFn = nullptr;
  onUiFn = nullptr;
  closed = true;
}

void PostToUi(UiTask task) {
  std::function<void(UiTask)> poster;
  {
    std::lock_guard<std::mutex> hold(doorLock);
    if (closed) return;
    poster = posterFn;
  }
  if (poster)
    poster(std::move(task));
  else
    task();
}

bool AskOnUi(std::function<bool()> question) {
  std::function<void(UiTask)> poster;
  bool onUi = true;
  {
    std::lock_guard<std::mutex> hold(doorLock);
    if (closed) return false;
    poster = posterFn;
    if (onUiFn) onUi = onUiFn();
  }
  if (!poster || onUi) return question();
  auto answer = std::make_shared<std::promise<bool>>();
  std::future<bool> result = answer->get_future();
  // The task holds the only promise: dropped unrun, it breaks it.
  poster([answer = std::move(answer), question = std::move(question)] {
    answer->set_value(question());
  });
  try {
    return result.get();
  } catch (const std::future_error&) {
    return false;
  }
}

}  // namespace qb

#include "core/ui_door.h"

#include <future>
#include <memory>
#include <mutex>

namespace qb {

namespace {
std::mutex doorLock;
std::function<void(UiTask)> posterFn;
std::function<bool()> onUiFn;
}  // namespace

void SetUiPoster(std::function<void(UiTask)> poster, std::function<bool()> isUiThread) {
  std::lock_guard<std::mutex> hold(doorLock);
  posterFn = std::move(poster);
  onUiFn = std::move(isUiThread);
}

void PostToUi(UiTask task) {
  std::function<void(UiTask)> poster;
  {
    std::lock_guard<std::mutex> hold(doorLock);
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
    poster = posterFn;
    if (onUiFn) onUi = onUiFn();
  }
  if (!poster || onUi) return question();
  auto answer = std::make_shared<std::promise<bool>>();
  std::future<bool> result = answer->get_future();
  poster([answer, question = std::move(question)] { answer->set_value(question()); });
  return result.get();
}

}  // namespace qb

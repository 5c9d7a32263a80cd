#pragma once
// The one way from another thread to a window: work is carried to the UI
// thread and dropped there when the window has gone, where that check cannot
// race with the window's destruction.
#include <memory>
#include <utility>

#include <wx/weakref.h>

#include "core/ui_door.h"

namespace qb {

template <class Window>
class WindowLink : public std::enable_shared_from_this<WindowLink<Window>> {
 public:
  // UI thread only.
  static std::shared_ptr<WindowLink> To(Window* window) {
    return std::shared_ptr<WindowLink>(new WindowLink(window));
  }

  // UI thread: from now on all work is dropped. Call it before the window goes
  // when other threads may still hold the link, so that their last copy never
  // unhooks a live window off the UI thread.
  void Detach() { window_.Release(); }

  // Any thread: action(window) later on the UI thread, if the window still exists.
  template <class Action>
  void Post(Action action) {
    PostToUi([self = this->shared_from_this(), action = std::move(action)]() mutable {
      if (Window* w = self->window_) action(*w);
    });
  }

  // Any thread: question(window) on the UI thread, waited for; false when the
  // window or the UI thread's loop has gone.
  template <class Question>
  bool Ask(Question question) {
    return AskOnUi([self = this->shared_from_this(), question = std::move(question)]() mutable {
      Window* w = self->window_;
      return w ? question(*w) : false;
    });
  }

 private:
  explicit WindowLink(Window* window) : window_(window) {}
  wxWeakRef<Window> window_;  // UI thread only
};

}  // namespace qb

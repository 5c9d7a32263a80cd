#pragma once
// Starts the thread that shows a changed notice and keeps the usage counter of
// the main dialog up to date. Called once, on the UI thread; the thread lives
// as long as the process.
#include <cstdint>
#include <memory>
#include <string>

#include <wx/weakref.h>
#include <wx/window.h>

#include "app/version_check.h"

namespace qb {

// The windows of the version check. Make and destroy it on the UI thread; its
// calls come from the check's thread and are carried over by the UI door.
class WxVersionCheckView : public VersionCheckView,
                           public std::enable_shared_from_this<WxVersionCheckView> {
 public:
  explicit WxVersionCheckView(wxWindow* mainDialog) : mainDialog_(mainDialog) {}
  void ShowNotice(const std::string& text) override;
  // Dropped when the main dialog has gone by the time the UI thread runs it.
  void ShowCounter(int32_t users) override;

 private:
  wxWeakRef<wxWindow> mainDialog_;  // touched on the UI thread only
};

void StartVersionCheck(wxWindow* mainDialog);

}  // namespace qb

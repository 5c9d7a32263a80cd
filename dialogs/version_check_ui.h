#pragma once
// Starts the thread that shows a changed notice and keeps the usage counter of
// the main dialog up to date. Called once, on the UI thread; the thread lives
// as long as the process.
#include <cstdint>
#include <memory>
#include <string>

#include <wx/window.h>

#include "ui/window_link.h"
#include "version/version_check.h"

namespace qb {

// The windows of the version check. Make it on the UI thread; its calls come
// from the check's thread.
class WxVersionCheckView : public VersionCheckView {
 public:
  explicit WxVersionCheckView(wxWindow* mainDialog)
      : mainDialog_(WindowLink<wxWindow>::To(mainDialog)) {}
  // Returns when the notice has been closed, or could not be shown.
  void ShowNotice(const std::string& text) override;
  // Dropped when the main dialog has gone by the time the UI thread runs it.
  void ShowCounter(int32_t users) override;

 private:
  std::shared_ptr<WindowLink<wxWindow>> mainDialog_;
};

void StartVersionCheck(wxWindow* mainDialog);

}  // namespace qb

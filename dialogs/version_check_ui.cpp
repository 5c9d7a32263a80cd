#include "dialogs/version_check_ui.h"

#include <future>

#include <wx/textentry.h>

#include "core/controls.h"
#include "core/program_folders.h"
#include "core/settings.h"
#include "core/ui_door.h"
#include "dialogs/infos_dialog.h"
#include "resources/resource_module.h"

namespace qb {

void WxVersionCheckView::ShowNotice(const std::string& text) {
  auto closed = std::make_shared<std::promise<void>>();
  std::future<void> done = closed->get_future();
  // Kept once the dialog has closed or could not be shown; a task the UI
  // thread drops breaks it instead.
  PostToUi([text, closed = std::move(closed)] {
    Tinfos::Run(text);
    closed->set_value();
  });
  try {
    done.get();
  } catch (const std::future_error&) {
  }
}

void WxVersionCheckView::ShowCounter(int32_t users) {
  mainDialog_->Post([users](wxWindow& dialog) {
    wxWindow* field = dialog.FindWindow(IdUsers);
    if (!field) return;
    const wxString number = wxString::Format("%d", static_cast<int>(users));
    if (auto* entry = dynamic_cast<wxTextEntry*>(field))
      entry->ChangeValue(number);
    else
      field->SetLabel(number);
  });
}

void StartVersionCheck(wxWindow* mainDialog) {
  VersionCheckConfig config;
  config.noticeUrl = NoticeUrl(ResourceModule::String(108).utf8_string());
  config.counterUrl = CounterUrl();
  config.noticeFile = ConfigPath(NoticeFileName);
  // Never stopped nor freed: the thread lives until the process ends.
  auto* check =
      new VersionCheck(std::move(config), std::make_shared<WxVersionCheckView>(mainDialog));
  check->Start();
}

}  // namespace qb

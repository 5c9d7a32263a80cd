#include "app/version_check_ui.h"

#include <future>

#include <wx/textentry.h>

#include "app/infos_dialog.h"
#include "core/settings.h"
#include "core/ui_door.h"
#include "resources/resource_module.h"

namespace qb {

void WxVersionCheckView::ShowNotice(const std::string& text) {
  auto closed = std::make_shared<std::promise<void>>();
  std::future<void> done = closed->get_future();
  PostToUi([text, closed] {
    if (!Tinfos::Open(nullptr, text, [closed](int) { closed->set_value(); })) {
      closed->set_value();
    }
  });
  done.wait();
}

void WxVersionCheckView::ShowCounter(int32_t users) {
  PostToUi([self = shared_from_this(), users] {
    wxWindow* dialog = self->mainDialog_.get();
    wxWindow* field = dialog ? dialog->FindWindow(11108) : nullptr;
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
  config.noticeFile = ExeDir + NoticeFileName;
  // Never stopped nor freed: the thread lives until the process ends.
  auto* check =
      new VersionCheck(std::move(config), std::make_shared<WxVersionCheckView>(mainDialog));
  check->Start();
}

}  // namespace qb

#include "ui/message_box.h"

#include <wx/msgdlg.h>

#include <mutex>

namespace qb {

namespace {
std::mutex responderLock;
MessageResponder responderFn;

long Flags(MessageStyle style) {
  switch (style) {
    case MessageStyle::Question:
      return wxYES_NO | wxNO_DEFAULT | wxICON_QUESTION;
    case MessageStyle::Information:
      return wxOK | wxICON_INFORMATION;
    case MessageStyle::Exclamation:
      return wxOK | wxICON_EXCLAMATION;
    case MessageStyle::Error:
      return wxOK | wxICON_ERROR;
  }
  return wxOK;
}
}  // namespace

bool ShowMessage(wxWindow* parent, const wxString& text, const wxString& caption,
                 MessageStyle style) {
  MessageResponder responder;
  {
    std::lock_guard<std::mutex> hold(responderLock);
    responder = responderFn;
  }
  // A box without a title would not say which program asks.
  const wxString title = caption.empty() ? wxString(DefaultCaption) : caption;
  if (responder) return responder({text, title, style});
  wxMessageDialog box(parent, text, title, Flags(style) | wxCENTRE);
  const int answer = box.ShowModal();
  return answer == wxID_YES || answer == wxID_OK;
}

void SetMessageResponder(MessageResponder responder) {
  std::lock_guard<std::mutex> hold(responderLock);
  responderFn = std::move(responder);
}

}  // namespace qb

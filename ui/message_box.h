#pragma once
// Every message box of the program goes through here, so that tests can answer
// them instead of a user.
#include <functional>

#include <wx/string.h>

#include "core/message_style.h"

class wxWindow;

namespace qb {

struct MessageRequest {
  wxString text;
  wxString caption;
  MessageStyle style;
};

inline constexpr const char* DefaultCaption = "FTP Quillbrook";

// Shows a modal box centred over parent (null: no owner), titled caption or,
// when that is empty, DefaultCaption; true for Yes or OK.
bool ShowMessage(wxWindow* parent, const wxString& text, const wxString& caption,
                 MessageStyle style);

// Tests: the responder answers every box instead of a user; null restores the
// real boxes.
using MessageResponder = std::function<bool(const MessageRequest&)>;
void SetMessageResponder(MessageResponder responder);

}  // namespace qb

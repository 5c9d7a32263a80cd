#include "ui/clipboard.h"

#include <wx/clipbrd.h>

#include "ui/display_text.h"

namespace qb {

void CopyToClipboard(const std::string& text) {
  if (!wxTheClipboard->Open()) return;
  wxTheClipboard->SetData(new wxTextDataObject(ToDisplayText(text)));
  wxTheClipboard->Flush();
  wxTheClipboard->Close();
}

}  // namespace qb

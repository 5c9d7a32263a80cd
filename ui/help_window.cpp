#include "ui/help_window.h"

#include <wx/html/htmlwin.h>

#include <fstream>
#include <iterator>

#include "ui/display_text.h"
#include "ui/message_box.h"

namespace qb {

namespace {
HelpWindow* openHelp = nullptr;  // UI thread only
// Far more than the packed pages; a larger file is not the help.
constexpr std::streamsize MaxHelpBytes = 4 << 20;

bool ReadHelp(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad() && static_cast<std::streamsize>(text->size()) <= MaxHelpBytes;
}
}  // namespace

HelpWindow::HelpWindow()
    : wxFrame(nullptr, wxID_ANY, "FTP Quillbrook help", wxDefaultPosition, wxSize(640, 560)) {
  page_ = new wxHtmlWindow(this, wxID_ANY);
}

HelpWindow::~HelpWindow() {
  if (openHelp == this) openHelp = nullptr;
}

HelpWindow* HelpWindow::Show(wxWindow* askedBy, const std::string& path) {
  std::string text;
  if (!ReadHelp(path, &text)) {
    ShowMessage(askedBy, ToDisplayText("The help cannot be read from " + path + "."),
                DefaultCaption, MessageStyle::Error);
    return nullptr;
  }
  if (!openHelp) {
    openHelp = new HelpWindow;
    if (wxWindow* over = askedBy ? wxGetTopLevelParent(askedBy) : nullptr) {
      const wxRect area = over->GetScreenRect();
      openHelp->Move(area.GetPosition() + (area.GetSize() - openHelp->GetSize()) / 2);
    }
  }
  // Links inside the document are anchors of this one page, which the window
  // follows by itself.
  openHelp->page_->SetPage(wxString::FromUTF8(text.data(), text.size()));
  openHelp->wxFrame::Show();
  openHelp->Raise();
  return openHelp;
}

}  // namespace qb

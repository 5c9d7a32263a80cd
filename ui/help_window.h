#pragma once
// The help: the packed HTML help document shown in a window of the program's
// own. Desktops hand a file named like the help document to a viewer of another
// format, or to nothing.
#include <string>

#include <wx/frame.h>

class wxHtmlWindow;

namespace qb {

class HelpWindow : public wxFrame {
 public:
  // The one help window, made or raised, showing the document at path; null
  // after a message box when the document cannot be read.
  static HelpWindow* Show(wxWindow* askedBy, const std::string& path);
  wxHtmlWindow* Page() const { return page_; }

 private:
  HelpWindow();
  ~HelpWindow() override;
  wxHtmlWindow* page_ = nullptr;
};

}  // namespace qb

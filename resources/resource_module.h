#pragma once
// The resource library "FtpRes.so": dialog templates, menus, icons, the cursor
// and the string table, each reached by its number. Load it once at start-up.
#include <string>

#include <wx/bitmap.h>
#include <wx/cursor.h>
#include <wx/string.h>

class wxDialog;
class wxMenu;
class wxMenuBar;
class wxPanel;
class wxWindow;

namespace qb {

class ResourceModule {
 public:
  // Loads dir + "FtpRes.so" (dir ends with a separator) and registers its
  // templates. On failure error names the file and the reason.
  static bool Load(const std::string& dir, std::string* error);
  static bool IsLoaded();
  // Two-step creation of a template's window; false when the template is missing.
  static bool LoadDialog(wxDialog* dialog, wxWindow* parent, int number);
  static bool LoadPanel(wxPanel* panel, wxWindow* parent, int number);
  // New objects owned by the caller, or null.
  static wxMenuBar* MenuBar(int number);
  static wxMenu* Menu(int number);
  // Invalid bitmap or cursor, or an empty text, when the number is unknown.
  static wxBitmap Icon(int number);
  static wxCursor Cursor(int number);
  static wxString String(int number);
  // The library's file name, e.g. for error texts.
  static std::string FileName();
};

}  // namespace qb

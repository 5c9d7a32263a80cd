#include "resources/resource_module.h"

#include <dlfcn.h>

#include <wx/dialog.h>
#include <wx/dynlib.h>
#include <wx/image.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/xrc/xmlres.h>

#include "resources/ftp_res_api.h"

namespace qb {

namespace {
// Loaded once, never freed: templates registered from it stay in use.
wxDynamicLibrary* library = nullptr;
FtpResIconFn iconFn = nullptr;
FtpResCursorFn cursorFn = nullptr;
FtpResStringFn stringFn = nullptr;

wxString Name(int number) { return wxString::Format("%d", number); }
}  // namespace

std::string ResourceModule::FileName() {
  // A module, not a "lib" library: the file is "FtpRes.so".
  return wxDynamicLibrary::CanonicalizeName("FtpRes", wxDL_MODULE).ToStdString();
}

bool ResourceModule::Load(const std::string& dir, std::string* error) {
  if (library) return true;
  const std::string path = dir + FileName();
  auto* lib = new wxDynamicLibrary;
  // dlerror() tells why; wx would otherwise put up its own log window.
  if (!lib->Load(wxString::FromUTF8(path.c_str()), wxDL_NOW | wxDL_QUIET)) {
    if (error) {
      // dlerror() names the file itself; the message names it once.
      const char* said = dlerror();
      std::string why = said ? said : "";
      if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
      *error = "cannot load the resource library " + path + (why.empty() ? "" : ": " + why);
    }
    delete lib;
    return false;
  }
  auto init = reinterpret_cast<FtpResInitFn>(lib->GetSymbol("FtpResInit"));
  auto icon = reinterpret_cast<FtpResIconFn>(lib->GetSymbol("FtpResIcon"));
  auto cursor = reinterpret_cast<FtpResCursorFn>(lib->GetSymbol("FtpResCursor"));
  auto text = reinterpret_cast<FtpResStringFn>(lib->GetSymbol("FtpResString"));
  if (!init || !icon || !cursor || !text || !init()) {
    if (error) *error = "the resource library " + path + " is not a valid resource library";
    delete lib;
    return false;
  }
  iconFn = icon;
  cursorFn = cursor;
  stringFn = text;
  library = lib;
  return true;
}

bool ResourceModule::IsLoaded() { return library != nullptr; }

bool ResourceModule::LoadDialog(wxDialog* dialog, wxWindow* parent, int number) {
  return library && wxXmlResource::Get()->LoadDialog(dialog, parent, Name(number));
}

bool ResourceModule::LoadPanel(wxPanel* panel, wxWindow* parent, int number) {
  return library && wxXmlResource::Get()->LoadPanel(panel, parent, Name(number));
}

wxMenuBar* ResourceModule::MenuBar(int number) {
  return library ? wxXmlResource::Get()->LoadMenuBar(nullptr, Name(number)) : nullptr;
}

wxMenu* ResourceModule::Menu(int number) {
  return library ? wxXmlResource::Get()->LoadMenu(Name(number)) : nullptr;
}

wxBitmap ResourceModule::Icon(int number) {
  const char* const* xpm = iconFn ? iconFn(number) : nullptr;
  return xpm ? wxBitmap(xpm) : wxBitmap();
}

wxCursor ResourceModule::Cursor(int number) {
  int hotX = 0, hotY = 0;
  const char* const* xpm = cursorFn ? cursorFn(number, &hotX, &hotY) : nullptr;
  if (!xpm) return wxCursor();
  wxImage image(xpm);
  image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_X, hotX);
  image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_Y, hotY);
  return wxCursor(image);
}

wxString ResourceModule::String(int number) {
  const char* text = stringFn ? stringFn(number) : nullptr;
  return text ? wxString::FromUTF8(text) : wxString();
}

}  // namespace qb

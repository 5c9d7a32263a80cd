// Entry of the GUI test binaries: a bare wxApp (not the program's own) with the
// resource library loaded from the build's output folder.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/debug.h>
#include <wx/init.h>
#include <wx/log.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/settings.h"
#include "resources/resource_module.h"

using namespace qb;

namespace {
class TestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

// An assertion would otherwise open a modal box that nobody answers.
void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
  ADD_FAILURE() << "wx assertion in " << func << " at " << file << ":" << line << ": " << cond
                << " " << msg;
}
}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  wxSetAssertHandler(FailOnAssert);
  wxApp::SetInstance(new TestApp);
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    std::fprintf(stderr, "cannot start the window toolkit\n");
    return 2;
  }
  delete wxLog::SetActiveTarget(new wxLogStderr);
  const char* build = std::getenv("QB_BUILD_DIR");
  std::string error;
  if (!build || !ResourceModule::Load(std::string(build) + "/bin/", &error)) {
    std::fprintf(stderr, "%s\n", build ? error.c_str() : "QB_BUILD_DIR is not set");
    return 2;
  }
  // The program's own files (animation, help) lie beside the library.
  ExeDir = std::string(build) + "/bin/";
  const int rc = RUN_ALL_TESTS();
  std::fflush(nullptr);
  // Windows and threads of the tests are not torn down one by one.
  std::_Exit(rc);
}

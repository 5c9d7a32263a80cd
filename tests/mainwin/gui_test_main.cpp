// Entry of the GUI test binaries: a bare wxApp (not the program's own) with the
// resource library loaded from the build's output folder.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/thread.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/settings.h"
#include "core/ui_door.h"
#include "tests/support/gui_driver.h"

using namespace qb;

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const std::string build = qbtest::StartGuiTests(argc, argv);
  if (build.empty()) return 2;
  // The program's own files (animation, help) lie beside the library.
  ExeDir = build + "/bin/";
  // Work handed to the window thread runs there, as in the program: without a
  // door it would run on the thread that hands it over, racing the test.
  SetUiPoster([](UiTask task) { wxTheApp->CallAfter(std::move(task)); },
              [] { return wxThread::IsMain(); });
  const int rc = RUN_ALL_TESTS();
  std::fflush(nullptr);
  // Windows and threads of the tests are not torn down one by one.
  std::_Exit(rc);
}

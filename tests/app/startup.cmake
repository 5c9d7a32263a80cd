find_package(X11 REQUIRED)
qb_gui_test(startup_gui_test SOURCES startup_test.cpp LIBS X11::X11)
add_dependencies(startup_gui_test quillbrook FtpRes)

qb_gui_test(startup_frame_gui_test
  SOURCES ${PROJECT_SOURCE_DIR}/tests/mainwin/gui_test_main.cpp startup_frame_test.cpp
  LIBS qb_app_frame)

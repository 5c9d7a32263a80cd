qb_gui_test(mainwin_gui_test
  SOURCES gui_test_main.cpp resources_test.cpp main_dialog_test.cpp
  LIBS qb_mainwin qb_resource_client)

qb_test(mainwin_logic_test
  SOURCES list_logic_test.cpp layout_test.cpp site_list_pass_test.cpp avi_clip_test.cpp
  LIBS qb_mainwin_logic)
# The animation is read from the build's output folder.
target_compile_definitions(mainwin_logic_test PRIVATE QB_BIN_DIR="${PROJECT_BINARY_DIR}/bin")
add_dependencies(mainwin_logic_test FtpRes)

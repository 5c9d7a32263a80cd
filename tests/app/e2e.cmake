# End to end: the program's application object in-process against the testbed.
qb_gui_test(e2e_test
  SOURCES e2e_test.cpp ${PROJECT_SOURCE_DIR}/app/app_frame.cpp
  LIBS qb_mainwin qb_resource_client qb_test_gui)
target_include_directories(e2e_test PRIVATE ${PROJECT_SOURCE_DIR} ${QB_APP_ICON_DIR})
add_dependencies(e2e_test qb_app_icon FtpRes)

# The testbed's own logic: the settings file it rewrites and the pages it serves.
add_test(NAME testbed_test COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/testbed/testbed_test.py)

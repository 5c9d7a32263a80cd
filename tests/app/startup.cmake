qb_gui_test(startup_gui_test SOURCES startup_test.cpp LIBS)
add_dependencies(startup_gui_test quillbrook FtpRes)

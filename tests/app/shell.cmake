qb_test(version_check_tests
  SOURCES version_check_test.cpp
  LIBS qb_version_check qb_test_http)

qb_gui_test(shell_dialogs_tests
  SOURCES shell_dialogs_test.cpp
  LIBS qb_shell_dialogs qb_test_http)

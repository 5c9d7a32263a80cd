qb_gui_test(resources_gui_test
  SOURCES gui_test_main.cpp resources_test.cpp
  LIBS qb_resource_client)

qb_test(search_run_test SOURCES search_run_test.cpp LIBS qb_search qb_test_http)
if(NOT QB_HEADLESS)
  qb_gui_test(search_dialog_test SOURCES search_dialog_test.cpp
    LIBS qb_search_ui qb_resource_client qb_test_http qb_test_gui)
endif()

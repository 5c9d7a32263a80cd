qb_test(engine_tests
  SOURCES engine_scan_test.cpp engine_thread_test.cpp
  LIBS qb_search qb_test_http)

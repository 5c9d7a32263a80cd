qb_test(search_run_test SOURCES search_run_test.cpp LIBS qb_search qb_test_http)

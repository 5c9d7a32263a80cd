qb_test(http_fetcher_tests SOURCES http_fetcher_test.cpp LIBS qb_net qb_test_http)

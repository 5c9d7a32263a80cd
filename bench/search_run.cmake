qb_bench(bench_search_run SOURCES bench_search_run.cpp LIBS qb_search qb_test_http)

qb_bench(bench_core SOURCES bench_core.cpp LIBS qb_core)
qb_bench(bench_engines SOURCES bench_engines.cpp LIBS qb_search)

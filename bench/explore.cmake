qb_bench(bench_explore SOURCES bench_explore.cpp LIBS qb_explore)
# Needs pyftpdlib and takes tens of seconds: run by hand, not by `make bench`.
add_executable(explore_efficiency explore_efficiency.cpp)
target_link_libraries(explore_efficiency PRIVATE qb_explore qb_test_ftp)

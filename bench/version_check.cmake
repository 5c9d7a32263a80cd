# The version check's library exists only in builds with windows.
if(TARGET qb_version_check)
  qb_bench(bench_version_check SOURCES bench_version_check.cpp LIBS qb_version_check)
endif()

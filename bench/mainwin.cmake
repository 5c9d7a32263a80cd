if(NOT QB_HEADLESS)
  qb_bench(bench_mainwin SOURCES bench_mainwin.cpp LIBS qb_mainwin qb_resource_client)
  target_compile_definitions(bench_mainwin PRIVATE QB_BIN_DIR="${PROJECT_BINARY_DIR}/bin")
endif()

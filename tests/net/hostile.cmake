# Hostile servers, fuzz-input replays and fault injection live in tests/hostile.
add_subdirectory(${PROJECT_SOURCE_DIR}/tests/hostile ${CMAKE_CURRENT_BINARY_DIR}/hostile)

# Loopback HTTP server for tests of anything that fetches pages.
add_library(qb_test_http STATIC http_test_server.cpp)
target_include_directories(qb_test_http PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qb_test_http PUBLIC Threads::Threads)

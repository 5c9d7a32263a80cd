add_library(qb_test_hostile STATIC hostile_server.cpp ftp_dialogue.cpp)
target_include_directories(qb_test_hostile PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qb_test_hostile PUBLIC qb_net Threads::Threads)

qb_test(hostile_http_tests SOURCES http_hostile_test.cpp LIBS qb_net qb_test_hostile)
qb_test(hostile_ftp_tests SOURCES ftp_hostile_test.cpp LIBS qb_explore qb_test_hostile)
qb_test(hostile_engine_fill_tests SOURCES engine_fill_test.cpp LIBS qb_search qb_test_hostile)

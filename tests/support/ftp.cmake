# Scripted fake FTP server and the pyftpdlib fixture, for tests of FTP clients.
add_library(qb_test_ftp STATIC fake_ftp_server.cpp pyftpd_fixture.cpp)
target_include_directories(qb_test_ftp PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(qb_test_ftp PRIVATE QB_TEST_SUPPORT_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(qb_test_ftp PUBLIC qb_net Threads::Threads)

qb_test(version_check_tests
  SOURCES version_check_test.cpp
  LIBS qb_version_check qb_test_http)

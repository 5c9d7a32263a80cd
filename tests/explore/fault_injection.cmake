qb_test(explore_fault_injection_tests SOURCES fault_injection_test.cpp
  LIBS qb_explore qb_test_hostile)

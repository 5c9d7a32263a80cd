qb_test(net_listing_parser_tests SOURCES listing_parser_test.cpp LIBS qb_net)
qb_test(net_ftp_channel_tests SOURCES ftp_channel_test.cpp LIBS qb_net qb_test_ftp)
qb_test(net_ftp_session_tests SOURCES ftp_session_test.cpp LIBS qb_net qb_test_ftp)

target_sources(qb_net PRIVATE ftp_channel.cpp listing_parser.cpp explore_site.cpp)

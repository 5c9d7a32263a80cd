target_sources(qb_net PRIVATE http_fetcher.cpp)

target_sources(qb_search PRIVATE search_run.cpp)

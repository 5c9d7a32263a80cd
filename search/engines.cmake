target_sources(qb_search PRIVATE engine.cpp)

target_sources(qb_explore PRIVATE exploration_scheduler.cpp site_worker.cpp)

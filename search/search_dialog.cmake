# qb_search_ui: the search dialog (window toolkit), only in a full build. This
# folder is added before the top level finds wx, so the part finds it itself and
# applies it to its own target only, keeping qb_search free of wx flags.
if(NOT QB_HEADLESS)
  find_package(wxWidgets REQUIRED COMPONENTS xrc html adv core base)
  add_library(qb_search_ui STATIC search_dialog.cpp)
  target_include_directories(qb_search_ui PUBLIC ${PROJECT_SOURCE_DIR})
  target_include_directories(qb_search_ui SYSTEM PUBLIC ${wxWidgets_INCLUDE_DIRS})
  target_compile_definitions(qb_search_ui PUBLIC ${wxWidgets_DEFINITIONS})
  target_compile_options(qb_search_ui PUBLIC ${wxWidgets_CXX_FLAGS})
  target_link_libraries(qb_search_ui PUBLIC qb_search
    qb_resource_client qb_avi_player ${wxWidgets_LIBRARIES})
endif()

# Headless pieces of the main window: list texts and sorting, the site-list
# pass, layout arithmetic and the clip reader. Tested without a display.
add_library(qb_mainwin_logic STATIC
  ${CMAKE_CURRENT_LIST_DIR}/list_logic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/site_list_pass.cpp
  ${CMAKE_CURRENT_LIST_DIR}/layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/avi_clip.cpp)
target_include_directories(qb_mainwin_logic PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qb_mainwin_logic PUBLIC qb_core)

# The animation control, shared with the search dialog.
add_library(qb_avi_player STATIC ${CMAKE_CURRENT_LIST_DIR}/avi_player.cpp)
target_include_directories(qb_avi_player PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qb_avi_player PUBLIC qb_mainwin_logic ${wxWidgets_LIBRARIES})

add_library(qb_mainwin STATIC ${CMAKE_CURRENT_LIST_DIR}/main_dialog.cpp)
target_include_directories(qb_mainwin PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qb_mainwin PUBLIC
  qb_avi_player qb_mainwin_logic qb_resource_client qb_search_ui qb_shell_dialogs
  qb_explore qb_search qb_core ${wxWidgets_LIBRARIES})

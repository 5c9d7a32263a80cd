# The version check's logic needs no window toolkit and is tested headless.
add_library(qb_version_check STATIC ${CMAKE_CURRENT_LIST_DIR}/version_check.cpp)
target_link_libraries(qb_version_check PUBLIC qb_net qb_core)

# The shell's secondary windows: settings sheet, about and information dialogs,
# and the wx side of the version check.
add_library(qb_shell_dialogs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/settings_sheet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/about_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/infos_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/version_check_ui.cpp
)
target_link_libraries(qb_shell_dialogs PUBLIC qb_version_check qb_resource_client qb_core ${wxWidgets_LIBRARIES})

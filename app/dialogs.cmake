# The shell's secondary windows: settings sheet, about and information dialogs,
# and the wx side of the version check.
add_library(qb_shell_dialogs STATIC
  ${CMAKE_CURRENT_LIST_DIR}/settings_sheet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/about_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/version_check_ui.cpp
)
target_link_libraries(qb_shell_dialogs PUBLIC qb_core ${wxWidgets_LIBRARIES})

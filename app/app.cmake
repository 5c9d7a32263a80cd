# The program: start-up, application object and frame window.
add_library(qb_app_frame STATIC ${CMAKE_CURRENT_LIST_DIR}/app_frame.cpp)
add_dependencies(qb_app_frame qb_app_icon)
target_include_directories(qb_app_frame PUBLIC ${PROJECT_SOURCE_DIR} PRIVATE ${QB_APP_ICON_DIR})
target_link_libraries(qb_app_frame PUBLIC qb_mainwin qb_resource_client qb_core ${wxWidgets_LIBRARIES})

add_executable(quillbrook ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
add_dependencies(quillbrook FtpRes)
target_link_libraries(quillbrook PRIVATE qb_app_frame)
set_target_properties(quillbrook PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

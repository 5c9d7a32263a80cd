# The program: start-up, application object and frame window.
add_executable(quillbrook ${CMAKE_CURRENT_LIST_DIR}/main.cpp ${CMAKE_CURRENT_LIST_DIR}/app_frame.cpp)
add_dependencies(quillbrook qb_app_icon FtpRes)
target_include_directories(quillbrook PRIVATE ${PROJECT_SOURCE_DIR} ${QB_APP_ICON_DIR})
target_link_libraries(quillbrook PRIVATE qb_mainwin qb_resource_client qb_core ${wxWidgets_LIBRARIES})
set_target_properties(quillbrook PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

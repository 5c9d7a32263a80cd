# PNG screenshots for the GUI tests (window toolkit builds only).
if(NOT QB_HEADLESS)
  find_package(X11 REQUIRED)
  add_library(qb_test_screenshot STATIC screenshot.cpp)
  target_include_directories(qb_test_screenshot PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(qb_test_screenshot PUBLIC ${wxWidgets_LIBRARIES} X11::X11)
endif()

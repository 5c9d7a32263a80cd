# Helpers of the GUI tests: driving windows from a script thread, screenshots.
if(NOT QB_HEADLESS)
  find_package(X11 REQUIRED)
  add_library(qb_test_gui STATIC gui_driver.cpp screenshot.cpp)
  target_include_directories(qb_test_gui PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(qb_test_gui PUBLIC qb_core ${wxWidgets_LIBRARIES} X11::X11)
endif()

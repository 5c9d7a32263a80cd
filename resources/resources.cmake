# The resource library FtpRes.so, its client library, and the files that lie
# beside the executable: the animation and the help document.
set(QB_BIN_DIR ${PROJECT_BINARY_DIR}/bin)
find_program(QB_WXRC NAMES wxrc wxrc-3.2 REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Every template file present, including those other components add later.
file(GLOB qb_xrc_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.xrc)
list(SORT qb_xrc_files)
set(qb_xrc_cpp ${CMAKE_CURRENT_BINARY_DIR}/xrc_data.cpp)
add_custom_command(OUTPUT ${qb_xrc_cpp}
  COMMAND ${QB_WXRC} -c -n FtpResXrc -o ${qb_xrc_cpp} ${qb_xrc_files}
  DEPENDS ${qb_xrc_files}
  COMMENT "Compiling the dialog templates and menus")

set(qb_art_inc ${CMAKE_CURRENT_BINARY_DIR}/art.inc)
set(qb_app_icon ${CMAKE_CURRENT_BINARY_DIR}/app_icon.xpm)
set(qb_avi ${QB_BIN_DIR}/ZEVO.avi)
add_custom_command(OUTPUT ${qb_art_inc} ${qb_app_icon} ${qb_avi}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QB_BIN_DIR}
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/gen_art.py ${qb_art_inc} ${qb_app_icon} ${qb_avi}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/gen_art.py
  COMMENT "Drawing icons, cursor and animation")

set(qb_help_pages
  ${CMAKE_CURRENT_SOURCE_DIR}/help/index.html
  ${CMAKE_CURRENT_SOURCE_DIR}/help/search.html
  ${CMAKE_CURRENT_SOURCE_DIR}/help/results.html
  ${CMAKE_CURRENT_SOURCE_DIR}/help/settings.html)
set(qb_help ${QB_BIN_DIR}/ZevO.chm)
add_custom_command(OUTPUT ${qb_help}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QB_BIN_DIR}
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/pack_help.py ${qb_help} ${qb_help_pages}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/pack_help.py ${qb_help_pages}
  COMMENT "Packing the help pages")

add_library(FtpRes MODULE ftp_res.cpp ${qb_xrc_cpp} ${qb_art_inc} ${qb_avi} ${qb_help})
set_target_properties(FtpRes PROPERTIES
  PREFIX "" SUFFIX ".so"
  CXX_VISIBILITY_PRESET hidden
  LIBRARY_OUTPUT_DIRECTORY ${QB_BIN_DIR})
target_include_directories(FtpRes PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(FtpRes PRIVATE ${wxWidgets_LIBRARIES})

# The frame's own icon, drawn with the others; the executable includes it.
add_custom_target(qb_app_icon DEPENDS ${qb_app_icon})
set(QB_APP_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR} CACHE INTERNAL "")

add_library(qb_resource_client STATIC resource_module.cpp)
target_include_directories(qb_resource_client PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qb_resource_client PUBLIC ${wxWidgets_LIBRARIES} ${CMAKE_DL_LIBS})
# Loading the client without the library is an error only at run time; build both.
add_dependencies(qb_resource_client FtpRes)

# The mosaic maker: the grid over a panorama view, its maker dialog and the
# preview pane, compiled into the application with the panorama view's
# commands that start it. The tile-count edit is the tour maker's Edit_Enter.
target_sources(FendrakeApp PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/mosaic_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mosaic_maker_dlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mosaic_preview_pane.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../panorama/rect_map_commands.cpp)
target_link_libraries(FendrakeApp PUBLIC Tessiv)

# ImageMagick (debian-packages here) is the rotation check's oracle.
fendrake_test(mosaic_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/mosaic_layout_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/mosaic_maker_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/mosaic_commands_test.cpp
  LINKS FendrakeApp TestKit WinPresentX11)
if(TARGET mosaic_tests)
  add_dependencies(mosaic_tests fendrake_codecs)
endif()

# The image strip controls: a self-contained control set (no window of the
# application creates it) with its own tests.
fendrake_library(ImageStrip
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/strip_item_list.cpp
    ${CMAKE_CURRENT_LIST_DIR}/strip_scroll_bar.cpp
    ${CMAKE_CURRENT_LIST_DIR}/image_strip.cpp
  LINKS Viewkit Win Imaging)

fendrake_test(image_strip_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/strip_item_list_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/image_strip_test.cpp
  LINKS ImageStrip TestKit)

# Pairlock's overlap images of a pair (plane, polar and sphere) and the
# multi-channel pair aligner built on them. Included by this folder's
# CMakeLists.txt after the Pairlock target is declared.
target_sources(Pairlock PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/overlap_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlap_rr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/polar_overlap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlap_ss.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mfc_align.cpp)
target_link_libraries(Pairlock PUBLIC
  Mapproj Viewengine Mapdeck Sceneio Panocore Xformkit Polykit Curvekit Utilkit Imaging)

fendrake_test(pairlock_overlap_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tests/overlap_test_util.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/overlap_rr_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/polar_overlap_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/overlap_ss_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/mfc_align_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tests/mfc_align_e2e_test.cpp
  LINKS Pairlock Mapproj Viewengine Mapdeck Jpegkit Xformkit Polykit Imaging TestKit)

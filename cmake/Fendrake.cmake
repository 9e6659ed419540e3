# Helpers shared by every folder's CMakeLists.txt.

# fendrake_add_folder(<folder>): adds <folder> when it has a CMakeLists.txt,
# otherwise each of its subfolders that has one.
function(fendrake_add_folder folder)
  set(dir ${PROJECT_SOURCE_DIR}/${folder})
  if(NOT IS_DIRECTORY ${dir})
    return()
  endif()
  if(EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
    return()
  endif()
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${dir} ${dir}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${dir}/${child} AND EXISTS ${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${dir}/${child})
    endif()
  endforeach()
endfunction()

# fendrake_library(<target> SOURCES ... [LINKS ...] [STATIC])
# One deliverable or stand-in module: a shared library named after the
# deliverable (libJpegkit.so for "Jpegkit.dll").
function(fendrake_library name)
  cmake_parse_arguments(ARG "STATIC" "" "SOURCES;LINKS" ${ARGN})
  if(ARG_STATIC)
    add_library(${name} STATIC ${ARG_SOURCES})
  else()
    add_library(${name} SHARED ${ARG_SOURCES})
  endif()
  if(ARG_LINKS)
    target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  endif()
endfunction()

# fendrake_test(<target> SOURCES ... [LINKS ...])
# A GoogleTest executable registered test by test with CTest.
function(fendrake_test name)
  if(NOT FENDRAKE_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gmock GTest::gtest_main)
  # Test code is mostly GoogleTest templates: light optimisation and no debug
  # information compile it in half the time, while the libraries under test
  # keep the build's flags. In the sanitizer build the libraries are
  # instrumented and the test code is not (the runtime is still linked in and
  # watches every allocation), which makes that build three times faster.
  target_compile_options(${name} PRIVATE -O1 -g0)
  if(FENDRAKE_SANITIZE)
    target_compile_options(${name} PRIVATE -fno-sanitize=all)
  endif()
  target_compile_definitions(${name} PRIVATE
    FENDRAKE_TESTDATA_DIR="${FENDRAKE_TESTDATA_DIR}"
    FENDRAKE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "FENDRAKE_TESTDATA=${FENDRAKE_TESTDATA_DIR}")
endfunction()

# fendrake_bench(<target> SOURCES ... [LINKS ...])
function(fendrake_bench name)
  if(NOT FENDRAKE_BENCH)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINKS} benchmark::benchmark benchmark::benchmark_main)
  add_dependencies(bench ${name})
endfunction()

# fendrake_fuzzer(<target> OPTION <option> LIBRARY <library> SOURCES ...)
# A libFuzzer program over one library, built only when <option> (off by
# default) is on: clang only, never part of the tests. The library is
# instrumented too, for coverage feedback.
function(fendrake_fuzzer name)
  cmake_parse_arguments(ARG "" "OPTION;LIBRARY" "SOURCES" ${ARGN})
  option(${ARG_OPTION} "Build the libFuzzer target ${name}" OFF)
  if(NOT ${ARG_OPTION})
    return()
  endif()
  target_compile_options(${ARG_LIBRARY} PRIVATE -fsanitize=fuzzer-no-link)
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARY})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endfunction()

# The view engine: perspective frames from the faces of a 4096 x 2048
# panorama against memcpy and a per-pixel ray-caster, and the face build.
fendrake_bench(bench_viewengine SOURCES bench_viewengine.cpp LINKS Viewengine Mapdeck Imaging)
if(TARGET bench_viewengine)
  target_compile_definitions(bench_viewengine PRIVATE FENDRAKE_TESTDATA_DIR="${FENDRAKE_TESTDATA_DIR}")
endif()

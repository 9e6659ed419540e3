# The correlation refiner of Warpfit on a real 2-megapixel pair rendered
# from the shared Durlach panorama: the direct NCC kernels per multiply-add,
# the grid pass and the whole refinement per pair.
fendrake_bench(bench_warpfit SOURCES bench_warpfit.cpp LINKS WarpfitTestPairs Warpfit Mapproj Panocore Imaging)
if(TARGET bench_warpfit)
  target_compile_definitions(bench_warpfit PRIVATE FENDRAKE_TESTDATA_DIR="${FENDRAKE_TESTDATA_DIR}")
endif()

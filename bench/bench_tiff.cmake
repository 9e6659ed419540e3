# Uncompressed TIFF reading and writing: our reader and writer against
# libtiff on the same 8192 x 4096 RGB picture.
find_package(TIFF REQUIRED)
fendrake_bench(bench_tiff SOURCES bench_tiff.cpp LINKS Mapdeck TIFF::TIFF)

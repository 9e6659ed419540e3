# Segmentation of a 2-megapixel photo (segmenter alone, and a whole region
# tree with margins), in seconds per megapixel.
fendrake_bench(bench_segment SOURCES bench_segment.cpp LINKS Segkit Regionkit Edgematch Jpegkit Imaging)
target_compile_definitions(bench_segment PRIVATE FENDRAKE_TESTDATA_DIR="${FENDRAKE_TESTDATA_DIR}")

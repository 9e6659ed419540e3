# JPEG encoder against libjpeg-turbo. libjpeg is linked here only, never by
# the product.
find_package(JPEG REQUIRED)
fendrake_bench(bench_jpeg_encode SOURCES bench_jpeg_encode.cpp LINKS Jpegkit JPEG::JPEG)
target_compile_definitions(bench_jpeg_encode PRIVATE FENDRAKE_TESTDATA_DIR="${FENDRAKE_TESTDATA_DIR}")

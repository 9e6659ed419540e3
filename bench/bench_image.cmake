fendrake_bench(bench_image SOURCES bench_image.cpp LINKS Imaging)

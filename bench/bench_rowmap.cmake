# Bilinear row remapping in megapixels per second.
fendrake_bench(bench_rowmap SOURCES bench_rowmap.cpp LINKS Rowmap RowmapKernels)

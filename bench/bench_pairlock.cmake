# Correlation engine: template correlation maps per second over a 1024 x 768
# overlap, box filter samples per second.
fendrake_bench(bench_pairlock SOURCES bench_pairlock.cpp LINKS Pairlock Imaging)

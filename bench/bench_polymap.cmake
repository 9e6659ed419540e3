# The polygon region mapper warping a 2000 x 1500 RGB photograph.
fendrake_bench(bench_polymap SOURCES bench_polymap.cpp LINKS Viewengine Imaging)

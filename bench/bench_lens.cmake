# Lens distortion correction against pixman's bilinear transform, and the
# in-place reductions against memcpy. pixman is linked here only.
pkg_check_modules(PIXMAN REQUIRED IMPORTED_TARGET pixman-1)
fendrake_bench(bench_lens SOURCES bench_lens.cpp LINKS FendrakeApp PkgConfig::PIXMAN)

# Polygon clipper against Clipper (libpolyclipping-dev), the comparison only.
pkg_check_modules(POLYCLIPPING REQUIRED IMPORTED_TARGET polyclipping)
fendrake_bench(bench_polyclip SOURCES bench_polyclip.cpp LINKS Polykit PkgConfig::POLYCLIPPING)

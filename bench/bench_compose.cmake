fendrake_bench(bench_compose SOURCES bench_compose.cpp LINKS Mapdeck)

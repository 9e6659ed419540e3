fendrake_bench(bench_worldmap SOURCES bench_worldmap.cpp LINKS Mapdeck)

# Global alignment of a 100-frame sphere (Eigen builds the synthetic scene).
if(TARGET Globfit)
  find_package(Eigen3 3.3 REQUIRED NO_MODULE)
  fendrake_bench(bench_globfit SOURCES bench_globfit.cpp LINKS Globfit Eigen3::Eigen)
endif()

# The RANSAC filter of one image pair (200 matches, 30 % outliers, 500
# trials) and its 10 x 8 least-squares solve against Eigen's QR.
if(TARGET FendrakeApp)
  find_package(Eigen3 3.3 REQUIRED NO_MODULE)
  fendrake_bench(bench_ransac SOURCES bench_ransac.cpp LINKS FendrakeApp Eigen3::Eigen)
endif()

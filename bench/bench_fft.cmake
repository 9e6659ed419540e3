# Fourier transforms against FFTW (the benchmark's reference only).
pkg_check_modules(FFTW3F REQUIRED IMPORTED_TARGET fftw3f)
fendrake_bench(bench_fft SOURCES bench_fft.cpp LINKS Fftkit PkgConfig::FFTW3F)

// FFTW (double precision) as the independent reference of the transform
// tests. Built without FFTW, every comparison fails through FftwPresent().
#pragma once

#include <gtest/gtest.h>

#include <complex>
#include <vector>

#ifndef FENDRAKE_NO_FFTW
#include <fftw3.h>
#endif

namespace fftw_oracle {

inline ::testing::AssertionResult FftwPresent()
{
#ifdef FENDRAKE_NO_FFTW
    return ::testing::AssertionFailure() << "FFTW (libfftw3-dev) is missing: the oracle comparisons cannot run";
#else
    return ::testing::AssertionSuccess();
#endif
}

// G(ky, kx) = sum z(y, x) exp(+2 pi i (kx x / nx + ky y / ny)), row-major ny x nx.
inline std::vector<std::complex<double>> Dft2dPlus(const std::vector<std::complex<double>>& z, int nx, int ny)
{
    std::vector<std::complex<double>> out(z.size());
#ifndef FENDRAKE_NO_FFTW
    std::vector<std::complex<double>> in(z);
    fftw_plan plan = fftw_plan_dft_2d(ny, nx, reinterpret_cast<fftw_complex*>(in.data()),
                                      reinterpret_cast<fftw_complex*>(out.data()), FFTW_BACKWARD, FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
#else
    (void)nx;
    (void)ny;
#endif
    return out;
}

// FFTW's REDFT10 (2 sum x cos(pi (2n+1) k / 2N)) or RODFT10
// (2 sum x sin(pi (2n+1)(k+1) / 2N)) along both axes.
inline std::vector<double> R2r2d(const std::vector<double>& x, int nx, int ny, bool sine)
{
    std::vector<double> out(x.size());
#ifndef FENDRAKE_NO_FFTW
    std::vector<double> in(x);
    const fftw_r2r_kind kind = sine ? FFTW_RODFT10 : FFTW_REDFT10;
    fftw_plan plan = fftw_plan_r2r_2d(ny, nx, in.data(), out.data(), kind, kind, FFTW_ESTIMATE);
    fftw_execute(plan);
    fftw_destroy_plan(plan);
#else
    (void)nx;
    (void)ny;
    (void)sine;
#endif
    return out;
}

}  // namespace fftw_oracle

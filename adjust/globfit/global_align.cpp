#include "adjust/globfit/global_align.h"

#include "adjust/globfit/dense_lu.h"
#include "adjust/globfit/globfit_settings.h"
#include "adjust/globfit/radial_polynomial.h"
#include "imaging/image.h"
#include "platform/panocore/img_info.h"
#include "platform/xformkit/transform_euler.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace globfit;

namespace {

// A ray that leaves frame i's camera more than about 89.9 degrees off its
// axis has no image point; its depth is held at this fraction of the ray's
// length so that a wild trial gives a large, finite residual.
constexpr float kMinDepth = 1e-3f;

}  // namespace

GlobalAlign::GlobalAlign(int settings, float /*unused*/) : m_settings(settings) {}

GlobalAlign::~GlobalAlign() = default;

void GlobalAlign::SetMinMaxFocusLength(float minimum, float maximum)
{
    m_minFocal = minimum;
    m_maxFocal = maximum;
}

void GlobalAlign::SetImageList(int* list, int count, int extra)
{
    m_list = list;
    m_nFrames = count;
    m_extra = extra;
}

ImageFrame* GlobalAlign::Frame(int k) const
{
    return m_group->GetImageFrame(m_list[k]);
}

// --- start values -------------------------------------------------------------

bool GlobalAlign::Init(ImageGroup* group, int* list, int count, int extra)
{
    m_group = group;
    SetImageList(list, count, extra);
    m_state = State{};
    m_invDist[0] = 1.0f;
    m_invDist[1] = m_invDist[2] = m_invDist[3] = 0.0f;
    m_scale.clear();
    m_rho.clear();
    m_pairs.clear();
    m_wbar = 0.0f;
    m_normalised = false;
    if (!IsFrameList(group, list, count)) {
        // Nothing to solve: DoAlignment returns 0 and touches nothing.
        m_group = nullptr;
        m_list = nullptr;
        m_nFrames = 0;
        GetNumbParameters();
        return false;
    }
    GetNumbParameters();
    InitRotationVectors();
    InitFocusLength();
    InitOpticalCenter();
    InitDistortion();
    InitRDMatrix();
    return true;
}

int GlobalAlign::GetNumbParameters()
{
    const int n = m_nFrames;
    const int mode = FocalMode(m_settings);
    m_nRotation = n > 0 ? 3 * n - 3 : 0;
    m_nFocal = mode == kFocalPerFrame ? n : (mode == kFocalFixed || n == 0 ? 0 : 1);
    m_nCentre = 0;
    if ((m_settings & kEstimateCentre) && n > 0) m_nCentre = mode == kFocalPerFrame ? 2 * n : 2;
    m_nDistortion = 0;
    if ((m_settings & kEstimateDistortion) && n > 0) m_nDistortion = (m_settings & kThreeCoefficients) ? 3 : 1;
    return m_nRotation + m_nFocal + m_nCentre + m_nDistortion;
}

void GlobalAlign::InitRotationVectors()
{
    m_state.rv.assign(3 * static_cast<size_t>(m_nFrames), 0.0f);
    for (int k = 0; k < m_nFrames; ++k) {
        IImgInfo* info = Frame(k)->GetImgInfo();
        const TRANSFORM_RS* rs = info ? info->GetParams() : nullptr;
        if (!rs) continue;
        const float uvr[3] = {rs->pan, rs->tilt, rs->roll};
        float w[3];
        CTransformEuler::UVRtoI3R(uvr, w);
        // I3R (X forward, Y left, Z up) to the camera frame (x right, y down,
        // z forward).
        m_state.rv[3 * k] = -w[1];
        m_state.rv[3 * k + 1] = -w[2];
        m_state.rv[3 * k + 2] = w[0];
    }
}

float GlobalAlign::CheckFocusLength(float focal) const
{
    if (!(focal >= m_minFocal)) return m_minFocal;  // also a NaN focal length
    if (focal > m_maxFocal) return m_maxFocal;
    return focal;
}

void GlobalAlign::InitFocusLength()
{
    const int n = m_nFrames;
    m_state.focal.assign(n, 0.0f);
    m_scale.assign(n, 1.0f);
    for (int k = 0; k < n; ++k) {
        IImgInfo* info = Frame(k)->GetImgInfo();
        m_state.focal[k] = CheckFocusLength(info ? info->GetFocal() : 0.0f);
    }
    if (n == 0) return;
    const int mode = FocalMode(m_settings);
    if (mode == kFocalShared) {
        double sum = 0.0;
        for (float f : m_state.focal) sum += f;
        std::fill(m_state.focal.begin(), m_state.focal.end(), CheckFocusLength(static_cast<float>(sum / n)));
    } else if (mode == kFocalNormalised) {
        // Reference lengths that are not positive cannot scale anything: such
        // frames are taken at the mean of the others (scale 1).
        double sumW = 0.0;
        int valid = 0;
        for (int k = 0; k < n; ++k) {
            const float w = Frame(k)->get_eFLd();
            if (w > 0.0f && std::isfinite(w)) {
                sumW += w;
                ++valid;
            }
        }
        m_normalised = true;
        m_wbar = valid ? static_cast<float>(sumW / valid) : 0.0f;
        double sumRatio = 0.0;
        for (int k = 0; k < n; ++k) {
            const float w = Frame(k)->get_eFLd();
            const bool ok = m_wbar > 0.0f && w > 0.0f && std::isfinite(w);
            m_scale[k] = ok ? m_wbar / w : 1.0f;
            sumRatio += m_state.focal[k] * m_scale[k];
        }
        std::fill(m_state.focal.begin(), m_state.focal.end(), CheckFocusLength(static_cast<float>(sumRatio / n)));
    }
}

float GlobalAlign::GetWidthCenter(int frame)
{
    const Image* image = Frame(frame)->GetImage();
    if (!image) return 0.0f;
    return 0.5f * static_cast<float>(std::min(image->GetWidth(), image->GetHeight())) * m_scale[frame];
}

void GlobalAlign::InitOpticalCenter()
{
    m_state.centre.assign(2 * static_cast<size_t>(m_nFrames), 0.0f);
    m_rho.assign(m_nFrames, 0.0f);
    for (int k = 0; k < m_nFrames; ++k) {
        float x, y;
        Frame(k)->GetOpticalCenter(x, y);
        m_state.centre[2 * k] = x * m_scale[k];
        m_state.centre[2 * k + 1] = y * m_scale[k];
        m_rho[k] = GetWidthCenter(k);
    }
}

void GlobalAlign::InitDistortion()
{
    const float identity[4] = {1.0f, 0.0f, 0.0f, 0.0f};
    std::memcpy(m_state.dist, identity, sizeof identity);
    std::memcpy(m_invDist, identity, sizeof identity);
}

void GlobalAlign::InitRDMatrix()
{
    m_state.rm.assign(9 * static_cast<size_t>(m_nFrames), 0.0f);
    m_state.dm.assign(9 * static_cast<size_t>(m_nFrames), 0.0f);
}

// --- rotations ------------------------------------------------------------------

void GlobalAlign::RVectorToRMatrix(const float* v, float* r)
{
    const float t = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (t == 0.0f) {
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(r, identity, sizeof identity);
        return;
    }
    // Rodrigues: R = I + (sin t / t) [v]x + ((1 - cos t) / t^2) [v]x^2.
    const float a = std::sin(t) / t;
    const float b = (1.0f - std::cos(t)) / (t * t);
    const float x = v[0], y = v[1], z = v[2];
    r[0] = 1.0f - b * (y * y + z * z);
    r[1] = -a * z + b * x * y;
    r[2] = a * y + b * x * z;
    r[3] = a * z + b * x * y;
    r[4] = 1.0f - b * (x * x + z * z);
    r[5] = -a * x + b * y * z;
    r[6] = -a * y + b * x * z;
    r[7] = a * x + b * y * z;
    r[8] = 1.0f - b * (x * x + y * y);
}

void GlobalAlign::ComputeDerivativeMatrix(const float* v, float* d)
{
    const float t = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (t == 0.0f) {
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(d, identity, sizeof identity);
        return;
    }
    // Row m is the axis w_m with dR/dv_m = [w_m]x R, so that a rotated ray
    // y = R p moves by w_m x y.
    const float nx = v[0] / t, ny = v[1] / t, nz = v[2] / t;
    const float c = std::sin(t) / t;
    const float g = 1.0f - c;
    const float e = (1.0f - std::cos(t)) / t;
    d[0] = c + g * nx * nx;
    d[1] = g * nx * ny + e * nz;
    d[2] = g * nx * nz - e * ny;
    d[3] = g * nx * ny - e * nz;
    d[4] = c + g * ny * ny;
    d[5] = g * ny * nz + e * nx;
    d[6] = g * nx * nz + e * ny;
    d[7] = g * ny * nz - e * nx;
    d[8] = c + g * nz * nz;
}

void GlobalAlign::ComputeRDMatrix(State& state, int first, int count) const
{
    for (int k = first; k < first + count; ++k) {
        RVectorToRMatrix(&state.rv[3 * k], &state.rm[9 * k]);
        ComputeDerivativeMatrix(&state.rv[3 * k], &state.dm[9 * k]);
    }
}

// --- kernels -------------------------------------------------------------------------

float GlobalAlign::A_dot_B(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void GlobalAlign::A_cross_B(const float* a, const float* b, float* out)
{
    const float x = a[1] * b[2] - a[2] * b[1];
    const float y = a[2] * b[0] - a[0] * b[2];
    const float z = a[0] * b[1] - a[1] * b[0];
    out[0] = x;
    out[1] = y;
    out[2] = z;
}

void GlobalAlign::R_dot_X(const float* r, const float* x, float* out)
{
    const float a = r[0] * x[0] + r[1] * x[1] + r[2] * x[2];
    const float b = r[3] * x[0] + r[4] * x[1] + r[5] * x[2];
    const float c = r[6] * x[0] + r[7] * x[1] + r[8] * x[2];
    out[0] = a;
    out[1] = b;
    out[2] = c;
}

void GlobalAlign::RT_dot_X(const float* r, const float* x, float* out)
{
    const float a = r[0] * x[0] + r[3] * x[1] + r[6] * x[2];
    const float b = r[1] * x[0] + r[4] * x[1] + r[7] * x[2];
    const float c = r[2] * x[0] + r[5] * x[1] + r[8] * x[2];
    out[0] = a;
    out[1] = b;
    out[2] = c;
}

// --- residuals -------------------------------------------------------------------------

void GlobalAlign::CollectPairs()
{
    m_pairs = CollectMarkerPairs(m_group, m_list, m_nFrames);
}

int GlobalAlign::CountNmbMarkers()
{
    CollectPairs();
    int total = 0;
    for (const MarkerPair& pair : m_pairs) total += pair.count;
    return total;
}

int GlobalAlign::FocalIndex(int k) const
{
    return m_nRotation + (m_nFocal > 1 ? k : 0);
}

int GlobalAlign::CentreIndex(int k) const
{
    return m_nRotation + m_nFocal + (m_nCentre > 2 ? 2 * k : 0);
}

GlobalAlign::CorrectedPoint GlobalAlign::Correct(float px, float py, float scale, const float* centre, float rho,
                                                 const float* dist)
{
    CorrectedPoint c{};
    c.x = px * scale - centre[0];
    c.y = py * scale - centre[1];
    if (rho > 0.0f) {
        c.r = std::sqrt(c.x * c.x + c.y * c.y) / rho;
        c.d = EvalRadial(dist, c.r);
    } else {
        // A frame without an image has no reference radius: its points are
        // taken as they are.
        c.r = 0.0f;
        c.d = 1.0f;
    }
    c.u = c.x * c.d;
    c.v = c.y * c.d;
    c.jac[0] = c.jac[3] = c.d;
    c.jac[1] = c.jac[2] = 0.0f;
    if (rho > 0.0f && c.r > 0.0f) {
        // d(x D(r)) / dx = D + x D'(r) dr/dx with dr/dx = x / (r rho^2).
        const float k = EvalRadialSlope(dist, c.r) / (c.r * rho * rho);
        c.jac[0] += k * c.x * c.x;
        c.jac[1] += k * c.x * c.y;
        c.jac[2] += k * c.x * c.y;
        c.jac[3] += k * c.y * c.y;
    }
    c.hasRadius = rho > 0.0f;
    return c;
}

float GlobalAlign::ComputeE(const State& state, const MarkerPair& pair, int m, float e[2], Derivative* h,
                            int* nh) const
{
    const int i = pair.i, j = pair.j;
    const POINT2M& a = pair.a[m];
    const POINT2M& b = pair.b[m];
    const CorrectedPoint ci = Correct(a.x, a.y, m_scale[i], &state.centre[2 * i], m_rho[i], state.dist);
    const CorrectedPoint cj = Correct(b.x, b.y, m_scale[j], &state.centre[2 * j], m_rho[j], state.dist);
    // Frame j's ray, into the world (y), into frame i's camera (q).
    const float p[3] = {cj.u, cj.v, state.focal[j]};
    float y[3], q[3];
    R_dot_X(&state.rm[9 * j], p, y);
    RT_dot_X(&state.rm[9 * i], y, q);
    const float qz = std::max(q[2], kMinDepth * std::sqrt(A_dot_B(q, q)));
    const float fi = state.focal[i];
    e[0] = ci.u - fi * q[0] / qz;
    e[1] = ci.v - fi * q[1] / qz;
    if (h) *nh = ComputeH(state, pair, ci, cj, q, y, qz, h);
    return e[0] * e[0] + e[1] * e[1];
}

void GlobalAlign::AddTo(Derivative* h, int& n, int index, float dx, float dy)
{
    for (int k = 0; k < n; ++k) {
        if (h[k].index == index) {
            h[k].dx += dx;
            h[k].dy += dy;
            return;
        }
    }
    h[n++] = Derivative{index, dx, dy};
}

int GlobalAlign::ComputeH(const State& state, const MarkerPair& pair, const CorrectedPoint& ci,
                          const CorrectedPoint& cj, const float* q, const float* y, float qz, Derivative* h) const
{
    const int i = pair.i, j = pair.j;
    const float* ri = &state.rm[9 * i];
    const float* rj = &state.rm[9 * j];
    const float fi = state.focal[i];
    const float k = fi / qz;
    // The residual's change for a change dq of frame i's ray:
    // (f_i / q_z) (dq_z / q_z q - dq), x and y components.
    auto project = [&](const float* dq, float& dx, float& dy) {
        const float t = dq[2] / qz;
        dx = k * (t * q[0] - dq[0]);
        dy = k * (t * q[1] - dq[1]);
    };
    // A change dp of frame j's ray moves q by R_i^T R_j dp.
    auto throughJ = [&](const float* dp, float& dx, float& dy) {
        float t[3], dq[3];
        R_dot_X(rj, dp, t);
        RT_dot_X(ri, t, dq);
        project(dq, dx, dy);
    };
    int n = 0;
    float t[3], dq[3], dx, dy;
    if (i > 0) {
        const float* di = &state.dm[9 * i];
        for (int m = 0; m < 3; ++m) {
            A_cross_B(y, di + 3 * m, t);
            RT_dot_X(ri, t, dq);
            project(dq, dx, dy);
            AddTo(h, n, 3 * (i - 1) + m, dx, dy);
        }
    }
    if (j > 0) {
        const float* dj = &state.dm[9 * j];
        for (int m = 0; m < 3; ++m) {
            A_cross_B(dj + 3 * m, y, t);
            RT_dot_X(ri, t, dq);
            project(dq, dx, dy);
            AddTo(h, n, 3 * (j - 1) + m, dx, dy);
        }
    }
    if (m_nFocal > 0) {
        AddTo(h, n, FocalIndex(i), -q[0] / qz, -q[1] / qz);
        const float dp[3] = {0.0f, 0.0f, 1.0f};
        throughJ(dp, dx, dy);
        AddTo(h, n, FocalIndex(j), dx, dy);
    }
    if (m_nCentre > 0) {
        // Moving a centre by +1 moves the point about it by -1.
        for (int axis = 0; axis < 2; ++axis) {
            AddTo(h, n, CentreIndex(i) + axis, -ci.jac[axis], -ci.jac[2 + axis]);
            const float dp[3] = {-cj.jac[axis], -cj.jac[2 + axis], 0.0f};
            throughJ(dp, dx, dy);
            AddTo(h, n, CentreIndex(j) + axis, dx, dy);
        }
    }
    if (m_nDistortion > 0) {
        // D = 1 + sum d_m (r^m - 1) once d0 = 1 - d1 - d2 - d3 is put in.
        const int firstPower = m_nDistortion == 1 ? 2 : 1;
        const int base = m_nRotation + m_nFocal + m_nCentre;
        for (int c = 0; c < m_nDistortion; ++c) {
            const int power = firstPower + c;
            const float bi = ci.hasRadius ? std::pow(ci.r, static_cast<float>(power)) - 1.0f : 0.0f;
            const float bj = cj.hasRadius ? std::pow(cj.r, static_cast<float>(power)) - 1.0f : 0.0f;
            const float dp[3] = {cj.x * bj, cj.y * bj, 0.0f};
            throughJ(dp, dx, dy);
            AddTo(h, n, base + c, ci.x * bi + dx, ci.y * bi + dy);
        }
    }
    return n;
}

double GlobalAlign::ComputeErr(const State& state, bool writeResiduals) const
{
    double sum = 0.0;
    for (const MarkerPair& pair : m_pairs) {
        for (int m = 0; m < pair.count; ++m) {
            float e[2];
            const float e2 = ComputeE(state, pair, m, e, nullptr, nullptr);
            sum += e2;
            if (writeResiduals) {
                const float length = std::sqrt(e2);
                pair.a[m].error2 = length;
                pair.b[m].error2 = length;
            }
        }
    }
    return sum;
}

// --- normal equations ------------------------------------------------------------------

double GlobalAlign::ComputeCoef()
{
    const int p = static_cast<int>(m_vector.size());
    std::fill(m_vector.begin(), m_vector.end(), 0.0f);
    std::fill(m_matrix.begin(), m_matrix.end(), 0.0f);
    double sum = 0.0;
    Derivative h[kMaxDerivatives];
    for (const MarkerPair& pair : m_pairs) {
        for (int m = 0; m < pair.count; ++m) {
            float e[2];
            int n = 0;
            sum += ComputeE(m_state, pair, m, e, h, &n);
            std::sort(h, h + n, [](const Derivative& x, const Derivative& y) { return x.index < y.index; });
            for (int a = 0; a < n; ++a) {
                m_vector[h[a].index] -= h[a].dx * e[0] + h[a].dy * e[1];
                float* row = &m_matrix[static_cast<size_t>(h[a].index) * p];
                for (int b = a; b < n; ++b) row[h[b].index] += h[a].dx * h[b].dx + h[a].dy * h[b].dy;
            }
        }
    }
    MakeSymmetric();
    return sum;
}

void GlobalAlign::MakeSymmetric()
{
    const int p = static_cast<int>(m_vector.size());
    for (int r = 0; r < p; ++r) {
        for (int c = r + 1; c < p; ++c) m_matrix[static_cast<size_t>(c) * p + r] = m_matrix[static_cast<size_t>(r) * p + c];
    }
}

bool GlobalAlign::ComputeDR(float* step)
{
    const int p = static_cast<int>(m_vector.size());
    // A parameter that no marker pair reaches has an all-zero row; it is held
    // where it is (step 0) so that it cannot block the rest of the solve.
    for (int r = 0; r < p; ++r) {
        float& diagonal = m_matrix[static_cast<size_t>(r) * p + r];
        if (diagonal == 0.0f) {
            diagonal = 1.0f;
            step[r] = 0.0f;
        }
    }
    if (!LUDecompose(m_matrix.data(), p, m_pivot.data(), m_luScale.data())) return false;
    LUBackSubstitute(m_matrix.data(), p, m_pivot.data(), step);
    for (int r = 0; r < p; ++r) {
        if (!std::isfinite(step[r])) return false;
    }
    return true;
}

void GlobalAlign::MakeTrial(const float* step, State& trial) const
{
    trial = m_state;
    for (int k = 1; k < m_nFrames; ++k) {
        for (int m = 0; m < 3; ++m) trial.rv[3 * k + m] += step[3 * (k - 1) + m];
    }
    if (m_nFocal > 0) {
        for (int k = 0; k < m_nFrames; ++k) {
            // A shared focal length is held by every frame alike.
            const float from = m_nFocal > 1 ? m_state.focal[k] : m_state.focal[0];
            trial.focal[k] = CheckFocusLength(from + step[FocalIndex(k)]);
        }
    }
    if (m_nCentre > 0) {
        // A shared centre moves every frame's centre alike: frames of one
        // size keep one centre, and a frame of another size keeps its own
        // place relative to its image.
        for (int k = 0; k < m_nFrames; ++k) {
            trial.centre[2 * k] = m_state.centre[2 * k] + step[CentreIndex(k)];
            trial.centre[2 * k + 1] = m_state.centre[2 * k + 1] + step[CentreIndex(k) + 1];
        }
    }
    const int base = m_nRotation + m_nFocal + m_nCentre;
    if (m_nDistortion == 1) {
        trial.dist[2] = m_state.dist[2] + step[base];
        trial.dist[1] = trial.dist[3] = 0.0f;
        trial.dist[0] = 1.0f - trial.dist[2];
    } else if (m_nDistortion == 3) {
        for (int c = 0; c < 3; ++c) trial.dist[1 + c] = m_state.dist[1 + c] + step[base + c];
        trial.dist[0] = 1.0f - trial.dist[1] - trial.dist[2] - trial.dist[3];
    }
    if (m_nFrames > 1) ComputeRDMatrix(trial, 1, m_nFrames - 1);
}

void GlobalAlign::AcceptTrial(State& trial)
{
    std::swap(m_state, trial);
}

// --- the solve -------------------------------------------------------------------------------

float GlobalAlign::DoAlignment(float tolerance)
{
    if (!m_group || m_nFrames <= 0) return 0.0f;
    const int p = GetNumbParameters();
    CollectPairs();
    ComputeRDMatrix(m_state, 0, m_nFrames);
    const size_t pp = static_cast<size_t>(p) * p;
    m_vector.assign(p, 0.0f);
    m_savedVector.assign(p, 0.0f);
    m_matrix.assign(pp, 0.0f);
    m_savedMatrix.assign(pp, 0.0f);
    m_luScale.assign(p, 0.0f);
    m_pivot.assign(p, 0);

    // Error sums are accumulated in double: near convergence the gains the
    // loop judges are far below a float's resolution of the sum.
    double error = ComputeCoef();
    const double tol = std::min(static_cast<double>(tolerance), 0.001 * error);
    const double minGain = 0.0001 * tol;
    m_savedVector = m_vector;
    m_savedMatrix = m_matrix;
    float lambda = 0.01f;
    int accepted = 0;
    int smallGains = 0;
    State trial;
    for (;;) {
        for (int r = 0; r < p; ++r) m_matrix[static_cast<size_t>(r) * p + r] *= 1.0f + lambda;
        double trialError = error + 1.0;  // a failed solve counts as a worse trial
        if (ComputeDR(m_vector.data())) {
            MakeTrial(m_vector.data(), trial);
            trialError = ComputeErr(trial, false);
        }
        if (!(trialError < error)) {
            if (lambda > 100000.0f) break;
            m_vector = m_savedVector;
            m_matrix = m_savedMatrix;
            lambda *= 10.0f;
            continue;
        }
        AcceptTrial(trial);
        if (lambda > 1e-6f) lambda *= 0.1f;
        ++accepted;
        if (trialError < tol || accepted > 10000) {
            error = trialError;
            break;
        }
        if (error - trialError >= minGain) {
            smallGains = 0;
        } else if (++smallGains > 2) {
            error = trialError;
            break;
        }
        const double recomputed = ComputeCoef();
        m_savedVector = m_vector;
        m_savedMatrix = m_matrix;
        error = std::min(trialError, recomputed);
    }
    m_vector.clear();
    m_savedVector.clear();
    m_matrix.clear();
    m_savedMatrix.clear();
    m_luScale.clear();
    m_pivot.clear();
    m_vector.shrink_to_fit();
    m_savedVector.shrink_to_fit();
    m_matrix.shrink_to_fit();
    m_savedMatrix.shrink_to_fit();

    // The markers show the residuals of the fit that is reported (a rejected
    // last trial must not leave its residuals behind).
    error = ComputeErr(m_state, true);
    ComputeInverse();
    if (!SanityCheckGAlign()) return static_cast<float>(-error);
    UpdateAlignParam();
    return static_cast<float>(error);
}

// --- results ---------------------------------------------------------------------------------

void GlobalAlign::ComputeInverse()
{
    m_invDist[0] = 1.0f;
    m_invDist[1] = m_invDist[2] = m_invDist[3] = 0.0f;
    FitInverseRadial(m_state.dist, m_invDist);
}

bool GlobalAlign::SanityCheckGAlign() const
{
    // The corner of a 3:2 frame, in units of half its short side.
    const float value = EvalRadial(m_state.dist, std::sqrt(3.25f));
    return value >= 0.99f && value <= 1.3f;
}

void GlobalAlign::UpdateAlignParam()
{
    for (int k = 0; k < m_nFrames; ++k) {
        IImgInfo* info = Frame(k)->GetImgInfo();
        TRANSFORM_RS* rs = info ? info->GetParams() : nullptr;
        if (!rs) continue;
        if (k > 0) {
            const float* v = &m_state.rv[3 * k];
            const float i3r[3] = {v[2], -v[0], -v[1]};
            float uvr[3];
            CTransformEuler::I3RtoUVR(i3r, uvr);
            rs->pan = uvr[0];
            rs->tilt = uvr[1];
            rs->roll = uvr[2];
        }
        // Scaled units back to the frame's own pixels.
        const float s = m_scale[k];
        if (m_nFocal > 0) rs->rcpFocal = s / m_state.focal[k];
        if (m_nCentre > 0) {
            rs->centreX = m_state.centre[2 * k] / s;
            rs->centreY = m_state.centre[2 * k + 1] / s;
        }
    }
}

bool GlobalAlign::GetDistortion(float& e3, float& e2, float& e1, float& e0, float& wbar)
{
    wbar = m_wbar;
    if (m_nDistortion == 0) {
        e3 = e2 = e1 = 0.0f;
        e0 = 1.0f;
        return false;
    }
    e3 = m_invDist[3];
    e2 = m_invDist[2];
    e1 = m_invDist[1];
    e0 = m_invDist[0];
    return true;
}

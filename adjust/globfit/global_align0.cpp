#include "adjust/globfit/global_align0.h"

#include "adjust/globfit/globfit_settings.h"
#include "core/pair_align_records.h"
#include "platform/panocore/img_info.h"
#include "platform/xformkit/transform_3d.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace globfit;

namespace {

constexpr int kOuterSteps = 51;
constexpr int kHalvings = 21;
constexpr int kMinSteps = 5;
constexpr float kUnit = 100.0f;         // coordinates and focal lengths enter in hundreds of pixels
constexpr float kMaxTurn = 0.05f;       // largest rotation of one step, radians
constexpr float kMaxDistortion = 0.1f;  // limit of each distortion coefficient
constexpr float kCgTolerance = 0.001f;

void Cross(const float* a, const float* b, float* out)
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

float Dot3(const float* a, const float* b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

}  // namespace

GlobalAlign0::GlobalAlign0(int settings, int value) : m_settings(settings), m_value(value)
{
    SetFormat();
}

GlobalAlign0::~GlobalAlign0()
{
    FreeSpace();
}

void GlobalAlign0::FreeSpace()
{
    m_table.clear();
    m_pool.clear();
    m_tailRows.clear();
    m_tailTail.clear();
    m_b.clear();
    m_solution.clear();
    m_step.clear();
    m_r.clear();
    m_q.clear();
    m_records.clear();
    m_backup.clear();
    m_scale.clear();
    m_pairs.clear();
}

void GlobalAlign0::setSettings(int settings)
{
    m_settings = settings;
    // The format follows the word: without this a changed focal mode or a
    // new centre or distortion bit would be solved with the old layout.
    SetFormat();
}

void GlobalAlign0::SetFormat()
{
    const int mode = FocalMode(m_settings);
    const bool centre = (m_settings & kEstimateCentre) != 0;
    const bool distortion = (m_settings & kEstimateDistortion) != 0;
    const int base = mode == kFocalPerFrame ? 1 : (mode == kFocalFixed ? 9 : 5);
    m_format = base + (distortion ? 2 : 0) + (centre ? 1 : 0);
    m_sharedFocal = base == 5;
    m_sharedDistortion = distortion;
    m_blockSize = 3 + (base == 1 ? 1 : 0) + (centre ? 2 : 0);
    m_nDistortion = distortion ? ((m_settings & kThreeCoefficients) ? 3 : 1) : 0;
    m_tail = (m_sharedFocal ? 1 : 0) + m_nDistortion;
}

void GlobalAlign0::SetImageList(int* list, int count, int pairs)
{
    m_list = list;
    m_nFrames = count;
    m_pairsReserved = pairs;
}

ImageFrame* GlobalAlign0::Frame(int k) const
{
    return m_group->GetImageFrame(m_list[k]);
}

bool GlobalAlign0::Init(ImageGroup* group, int* list, int count, int pairs)
{
    FreeSpace();
    m_group = group;
    SetImageList(list, count, pairs);
    if (!IsFrameList(group, list, count)) {
        m_group = nullptr;
        m_list = nullptr;
        m_nFrames = 0;
        return false;
    }
    const int mode = FocalMode(m_settings);
    m_records.resize(count);
    m_scale.assign(count, 1.0f / kUnit);
    double sumFocal = 0.0;
    for (int k = 0; k < count; ++k) {
        ImageFrame* frame = Frame(k);
        FrameRecord& rec = m_records[k];
        IImgInfo* info = frame->GetImgInfo();
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(rec.rotation, identity, sizeof identity);
        rec.focal = 0.0f;
        if (info) {
            info->GetRotation(rec.rotation);
            rec.focal = info->GetFocal();
        }
        frame->GetOpticalCenter(rec.cx, rec.cy);
        rec.d[0] = rec.d[1] = rec.d[2] = 0.0f;
        float reference = 1.0f;
        if (mode == kFocalNormalised) {
            const float w = frame->get_eFLd();
            reference = w > 0.0f && std::isfinite(w) ? w : 1.0f;
            m_scale[k] = 1.0f / (kUnit * reference);
        }
        sumFocal += rec.focal / reference;
    }
    if (count > 0 && (mode == kFocalShared || mode == kFocalNormalised)) {
        const float mean = static_cast<float>(sumFocal / count);
        for (FrameRecord& rec : m_records) rec.focal = mean;
    }
    return true;
}

bool GlobalAlign0::GetDistortion(float&, float&, float&, float&, float&)
{
    return false;
}

// --- pairs and blocks --------------------------------------------------------------------

void GlobalAlign0::CollectPairs()
{
    const int n = m_nFrames;
    const size_t blockFloats = kMaxBlock * kMaxBlock;
    m_pairs = CollectMarkerPairs(m_group, m_list, n);
    // Diagonal blocks first, then one block per linked pair.
    m_table.assign(static_cast<size_t>(n) * n, -1);
    m_pool.assign(blockFloats * (n + m_pairs.size()), 0.0f);
    for (int k = 0; k < n; ++k) m_table[static_cast<size_t>(k) * n + k] = k;
    int next = n;
    for (const MarkerPair& pair : m_pairs) {
        m_table[static_cast<size_t>(pair.i) * n + pair.j] = next;
        m_table[static_cast<size_t>(pair.j) * n + pair.i] = next;
        ++next;
    }
}

float* GlobalAlign0::Block(int i, int j)
{
    const int index = m_table[static_cast<size_t>(i) * m_nFrames + j];
    return index < 0 ? nullptr : &m_pool[static_cast<size_t>(index) * kMaxBlock * kMaxBlock];
}

const float* GlobalAlign0::Block(int i, int j) const
{
    const int index = m_table[static_cast<size_t>(i) * m_nFrames + j];
    return index < 0 ? nullptr : &m_pool[static_cast<size_t>(index) * kMaxBlock * kMaxBlock];
}

// --- rays ----------------------------------------------------------------------------------

void GlobalAlign0::ComputeH(int frame, const POINT2M& marker, float u[3], float* hBlock, float* hTail) const
{
    const FrameRecord& rec = m_records[frame];
    const float s = m_scale[frame];
    // The ray enters as (y, x, f), in hundreds of pixels (of reference
    // lengths in focal mode 3).
    const float a = (marker.y - rec.cy) * s;
    const float b = (marker.x - rec.cx) * s;
    const float f = rec.focal / kUnit;
    float r = 0.0f, d = 1.0f, slope = 0.0f;
    if (m_sharedDistortion && f != 0.0f) {
        r = std::sqrt(a * a + b * b) / std::fabs(f);
        if (m_nDistortion == 1) {
            d = 1.0f + rec.d[1] * r * r;
            slope = 2.0f * rec.d[1] * r;
        } else {
            d = 1.0f + r * (rec.d[0] + r * (rec.d[1] + r * rec.d[2]));
            slope = rec.d[0] + r * (2.0f * rec.d[1] + 3.0f * r * rec.d[2]);
        }
    }
    const float v[3] = {a * d, b * d, f};
    const float length = std::sqrt(Dot3(v, v));
    const float inv = length > 0.0f ? 1.0f / length : 0.0f;
    const float n[3] = {v[0] * inv, v[1] * inv, v[2] * inv};
    const float* R = rec.rotation;
    u[0] = R[0] * n[0] + R[1] * n[1] + R[2] * n[2];
    u[1] = R[3] * n[0] + R[4] * n[1] + R[5] * n[2];
    u[2] = R[6] * n[0] + R[7] * n[1] + R[8] * n[2];
    if (!hBlock) return;
    // A change dv of the ray moves the unit ray by R (I - n n^T) dv / |v|.
    auto through = [&](const float* dv, float* du) {
        const float along = Dot3(n, dv);
        const float t[3] = {(dv[0] - n[0] * along) * inv, (dv[1] - n[1] * along) * inv, (dv[2] - n[2] * along) * inv};
        du[0] = R[0] * t[0] + R[1] * t[1] + R[2] * t[2];
        du[1] = R[3] * t[0] + R[4] * t[1] + R[5] * t[2];
        du[2] = R[6] * t[0] + R[7] * t[1] + R[8] * t[2];
    };
    // Small rotations w turn R into (I - [w]x) R: u moves by u x w.
    for (int m = 0; m < 3; ++m) {
        const float e[3] = {m == 0 ? 1.0f : 0.0f, m == 1 ? 1.0f : 0.0f, m == 2 ? 1.0f : 0.0f};
        Cross(u, e, hBlock + 3 * m);
    }
    // Focal length (in hundreds): r = |(a, b)| / f shrinks as f grows.
    const float dFocal = f != 0.0f ? -slope * r / f : 0.0f;
    const float dvFocal[3] = {a * dFocal, b * dFocal, 1.0f};
    int column = 3;
    int tail = 0;
    if (m_sharedFocal) through(dvFocal, hTail + 3 * tail++);
    else if (m_format <= 4) through(dvFocal, hBlock + 3 * column++);
    if (m_format % 2 == 0) {
        // Moving the centre by +1 (x, then y) moves (b, a) by -1.
        const float k = r > 0.0f && f != 0.0f ? slope / (r * f * f) : 0.0f;
        const float dvB[3] = {-(a * k * b), -(d + b * k * b), 0.0f};
        const float dvA[3] = {-(d + a * k * a), -(b * k * a), 0.0f};
        through(dvB, hBlock + 3 * column++);
        through(dvA, hBlock + 3 * column++);
    }
    if (m_nDistortion == 1) {
        const float dv[3] = {a * r * r, b * r * r, 0.0f};
        through(dv, hTail + 3 * tail++);
    } else if (m_nDistortion == 3) {
        float power = r;
        for (int m = 0; m < 3; ++m, power *= r) {
            const float dv[3] = {a * power, b * power, 0.0f};
            through(dv, hTail + 3 * tail++);
        }
    }
}

float GlobalAlign0::GetError(const float* a, const float* b)
{
    const float d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return Dot3(d, d);
}

float GlobalAlign0::ComputeMarkerPairDistance(const float* a, const float* b)
{
    return std::sqrt(GetError(a, b));
}

float GlobalAlign0::ComputeA()
{
    const int bs = m_blockSize;
    const int size = Size();
    const int frameParams = bs * m_nFrames;
    std::fill(m_pool.begin(), m_pool.end(), 0.0f);
    m_tailRows.assign(static_cast<size_t>(m_tail) * frameParams, 0.0f);
    m_tailTail.assign(static_cast<size_t>(m_tail) * m_tail, 0.0f);
    m_b.assign(size, 0.0f);
    double error = 0.0;
    float hi[3 * kMaxBlock], hj[3 * kMaxBlock], ti[3 * 4], tj[3 * 4], t[3 * 4];
    for (const MarkerPair& pair : m_pairs) {
        // Pairs with many markers must not outweigh the rest.
        const float w = 30.0f / (pair.count + 5.0f);
        float* bii = Block(pair.i, pair.i);
        float* bjj = Block(pair.j, pair.j);
        float* bij = Block(pair.i, pair.j);
        for (int m = 0; m < pair.count; ++m) {
            float ui[3], uj[3];
            ComputeH(pair.i, pair.a[m], ui, hi, ti);
            ComputeH(pair.j, pair.b[m], uj, hj, tj);
            const float e[3] = {ui[0] - uj[0], ui[1] - uj[1], ui[2] - uj[2]};
            const float e2 = GetError(ui, uj);
            error += static_cast<double>(w) * e2;
            pair.a[m].error2 = pair.b[m].error2 = std::sqrt(e2);
            for (int c = 0; c < 3 * m_tail; ++c) t[c] = ti[c] - tj[c];
            for (int p = 0; p < bs; ++p) {
                for (int q = 0; q < bs; ++q) {
                    bii[p * kMaxBlock + q] += w * Dot3(hi + 3 * p, hi + 3 * q);
                    bjj[p * kMaxBlock + q] += w * Dot3(hj + 3 * p, hj + 3 * q);
                    bij[p * kMaxBlock + q] -= w * Dot3(hi + 3 * p, hj + 3 * q);
                }
                m_b[pair.i * bs + p] -= w * Dot3(hi + 3 * p, e);
                m_b[pair.j * bs + p] += w * Dot3(hj + 3 * p, e);
            }
            for (int a = 0; a < m_tail; ++a) {
                float* row = &m_tailRows[static_cast<size_t>(a) * frameParams];
                for (int p = 0; p < bs; ++p) {
                    row[pair.i * bs + p] += w * Dot3(t + 3 * a, hi + 3 * p);
                    row[pair.j * bs + p] -= w * Dot3(t + 3 * a, hj + 3 * p);
                }
                for (int c = 0; c < m_tail; ++c) m_tailTail[a * m_tail + c] += w * Dot3(t + 3 * a, t + 3 * c);
                m_b[frameParams + a] -= w * Dot3(t + 3 * a, e);
            }
        }
    }
    return static_cast<float>(error);
}

void GlobalAlign0::ComputeAx(const float* x, float* y) const
{
    const int bs = m_blockSize;
    const int frameParams = bs * m_nFrames;
    std::fill(y, y + Size(), 0.0f);
    for (int k = 0; k < m_nFrames; ++k) {
        const float* block = Block(k, k);
        for (int p = 0; p < bs; ++p) {
            float sum = 0.0f;
            for (int q = 0; q < bs; ++q) sum += block[p * kMaxBlock + q] * x[k * bs + q];
            y[k * bs + p] += sum;
        }
    }
    for (const MarkerPair& pair : m_pairs) {
        const float* block = Block(pair.i, pair.j);  // rows frame i, columns frame j
        for (int p = 0; p < bs; ++p) {
            for (int q = 0; q < bs; ++q) {
                y[pair.i * bs + p] += block[p * kMaxBlock + q] * x[pair.j * bs + q];
                y[pair.j * bs + q] += block[p * kMaxBlock + q] * x[pair.i * bs + p];
            }
        }
    }
    for (int a = 0; a < m_tail; ++a) {
        const float* row = &m_tailRows[static_cast<size_t>(a) * frameParams];
        float sum = 0.0f;
        for (int c = 0; c < frameParams; ++c) {
            sum += row[c] * x[c];
            y[c] += row[c] * x[frameParams + a];
        }
        for (int c = 0; c < m_tail; ++c) sum += m_tailTail[a * m_tail + c] * x[frameParams + c];
        y[frameParams + a] += sum;
    }
}

int GlobalAlign0::CG(float tolerance)
{
    const int m = Size();
    m_solution.assign(m, 0.0f);
    m_r = m_b;
    m_step.assign(m, 0.0f);  // search direction
    m_q.assign(m, 0.0f);
    auto dot = [m](const float* a, const float* b) {
        float s = 0.0f;
        for (int i = 0; i < m; ++i) s += a[i] * b[i];
        return s;
    };
    float s = dot(m_r.data(), m_r.data());
    const float stop = tolerance * s;
    float previous = s;
    int k = 1;
    for (; k <= 100; ++k) {
        if ((s <= stop && k >= 10) || s < 1e-35f) break;
        if (k == 1) {
            m_step = m_r;
        } else {
            const float beta = s / previous;
            for (int i = 0; i < m; ++i) m_step[i] = m_r[i] + beta * m_step[i];
        }
        ComputeAx(m_step.data(), m_q.data());
        const float pq = dot(m_step.data(), m_q.data());
        if (!(pq > 0.0f) || !std::isfinite(pq)) break;
        float alpha = s / pq;
        // Up to four looks at the new residual norm, halving alpha while it
        // does not fall.
        float next = s;
        for (int look = 0; look < 4; ++look) {
            next = 0.0f;
            for (int i = 0; i < m; ++i) {
                const float ri = m_r[i] - alpha * m_q[i];
                next += ri * ri;
            }
            if (next < s) break;
            if (look < 3) alpha *= 0.5f;
        }
        for (int i = 0; i < m; ++i) {
            m_solution[i] += alpha * m_step[i];
            m_r[i] -= alpha * m_q[i];
        }
        previous = s;
        s = next;
    }
    return k - 1;
}

// --- updates ---------------------------------------------------------------------------------

void GlobalAlign0::AdjustAlignment(const std::vector<float>& step)
{
    const int bs = m_blockSize;
    const int frameParams = bs * m_nFrames;
    for (int k = 0; k < m_nFrames; ++k) {
        FrameRecord& rec = m_records[k];
        float w[3] = {step[k * bs], step[k * bs + 1], step[k * bs + 2]};
        const float length = std::sqrt(Dot3(w, w));
        if (length > kMaxTurn) {
            for (float& c : w) c *= kMaxTurn / length;
        }
        float turn[9], rotated[9];
        CTransform3D::CalcMatrixRotZYX(-w[2], -w[1], -w[0], turn);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                rotated[3 * r + c] = turn[3 * r] * rec.rotation[c] + turn[3 * r + 1] * rec.rotation[3 + c] +
                                     turn[3 * r + 2] * rec.rotation[6 + c];
        }
        std::memcpy(rec.rotation, rotated, sizeof rotated);
        int column = 3;
        if (m_sharedFocal) rec.focal += kUnit * step[frameParams];
        else if (m_format <= 4) rec.focal += kUnit * step[k * bs + column++];
        if (m_format % 2 == 0) {
            // The centre steps are in the ray's units: back to pixels.
            rec.cx += step[k * bs + column++] / m_scale[k];
            rec.cy += step[k * bs + column++] / m_scale[k];
        }
    }
    if (m_nDistortion > 0) {
        const int first = frameParams + (m_sharedFocal ? 1 : 0);
        float d[3] = {m_records.empty() ? 0.0f : m_records[0].d[0], m_records.empty() ? 0.0f : m_records[0].d[1],
                      m_records.empty() ? 0.0f : m_records[0].d[2]};
        if (m_nDistortion == 1) {
            d[1] = std::clamp(d[1] + step[first], -kMaxDistortion, kMaxDistortion);
        } else {
            for (int c = 0; c < 3; ++c) d[c] = std::clamp(d[c] + step[first + c], -kMaxDistortion, kMaxDistortion);
        }
        for (FrameRecord& rec : m_records) std::memcpy(rec.d, d, sizeof d);
    }
}

void GlobalAlign0::AdjustFocusOnly(const std::vector<float>& step)
{
    if (m_nFrames <= 0) return;
    const int bs = m_blockSize;
    double sum = 0.0;
    for (int k = 0; k < m_nFrames; ++k) {
        if (m_format <= 4) m_records[k].focal += kUnit * step[k * bs + 3];
        sum += m_records[k].focal;
    }
    const float mean = static_cast<float>(sum / m_nFrames);
    for (FrameRecord& rec : m_records) rec.focal = mean;
}

float GlobalAlign0::DoAlignment(float tolerance)
{
    if (!m_group || m_nFrames <= 0) return 0.0f;
    CollectPairs();
    float error = ComputeA();
    int steps = 0;
    for (int outer = 0; outer < kOuterSteps; ++outer) {
        CG(kCgTolerance);
        std::vector<float> step = m_solution;
        m_backup = m_records;
        AdjustAlignment(step);
        float trial = ComputeA();
        for (int h = 0; h < kHalvings && !(error - trial > 0.0f); ++h) {
            for (float& s : step) s *= 0.5f;
            m_records = m_backup;
            AdjustAlignment(step);
            trial = ComputeA();
        }
        if (!(error - trial > 0.0f)) {
            // Nothing lowers the error from here: back to the saved state
            // (and its marker residuals) and stop.
            m_records = m_backup;
            error = ComputeA();
            break;
        }
        const float gain = error - trial;
        error = trial;
        ++steps;
        if (!(gain >= tolerance || steps < kMinSteps)) break;
    }
    WriteResults();
    scaleMarkerErrors();
    return error;
}

void GlobalAlign0::WriteResults()
{
    const bool normalised = FocalMode(m_settings) == kFocalNormalised;
    for (int k = 0; k < m_nFrames; ++k) {
        ImageFrame* frame = Frame(k);
        IImgInfo* info = frame->GetImgInfo();
        if (!info) continue;
        const FrameRecord& rec = m_records[k];
        const float reference = normalised ? 1.0f / (kUnit * m_scale[k]) : 1.0f;
        info->SetRotation(rec.focal * reference, rec.rotation);
        TRANSFORM_RS* rs = info->GetParams();
        if (!rs) continue;
        float cx, cy;
        frame->GetOpticalCenter(cx, cy);
        rs->centreX = rec.cx - cx;
        rs->centreY = rec.cy - cy;
        if (m_settings & kThreeCoefficients) {
            rs->distortion[0] = rec.d[0];
            rs->distortion[1] = rec.d[1];
            rs->distortion[2] = rec.d[2];
        } else {
            rs->distortion[0] = 0.0f;
            rs->distortion[1] = rec.d[1];
            rs->distortion[2] = 0.0f;
        }
    }
}

void GlobalAlign0::scaleMarkerErrors()
{
    if (!m_group) return;
    if (m_pairs.empty() && m_nFrames > 0) CollectPairs();
    for (const MarkerPair& pair : m_pairs) {
        const TRANSFORM_RS* ri = Frame(pair.i)->GetImgInfo() ? Frame(pair.i)->GetImgInfo()->GetParams() : nullptr;
        const TRANSFORM_RS* rj = Frame(pair.j)->GetImgInfo() ? Frame(pair.j)->GetImgInfo()->GetParams() : nullptr;
        if (!ri || !rj || !(ri->rcpFocal >= 0.00001f) || !(rj->rcpFocal >= 0.00001f)) continue;
        for (int m = 0; m < pair.count; ++m) {
            pair.a[m].error2 /= ri->rcpFocal;
            pair.b[m].error2 /= rj->rcpFocal;
        }
    }
}

#include "adjust/globfit/photometric_base.h"

#include "core/pair_align_records.h"
#include "platform/imgcore/color_ctrl.h"
#include "platform/panocore/img_info.h"
#include "platform/panocore/pair_blend.h"
#include "projectgraph/curvekit/pair_info.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <algorithm>
#include <cmath>

bool PhotometricBase::Init(ImageGroup* group, bool blendPairs)
{
    m_group = nullptr;
    m_list.clear();
    m_samples.clear();
    m_nPairs = 0;
    if (!group || group->GetNumbOfImages() <= 0) return false;
    std::vector<int> indices(group->GetNumbOfImages());
    int n = 0, pairs = 0;
    group->GetMergedImages(indices.data(), n, pairs);
    if (pairs <= 0 || n < 2) return false;
    indices.resize(n);
    m_group = group;
    m_list = std::move(indices);
    m_nPairs = pairs;
    for (int k = 0; k < n; ++k) {
        for (int l = k + 1; l < n; ++l) {
            ImageFrame* a = Frame(k);
            ImageFrame* b = Frame(l);
            if (!a->IsMergedPair(b)) continue;
            if (blendPairs && !PairBlend(a, b)) {
                m_list.clear();
                m_samples.clear();
                m_group = nullptr;
                return false;
            }
            // The list of the direction k -> l when it holds entries, else
            // that of l -> k with its halves swapped.
            IPairInfo* mine = nullptr;
            IPairInfo* theirs = nullptr;
            a->GetPairInfo(b, &mine, &theirs);
            PairSamples samples;
            samples.k = k;
            samples.l = l;
            int count = 0;
            const float* entries = mine ? mine->GetIntensityPairs(count) : nullptr;
            if (entries && count > 0) {
                samples.entries.assign(entries, entries + 6 * static_cast<size_t>(count));
            } else {
                count = 0;
                entries = theirs ? theirs->GetIntensityPairs(count) : nullptr;
                if (!entries || count <= 0) continue;
                samples.entries.resize(6 * static_cast<size_t>(count));
                for (int e = 0; e < count; ++e) {
                    for (int c = 0; c < 3; ++c) {
                        samples.entries[6 * e + c] = entries[6 * e + 3 + c];
                        samples.entries[6 * e + 3 + c] = entries[6 * e + c];
                    }
                }
            }
            samples.count = count;
            m_samples.push_back(std::move(samples));
        }
    }
    return true;
}

const int* PhotometricBase::GetImgList(int& n) const
{
    n = Frames();
    return m_list.empty() ? nullptr : m_list.data();
}

ImageFrame* PhotometricBase::Frame(int k) const
{
    return m_group->GetImageFrame(m_list[k]);
}

// --- normal equations ------------------------------------------------------------

void PhotometricBase::ResetSystem(int perFrame)
{
    m_perFrame = perFrame;
    const int free = Frames() > 0 ? Frames() - 1 : 0;
    m_size = free * perFrame;
    const size_t kk = static_cast<size_t>(perFrame) * perFrame;
    m_A.assign(static_cast<size_t>(m_size) * m_size, 0.0f);
    m_b.assign(m_size, 0.0f);
    m_lastLast.assign(kk, 0.0f);
    m_lastCross.assign(kk * free, 0.0f);
    m_lastB.assign(perFrame, 0.0f);
}

void PhotometricBase::AddResidual(int i, const float* di, int j, const float* dj, float e)
{
    const int kp = m_perFrame;
    const int last = Last();
    auto block = [&](int r, int c) { return &m_A[static_cast<size_t>(r * kp) * m_size + c * kp]; };
    if (i == last || j == last) {
        // With theta_L = -(sum of the free frames' parameters), the residual
        // moves by u = -d_L for a unit change of any free frame's parameter.
        const int k = i == last ? j : i;
        const float* dk = i == last ? dj : di;
        const float* dl = i == last ? di : dj;
        float u[4];
        for (int a = 0; a < kp; ++a) u[a] = -dl[a];
        float* cross = &m_lastCross[static_cast<size_t>(k) * kp * kp];
        for (int a = 0; a < kp; ++a) {
            for (int b = 0; b < kp; ++b) {
                m_lastLast[a * kp + b] += u[a] * u[b];
                cross[a * kp + b] += dk[a] * u[b];
            }
            m_lastB[a] -= u[a] * e;
        }
        float* kk = block(k, k);
        for (int a = 0; a < kp; ++a) {
            for (int b = 0; b < kp; ++b) kk[static_cast<size_t>(a) * m_size + b] += dk[a] * dk[b];
            m_b[k * kp + a] -= dk[a] * e;
        }
        return;
    }
    float* ii = block(i, i);
    float* jj = block(j, j);
    float* ij = block(i, j);
    float* ji = block(j, i);
    for (int a = 0; a < kp; ++a) {
        for (int b = 0; b < kp; ++b) {
            ii[static_cast<size_t>(a) * m_size + b] += di[a] * di[b];
            jj[static_cast<size_t>(a) * m_size + b] += dj[a] * dj[b];
            ij[static_cast<size_t>(a) * m_size + b] += di[a] * dj[b];
            ji[static_cast<size_t>(a) * m_size + b] += dj[a] * di[b];
        }
        m_b[i * kp + a] -= di[a] * e;
        m_b[j * kp + a] -= dj[a] * e;
    }
}

void PhotometricBase::FinishSystem()
{
    const int kp = m_perFrame;
    const int free = Frames() - 1;
    for (int m = 0; m < free; ++m) {
        for (int l = 0; l < free; ++l) {
            const float* cm = &m_lastCross[static_cast<size_t>(m) * kp * kp];  // row frame m: d_m u^T
            const float* cl = &m_lastCross[static_cast<size_t>(l) * kp * kp];  // column frame l: u d_l^T
            for (int a = 0; a < kp; ++a) {
                float* row = &m_A[static_cast<size_t>(m * kp + a) * m_size + l * kp];
                for (int b = 0; b < kp; ++b) row[b] += m_lastLast[a * kp + b] + cm[a * kp + b] + cl[b * kp + a];
            }
        }
        for (int a = 0; a < kp; ++a) m_b[m * kp + a] += m_lastB[a];
    }
}

void PhotometricBase::ComputeAx(const float* x, float* y) const
{
    for (int r = 0; r < m_size; ++r) {
        const float* row = &m_A[static_cast<size_t>(r) * m_size];
        float sum = 0.0f;
        for (int c = 0; c < m_size; ++c) sum += row[c] * x[c];
        y[r] = sum;
    }
}

void PhotometricBase::Descend(float tolerance, const std::function<float()>& computeA,
                              const std::function<void(std::vector<float>& step)>& apply,
                              const std::function<void()>& save, const std::function<void()>& restore)
{
    constexpr int kOuterSteps = 51;
    constexpr int kHalvings = 21;
    constexpr int kMinSteps = 5;
    float error = computeA();
    int accepted = 0;
    for (int outer = 0; outer < kOuterSteps; ++outer) {
        CG(tolerance);
        std::vector<float> step = m_step;
        float gain = 0.0f;
        bool better = false;
        for (int h = 0; h < kHalvings; ++h) {
            save();
            apply(step);
            const float trial = computeA();
            if (error - trial > 0.0f) {
                gain = error - trial;
                error = trial;
                better = true;
                break;
            }
            for (float& s : step) s *= 0.5f;
            restore();
        }
        if (!better) break;  // parameters stay at the last accepted values
        ++accepted;
        if (!(gain >= tolerance || accepted < kMinSteps)) break;
    }
}

int PhotometricBase::CG(float tolerance)
{
    const int m = m_size;
    m_step.assign(m, 0.0f);
    m_r = m_b;
    m_p.assign(m, 0.0f);
    m_q.assign(m, 0.0f);
    auto dot = [m](const std::vector<float>& a, const std::vector<float>& b) {
        float s = 0.0f;
        for (int i = 0; i < m; ++i) s += a[i] * b[i];
        return s;
    };
    float s = dot(m_r, m_r);
    const float stop = tolerance * s;
    float previous = s;
    int k = 1;
    for (; k <= 100; ++k) {
        if ((s <= stop && k >= 10) || s < 1e-35f) break;
        if (k == 1) {
            m_p = m_r;
        } else {
            const float beta = s / previous;
            for (int i = 0; i < m; ++i) m_p[i] = m_r[i] + beta * m_p[i];
        }
        ComputeAx(m_p.data(), m_q.data());
        const float pq = dot(m_p, m_q);
        // A direction the matrix does not see (a frame without samples) has
        // nothing more to give.
        if (!(pq > 0.0f) || !std::isfinite(pq)) break;
        const float alpha = s / pq;
        for (int i = 0; i < m; ++i) {
            m_step[i] += alpha * m_p[i];
            m_r[i] -= alpha * m_q[i];
        }
        previous = s;
        s = dot(m_r, m_r);
    }
    return k - 1;
}

// --- samples and records -------------------------------------------------------------

int PhotometricBase::LookupIndex(float value)
{
    // To the nearest integer (add 0.5, truncate) within 0..255; a value that
    // is not a number counts as 0.
    const float v = value + 0.5f;
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<int>(v);
}

const unsigned char* PhotometricBase::ChannelTable(ImageFrame* frame, int recordChannel)
{
    unsigned char* tables[3];
    frame->GetColorTable_Manu(&tables[0], &tables[1], &tables[2]);
    return tables[2 - recordChannel];
}

float PhotometricBase::MapValue(ImageFrame* frame, int k, int recordChannel)
{
    return frame->GetColorCtrl()->GetMapValue(k, 2 - recordChannel);
}

TRANSFORM_RS* PhotometricBase::Record(ImageFrame* frame)
{
    IImgInfo* info = frame->GetImgInfo();
    return info ? info->GetParams() : nullptr;
}

unsigned char* PhotometricBase::RecordTable(ImageFrame* frame)
{
    TRANSFORM_RS* rs = Record(frame);
    if (!rs) return nullptr;
    if (!rs->colorTable) rs->colorTable = AllocColorTable();
    return rs->colorTable;
}

int PhotometricBase::RoundByte(float value)
{
    return LookupIndex(value);
}

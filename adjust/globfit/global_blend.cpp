#include "adjust/globfit/global_blend.h"

#include "core/pair_align_records.h"
#include "projectgraph/framegrp/image_frame.h"

#include <algorithm>
#include <cmath>

GlobalBlend::GlobalBlend() = default;
GlobalBlend::~GlobalBlend() = default;

float GlobalBlend::ComputeError(int channel)
{
    m_limit.assign(m_samples.size(), 0.0f);
    double total = 0.0;
    long long samples = 0;
    for (size_t p = 0; p < m_samples.size(); ++p) {
        const PairSamples& pair = m_samples[p];
        const TRANSFORM_RS* ri = Record(Frame(pair.k));
        const TRANSFORM_RS* rj = Record(Frame(pair.l));
        const unsigned char* ti = ChannelTable(Frame(pair.k), channel);
        const unsigned char* tj = ChannelTable(Frame(pair.l), channel);
        const float gi = ri ? ri->colorFirst[channel] : 1.0f, oi = ri ? ri->colorSecond[channel] : 0.0f;
        const float gj = rj ? rj->colorFirst[channel] : 1.0f, oj = rj ? rj->colorSecond[channel] : 0.0f;
        double sum = 0.0, sum2 = 0.0;
        for (int s = 0; s < pair.count; ++s) {
            const float* entry = &pair.entries[6 * static_cast<size_t>(s)];
            const float ci = ti[LookupIndex(entry[channel])];
            const float cj = tj[LookupIndex(entry[3 + channel])];
            const double r = std::fabs(ci * gi + oi - cj * gj - oj);
            sum += r;
            sum2 += r * r;
        }
        if (pair.count > 0) {
            const double mean = sum / pair.count;
            const double sigma = std::sqrt(std::max(0.0, sum2 / pair.count - mean * mean));
            // Every pair its own limit: its residuals scatter by their own
            // spread, whatever the other pairs look like.
            m_limit[p] = static_cast<float>(mean + 2.0 * sigma);
        }
        total += sum;
        samples += pair.count;
    }
    return samples ? static_cast<float>(total / samples) : 0.0f;
}

float GlobalBlend::ComputeA(int channel, bool robust)
{
    ResetSystem(2);
    double error = 0.0;
    for (size_t p = 0; p < m_samples.size(); ++p) {
        const PairSamples& pair = m_samples[p];
        const TRANSFORM_RS* ri = Record(Frame(pair.k));
        const TRANSFORM_RS* rj = Record(Frame(pair.l));
        const unsigned char* ti = ChannelTable(Frame(pair.k), channel);
        const unsigned char* tj = ChannelTable(Frame(pair.l), channel);
        const float gi = ri ? ri->colorFirst[channel] : 1.0f, oi = ri ? ri->colorSecond[channel] : 0.0f;
        const float gj = rj ? rj->colorFirst[channel] : 1.0f, oj = rj ? rj->colorSecond[channel] : 0.0f;
        for (int s = 0; s < pair.count; ++s) {
            const float* entry = &pair.entries[6 * static_cast<size_t>(s)];
            const float ci = ti[LookupIndex(entry[channel])];
            const float cj = tj[LookupIndex(entry[3 + channel])];
            if (robust && std::fabs(ci * gi + oi - cj * gj - oj) > m_limit[p]) continue;
            // Each solve starts from zero gains and offsets: the residual is
            // the plain difference.
            const float e = ci - cj;
            const float di[2] = {ci, 1.0f};
            const float dj[2] = {-cj, -1.0f};
            AddResidual(pair.k, di, pair.l, dj, e);
            error += static_cast<double>(e) * e;
        }
    }
    FinishSystem();
    return static_cast<float>(error);
}

void GlobalBlend::WriteResults(int channel)
{
    for (int k = 0; k < Frames(); ++k) {
        ImageFrame* frame = Frame(k);
        TRANSFORM_RS* rs = Record(frame);
        unsigned char* table = RecordTable(frame);
        if (!rs || !table) continue;
        const float gain = 1.0f + m_solution[2 * k];
        const float offset = m_solution[2 * k + 1];
        rs->colorFirst[channel] = gain;
        rs->colorSecond[channel] = offset;
        for (int v = 0; v < 256; ++v)
            table[3 * v + channel] = static_cast<unsigned char>(RoundByte(MapValue(frame, v, channel) * gain + offset));
    }
}

void GlobalBlend::BlendingOneChannel(int channel, float tolerance, bool robust)
{
    ComputeA(channel, robust);
    CG(tolerance);
    const int last = Last();
    m_solution.assign(2 * static_cast<size_t>(Frames()), 0.0f);
    float su = 0.0f, sw = 0.0f;
    for (int k = 0; k < last; ++k) {
        m_solution[2 * k] = m_step[2 * k];
        m_solution[2 * k + 1] = m_step[2 * k + 1];
        su += m_step[2 * k];
        sw += m_step[2 * k + 1];
    }
    m_solution[2 * last] = -su;
    m_solution[2 * last + 1] = -sw;
    WriteResults(channel);
}

void GlobalBlend::DoGlobalBlending(float tolerance)
{
    if (Frames() < 2) return;
    for (int c = 0; c < 3; ++c) BlendingOneChannel(c, tolerance, false);
    for (int c = 0; c < 3; ++c) {
        ComputeError(c);
        BlendingOneChannel(c, tolerance, true);
    }
}

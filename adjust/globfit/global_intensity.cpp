#include "adjust/globfit/global_intensity.h"

#include "core/pair_align_records.h"
#include "projectgraph/framegrp/image_frame.h"

#include <cmath>
#include <cstring>

GlobalIntensity::GlobalIntensity() = default;
GlobalIntensity::~GlobalIntensity() = default;

float GlobalIntensity::ComputeA(int channel)
{
    ResetSystem(2);
    double error = 0.0;
    for (const PairSamples& pair : m_samples) {
        const unsigned char* ti = ChannelTable(Frame(pair.k), channel);
        const unsigned char* tj = ChannelTable(Frame(pair.l), channel);
        const float* ci = &m_coef[2 * pair.k];
        const float* cj = &m_coef[2 * pair.l];
        for (int s = 0; s < pair.count; ++s) {
            const float* entry = &pair.entries[6 * static_cast<size_t>(s)];
            const float vi = ti[LookupIndex(entry[channel])] / 255.0f;
            const float vj = tj[LookupIndex(entry[3 + channel])] / 255.0f;
            const float di[2] = {vi * (1.0f - vi * vi), vi * vi * (1.0f - vi)};
            const float dj[2] = {-vj * (1.0f - vj * vj), -vj * vj * (1.0f - vj)};
            const float e = (vi + ci[0] * di[0] + ci[1] * di[1]) - (vj - cj[0] * dj[0] - cj[1] * dj[1]);
            AddResidual(pair.k, di, pair.l, dj, e);
            error += static_cast<double>(e) * e;
        }
    }
    FinishSystem();
    return static_cast<float>(error);
}

void GlobalIntensity::AdjustSolution(const std::vector<float>& step)
{
    const int last = Last();
    float sa = 0.0f, sb = 0.0f;
    for (int k = 0; k < last; ++k) {
        m_coef[2 * k] += step[2 * k];
        m_coef[2 * k + 1] += step[2 * k + 1];
        sa += m_coef[2 * k];
        sb += m_coef[2 * k + 1];
    }
    m_coef[2 * last] = -sa;
    m_coef[2 * last + 1] = -sb;
}

void GlobalIntensity::ComputeOneChannel(int channel, float tolerance)
{
    Descend(
        tolerance, [this, channel] { return ComputeA(channel); },
        [this](std::vector<float>& step) { AdjustSolution(step); }, [this] { m_backup = m_coef; },
        [this] { m_coef = m_backup; });
}

void GlobalIntensity::WriteResults(int channel)
{
    for (int k = 0; k < Frames(); ++k) {
        ImageFrame* frame = Frame(k);
        TRANSFORM_RS* rs = Record(frame);
        unsigned char* table = RecordTable(frame);
        if (!rs || !table) continue;
        const float a = m_coef[2 * k];
        const float b = m_coef[2 * k + 1];
        rs->colorFirst[channel] = a;
        rs->colorSecond[channel] = b;
        rs->gamma[channel] = 0.0f;
        for (int v = 0; v < 256; ++v) {
            const float mapped = MapValue(frame, v, channel);
            float out = mapped;
            if (v != 0 && v != 255) {
                const float x = mapped / 255.0f;
                out = 255.0f * (a + 1.0f + b * x - (a + b) * x * x) * x;
            }
            table[3 * v + channel] = static_cast<unsigned char>(RoundByte(out));
        }
        if (channel == 0) {
            // One curve for all channels.
            for (int v = 0; v < 256; ++v) table[3 * v + 1] = table[3 * v + 2] = table[3 * v];
            for (int c = 1; c < 3; ++c) {
                rs->colorFirst[c] = a;
                rs->colorSecond[c] = b;
            }
        }
    }
}

void GlobalIntensity::FindGlobalIntensity(float tolerance)
{
    if (Frames() < 2) return;
    m_coef.assign(2 * static_cast<size_t>(Frames()), 0.0f);
    ComputeOneChannel(0, tolerance);
    WriteResults(0);
}

#include "adjust/globfit/global_gamma.h"

#include "core/pair_align_records.h"
#include "projectgraph/framegrp/image_frame.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.1415925f;
constexpr float kDelta = 0.01f;   // forward difference of the gamma parameter
constexpr float kMaxStep = 0.1f;  // largest change of one parameter per step

}  // namespace

GlobalGamma::GlobalGamma() = default;
GlobalGamma::~GlobalGamma() = default;

float GlobalGamma::Gamma(float g)
{
    const float t = std::atan(g) / kPi;
    // Both sides stay inside (0, 1) for any realistic g; the clamp keeps a
    // huge one finite.
    const float up = std::clamp(0.5f + t, 1e-6f, 1.0f - 1e-6f);
    const float down = std::clamp(0.5f - t, 1e-6f, 1.0f - 1e-6f);
    return std::log(up) / std::log(down);
}

void GlobalGamma::ComputeGamma()
{
    for (size_t k = 0; k < m_g.size(); ++k) m_gamma[k] = Gamma(m_g[k]);
}

float GlobalGamma::ComputeA()
{
    ResetSystem(1);
    const int n = Frames();
    const int last = Last();
    // The derivative of I^G by the frame's own parameter, by a forward
    // difference (backward for the last frame, whose parameter is minus the
    // others' sum).
    std::vector<float> shifted(n);
    for (int k = 0; k < n; ++k) shifted[k] = Gamma(k == last ? m_g[k] - kDelta : m_g[k] + kDelta);
    std::vector<const unsigned char*> tables(3 * static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        for (int c = 0; c < 3; ++c) tables[3 * k + c] = ChannelTable(Frame(k), c);
    }
    auto intensity = [&](int frame, const float* values) {
        int sum = 0;
        for (int c = 0; c < 3; ++c) sum += tables[3 * frame + c][LookupIndex(values[c])];
        return static_cast<float>(sum) / 765.0f;
    };
    auto model = [&](int frame, float i, float& d) {
        const float v = std::pow(i, m_gamma[frame]);
        const float w = std::pow(i, shifted[frame]);
        d = frame == last ? (v - w) / kDelta : (w - v) / kDelta;
        return v;
    };
    double error = 0.0;
    for (const PairSamples& pair : m_samples) {
        for (int s = 0; s < pair.count; ++s) {
            const float* entry = &pair.entries[6 * static_cast<size_t>(s)];
            float di, dj;
            const float vi = model(pair.k, intensity(pair.k, entry), di);
            const float vj = model(pair.l, intensity(pair.l, entry + 3), dj);
            const float e = vi - vj;
            const float minus = -dj;
            AddResidual(pair.k, &di, pair.l, &minus, e);
            error += static_cast<double>(e) * e;
        }
    }
    FinishSystem();
    return static_cast<float>(error);
}

void GlobalGamma::AdjustGamma(std::vector<float>& step)
{
    float largest = 0.0f;
    for (float s : step) largest = std::max(largest, std::fabs(s));
    if (largest > kMaxStep) {
        const float scale = kMaxStep / largest;
        for (float& s : step) s *= scale;
    }
    const int last = Last();
    float sum = 0.0f;
    for (int k = 0; k < last; ++k) {
        m_g[k] = std::clamp(m_g[k] + step[k], -1.0f, 1.0f);
        sum += m_g[k];
    }
    m_g[last] = -sum;
    ComputeGamma();
}

void GlobalGamma::ComputeOneChannel(float tolerance)
{
    Descend(
        tolerance, [this] { return ComputeA(); }, [this](std::vector<float>& step) { AdjustGamma(step); },
        [this] {
            m_gBackup = m_g;
            m_gammaBackup = m_gamma;
        },
        [this] {
            m_g = m_gBackup;
            m_gamma = m_gammaBackup;
        });
}

void GlobalGamma::WriteResults()
{
    for (int k = 0; k < Frames(); ++k) {
        ImageFrame* frame = Frame(k);
        TRANSFORM_RS* rs = Record(frame);
        unsigned char* table = RecordTable(frame);
        if (!rs || !table) continue;
        const float gamma = m_gamma[k];
        for (int c = 0; c < 3; ++c) {
            rs->colorFirst[c] = -1.0f;
            rs->colorSecond[c] = 0.0f;
            rs->gamma[c] = gamma;
            for (int v = 0; v < 256; ++v) {
                const float mapped = MapValue(frame, v, c);
                // The ends keep the colour control's values.
                const float out = v == 0 || v == 255 ? mapped : 255.0f * std::pow(mapped / 255.0f, gamma);
                table[3 * v + c] = static_cast<unsigned char>(RoundByte(out));
            }
        }
    }
}

void GlobalGamma::FindGlobalGamma(float tolerance)
{
    if (Frames() < 2) return;
    m_g.assign(Frames(), 0.0f);
    m_gamma.assign(Frames(), 1.0f);
    ComputeOneChannel(tolerance);
    WriteResults();
}

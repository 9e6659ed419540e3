#include "platform/imgcore/color_ctrl.h"

#include "imaging/image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

ColorCtrl::ColorCtrl()
{
    for (int c = 0; c < 4; ++c) {
        m_brightness[c] = 0;
        m_contrast[c] = 1.0f;
        m_gamma[c] = 1.0f;
    }
    RebuildTables();
}

namespace {

// Stores `value` into slot `channel`, or into all four slots for channel 3;
// true when any slot changed.
template <class T>
bool Store(T (&slots)[4], T value, int channel)
{
    if (channel < 0 || channel > 3) return false;
    bool changed = false;
    const int lo = channel == 3 ? 0 : channel;
    const int hi = channel == 3 ? 3 : channel;
    for (int c = lo; c <= hi; ++c) {
        if (slots[c] != value) changed = true;
        slots[c] = value;
    }
    return changed;
}

}  // namespace

bool ColorCtrl::SetBrightness(char value, int channel)
{
    if (!Store(m_brightness, static_cast<int8_t>(value), channel)) return false;
    m_lastChannel = channel;
    RebuildTables();
    return true;
}

bool ColorCtrl::SetContrast(float value, int channel)
{
    if (!std::isfinite(value) || !Store(m_contrast, value, channel)) return false;
    m_lastChannel = channel;
    RebuildTables();
    return true;
}

bool ColorCtrl::SetGamma(float value, int channel)
{
    if (!std::isfinite(value) || value < 0.0f || !Store(m_gamma, value, channel)) return false;
    m_lastChannel = channel;
    RebuildTables();
    return true;
}

char ColorCtrl::GetBrightness(int channel) const
{
    return channel >= 0 && channel <= 3 ? static_cast<char>(m_brightness[channel]) : 0;
}

float ColorCtrl::GetContrast(int channel) const
{
    return channel >= 0 && channel <= 3 ? m_contrast[channel] : 1.0f;
}

float ColorCtrl::GetGamma(int channel) const
{
    return channel >= 0 && channel <= 3 ? m_gamma[channel] : 1.0f;
}

bool ColorCtrl::ResetBCG()
{
    bool changed = !IsDefaultValue() || m_brightness[3] != 0 || m_contrast[3] != 1.0f || m_gamma[3] != 1.0f;
    Store(m_brightness, int8_t{0}, 3);
    Store(m_contrast, 1.0f, 3);
    Store(m_gamma, 1.0f, 3);
    m_lastChannel = kAllChannels;
    RebuildTables();
    return changed;
}

bool ColorCtrl::IsDefaultBrightness() const
{
    return m_brightness[0] == 0 && m_brightness[1] == 0 && m_brightness[2] == 0;
}

bool ColorCtrl::IsDefaultContrast() const
{
    return m_contrast[0] == 1.0f && m_contrast[1] == 1.0f && m_contrast[2] == 1.0f;
}

bool ColorCtrl::IsDefaultGamma() const
{
    return m_gamma[0] == 1.0f && m_gamma[1] == 1.0f && m_gamma[2] == 1.0f;
}

bool ColorCtrl::IsDefaultValue() const
{
    return IsDefaultBrightness() && IsDefaultContrast() && IsDefaultGamma();
}

const uint8_t* ColorCtrl::GetTableBlock() const
{
    return m_gammaActive ? m_gammaTable : nullptr;
}

// The same step the compositing kernels take: scale and offset in float,
// truncate toward zero, clamp to a byte.
int ColorCtrl::Adjust(int value, float contrast, int brightness)
{
    const float v = static_cast<float>(value) * contrast + static_cast<float>(brightness);
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<int>(v);
}

float ColorCtrl::GetMapValue(int value, int channel) const
{
    if (channel < 0 || channel > 2) channel = 0;
    value = value < 0 ? 0 : (value > 255 ? 255 : value);
    const int a = Adjust(value, m_contrast[channel], m_brightness[channel]);
    if (m_gamma[channel] == 1.0f) return static_cast<float>(a);
    // A gamma of 0 (the slider's end) would flatten the curve to a constant;
    // below 0.02 the curve is taken at 0.02 so it stays finite and monotone.
    return 255.0f * std::pow(static_cast<float>(a) / 255.0f, std::max(m_gamma[channel], 0.02f));
}

void ColorCtrl::RecomputeMap()
{
    RebuildTables();
}

void ColorCtrl::RebuildTables()
{
    m_gammaActive = !IsDefaultGamma();
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < 256; ++k) {
            const float g = m_gamma[c] == 1.0f ? static_cast<float>(k)
                                               : 255.0f * std::pow(static_cast<float>(k) / 255.0f, m_gamma[c]);
            const int rounded = static_cast<int>(g + 0.5f);
            m_gammaTable[c * 256 + k] = static_cast<uint8_t>(rounded > 255 ? 255 : rounded);
        }
        for (int k = 0; k < 256; ++k)
            m_map[c * 256 + k] = m_gammaTable[c * 256 + Adjust(k, m_contrast[c], m_brightness[c])];
    }
}

const uint8_t* ColorCtrl::GetMapTable(int channel) const
{
    return channel >= 0 && channel <= 2 ? m_map + channel * 256 : nullptr;
}

uint8_t* ColorCtrl::GetMapTable(int channel)
{
    return channel >= 0 && channel <= 2 ? m_map + channel * 256 : nullptr;
}

bool ColorCtrl::MapImage(const Image* source, Image* destination) const
{
    if (!source || !destination || !source->GetData() || !destination->GetData()) return false;
    const int ch = source->GetChannels();
    if (source->GetDataType() != IMG_UINT8 || destination->GetDataType() != IMG_UINT8 || !source->IsInterleaved() ||
        !destination->IsInterleaved() || (ch != 1 && ch != 3) || destination->GetChannels() != ch ||
        source->GetWidth() != destination->GetWidth() || source->GetHeight() != destination->GetHeight())
        return false;
    // Samples are blue, green, red: byte 0 through the blue table.
    const uint8_t* tables[3] = {m_map + 2 * 256, m_map + 256, m_map};
    if (ch == 1) tables[0] = m_map;
    const int width = source->GetWidth();
    for (int y = 0; y < source->GetHeight(); ++y) {
        const uint8_t* src = source->GetData() + static_cast<size_t>(y) * source->GetRowByte();
        uint8_t* dst = destination->GetData() + static_cast<size_t>(y) * destination->GetRowByte();
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < ch; ++c) dst[x * ch + c] = tables[c][src[x * ch + c]];
    }
    return true;
}

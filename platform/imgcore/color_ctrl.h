// Per-channel colour control of the image module: brightness (a signed byte
// offset), contrast (a factor) and gamma (an exponent) for red, green and
// blue, or all three at once. Image cells composite through it, image frames
// remap their thumbnails through its tables, and the brightness dialog edits
// it. Channel numbers: 0 red, 1 green, 2 blue, 3 all three.
#pragma once

#include <cstdint>

class Image;

class ColorCtrl {
public:
    static constexpr int kAllChannels = 3;

    ColorCtrl();

    // Each setter reports whether a value changed; a channel outside 0..3 or
    // a value that is not usable (a non-finite factor, a negative gamma)
    // changes nothing.
    bool SetBrightness(char value, int channel);
    bool SetContrast(float value, int channel);
    bool SetGamma(float value, int channel);
    char GetBrightness(int channel) const;
    float GetContrast(int channel) const;
    float GetGamma(int channel) const;
    int GetLastUpdatedChannel() const { return m_lastChannel; }

    // Back to neutral (brightness 0, contrast and gamma 1); true when
    // anything changed.
    bool ResetBCG();
    bool IsDefaultBrightness() const;
    bool IsDefaultContrast() const;
    bool IsDefaultGamma() const;
    bool IsDefaultValue() const;

    // What the compositing kernels read: the gamma tables (red, green, blue,
    // 256 bytes each, consecutive), null while every gamma is 1, and the
    // contrast factors and brightness offsets in red, green, blue order. A
    // sample v of channel c maps to gamma[c][clamp(trunc(v * contrast[c] +
    // brightness[c]))].
    const uint8_t* GetTableBlock() const;
    const float* GetContrastFactors() const { return m_contrast; }
    const int8_t* GetBrightnessOffsets() const { return m_brightness; }

    // The whole mapping of a sample (brightness, contrast and gamma): as a
    // value before rounding, and as tables of 256 entries (red, green, blue
    // consecutive) that RecomputeMap refreshes. Setters keep the tables up
    // to date; RecomputeMap is for callers that changed nothing else.
    float GetMapValue(int value, int channel) const;
    void RecomputeMap();
    const uint8_t* GetMapTable(int channel) const;
    uint8_t* GetMapTable(int channel);

    // Maps an 8-bit interleaved image of 1 or 3 channels (samples blue,
    // green, red; one channel through the red settings) into a destination
    // of the same size and channels; the two may be the same image.
    bool MapImage(const Image* source, Image* destination) const;

private:
    int8_t m_brightness[4];
    float m_contrast[4];
    float m_gamma[4];
    int m_lastChannel = kAllChannels;
    bool m_gammaActive = false;
    uint8_t m_gammaTable[3 * 256];
    uint8_t m_map[3 * 256];

    void RebuildTables();
    static int Adjust(int value, float contrast, int brightness);
};

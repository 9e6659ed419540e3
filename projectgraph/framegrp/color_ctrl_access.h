// The frame's access to its colour control (Imgcore's ColorCtrl): the three
// 256-entry mapping tables and the per-channel settings the record stream
// stores. Channel 0 is red, 1 green, 2 blue.
#pragma once

#include "platform/imgcore/color_ctrl.h"

inline unsigned char* ColorTable(ColorCtrl& cc, int channel)
{
    return cc.GetMapTable(channel);
}

inline signed char ColorBrightness(const ColorCtrl& cc, int channel)
{
    return static_cast<signed char>(cc.GetBrightness(channel));
}

inline void SetColorBrightness(ColorCtrl& cc, int channel, signed char value)
{
    cc.SetBrightness(static_cast<char>(value), channel);
}

inline float ColorContrast(const ColorCtrl& cc, int channel)
{
    return cc.GetContrast(channel);
}

inline void SetColorContrast(ColorCtrl& cc, int channel, float value)
{
    cc.SetContrast(value, channel);
}

inline float ColorGamma(const ColorCtrl& cc, int channel)
{
    return cc.GetGamma(channel);
}

inline void SetColorGamma(ColorCtrl& cc, int channel, float value)
{
    cc.SetGamma(value, channel);
}

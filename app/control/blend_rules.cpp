#include "app/control/blend_rules.h"

#include "platform/panocore/pair_share_info.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <algorithm>
#include <cmath>

float ReductionFactor(int code)
{
    switch (code) {
    case 2: return 3.0f;
    case 3: return 2.0f;
    case 4: return 1.5f;
    case 5: return 1.3333334f;
    default: return 1.0f;
    }
}

ReloadChoice ChooseReload(float scale, float loadedScale)
{
    ReloadChoice choice;
    if (!(scale > loadedScale)) return choice;
    choice.large = true;
    if (scale > 0.75f) {
        choice.code = 1;
        choice.x = loadedScale;
    } else if (scale > 0.6666667f) {
        choice.code = 5;
        choice.x = loadedScale * 4.0f / 3.0f;
    } else if (scale > 0.5f) {
        choice.code = 4;
        choice.x = loadedScale * 1.5f;
    } else if (scale > 0.33333334f) {
        choice.code = 3;
        choice.x = loadedScale * 2.0f;
    } else {
        choice.code = 2;
        choice.x = loadedScale * 3.0f;
    }
    return choice;
}

int BlendLevels(int w0, float outputScale, float loadedScale)
{
    const float v = 2.0f * w0 * (outputScale / loadedScale) / 500.0f;
    if (!(v >= 1.0f)) return 1;
    if (v >= 3.0f) return 3;
    return static_cast<int>(v);
}

int SeamKindFromCode(int code)
{
    return code == 1 ? 2 : code == 2 ? 1 : 0;
}

uint8_t LinkSeamCode(ImageFrame* frame, ImageFrame* other)
{
    Neighbor* link = frame && other ? frame->FindNeighbor(other) : nullptr;
    IPairShareInfo* share = link ? link->GetPairShareInfo() : nullptr;
    return share ? share->GetSeamCode() : 0xFF;
}

int LinkSeamKind(ImageFrame* frame, ImageFrame* other)
{
    const uint8_t code = LinkSeamCode(frame, other);
    return code == 0xFF ? 0 : SeamKindFromCode(code);
}

float WrapPan(float pan)
{
    constexpr double kPi = 3.14159265358979;
    if (!std::isfinite(pan)) return pan;
    while (pan < -kPi) pan += 6.2831855f;
    while (pan >= kPi) pan -= 6.2831855f;
    return pan;
}

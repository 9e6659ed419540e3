// Drawing one frame of a blended panorama into a rectangular world map: its
// own region plainly and, per neighbour, its band cross-faded against what
// the neighbour draws there, with the intensity difference measured along
// the division line applied on the blended side.
#pragma once

#include "adjust/blendkit/blend_map.h"
#include "platform/mapproj/blend_map_interfaces.h"

class IImageFrame;
class RectWorldMap;

// Draws frame into map. The frame's pair information towards each neighbour
// (at most two) must hold its blend polygons. Without neighbours the whole
// frame is drawn. False (nothing drawn) without a frame, image, placement or
// map, with a missing blend-polygon record, or with more than two neighbours.
bool BlendOneImageRS(IImageFrame* frame, RectWorldMap* map, IMakeVantorRect* drawer = nullptr);

class CBlendRS {
public:
    // Kept for callers: true.
    bool MainBlendRS() { return true; }
};

// The band of the side drawn plainly: no correction, and the first side's
// weight for the cross-fade with what the other side drew there first, so
// that either drawing order gives the same composite.
class CPlainSideMap : public IBlendMap {
public:
    explicit CPlainSideMap(CBlendMap* firstSide) : m_map(firstSide) {}
    int GetPtV_MarginRegion(POINT2& pt, POINT2* shift, int* out, float* weight) override
    {
        m_map->GetPtV_MarginRegion(pt, weight);
        if (shift != nullptr) *shift = POINT2{0.0f, 0.0f};
        out[0] = out[1] = out[2] = 0;
        return 1;
    }
    int GetPtV_MarginRegion(POINT2& pt, float* weight) override { return m_map->GetPtV_MarginRegion(pt, weight); }
    int GetMarginRegionKind() override { return 0; }

private:
    CBlendMap* m_map;
};

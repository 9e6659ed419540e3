#include "adjust/blendkit/blend_records.h"

#include "geometry/polykit/poly_clip.h"

#include <cstring>

namespace {
void FreeOwnedPolygon(gpc_polygon*& p)
{
    if (p == nullptr) return;
    CPolyClip::gpc_free_polygon(p);
    delete p;
    p = nullptr;
}
}  // namespace

void CBlendPolygons::InitAll()
{
    drawPlain = 0;
    std::memset(&pairPrms, 0, sizeof(pairPrms));
    lineData = nullptr;
    bound = nullptr;
    ownRegion = nullptr;
    band = nullptr;
}

void CBlendPolygons::FreeAll()
{
    FreeDivLineData(lineData);
    lineData = nullptr;
    FreeOwnedPolygon(bound);
    FreeOwnedPolygon(ownRegion);
    FreeOwnedPolygon(band);
}

void FreeIntenPairs(INTEN_PAIRS* pairs)
{
    if (pairs == nullptr) return;
    delete[] pairs->entries;
    pairs->entries = nullptr;
    pairs->count = 0;
}

void FreeDivLineData(CDivLineData* data)
{
    if (data == nullptr) return;
    delete[] data->samples;
    delete data;
}

// Draws placed frames into a rectangular world map (an equator of W samples,
// column W / 2 at longitude 0 and row W / 4 at the equator, rows growing
// downwards as latitude does on the sphere map of CRectPtRS). Every map pixel
// is traced back into the frame through its TRANSFORM_RS (pan, tilt, roll,
// reciprocal focal length about the image centre) and sampled bilinearly; a
// first sample of 0 is written as 1, since 0 marks "no data".
#pragma once

#include "platform/mapproj/blend_map_interfaces.h"

class CMakeVantorRect : public IMakeVantorRect {
public:
    // The whole frame, overwriting what the map holds.
    bool MapImgRS(Image* img, TRANSFORM_RS* t, RectWorldMap* map) override;
    // Only the map pixels whose ray lands inside poly (the frame's centred
    // frame: origin at pixel (W / 2, H / 2)) and inside the frame; overwriting.
    bool MapOnePolygon(Image* img, TRANSFORM_RS* t, RectWorldMap* map, gpc_polygon* poly) override;
    // The same pixels through the blend map: the corrected sample is the
    // frame's sample plus out_c (kept within 1..255); where the map already
    // holds data it becomes map (1 - weight) + corrected weight, else the
    // corrected sample.
    bool BlendOnePolygon(Image* img, TRANSFORM_RS* t, RectWorldMap* map, gpc_polygon* poly,
                         IBlendMap* blend) override;
    void SetRowThreads(int n) override { m_threads = n < 1 ? 1 : n; }

private:
    bool Draw(const char* caller, Image* img, TRANSFORM_RS* t, RectWorldMap* map, gpc_polygon* poly,
              IBlendMap* blend);

    int m_threads = 1;
};

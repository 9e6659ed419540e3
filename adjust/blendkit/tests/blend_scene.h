// Frames rendered from a sphere texture with known placements, put into an
// image group with their links' pair information, as the stitching core
// keeps them; and an independent per-pixel mapping onto the world map.
#pragma once

#include "adjust/blendkit/blend_records.h"
#include "core/pair_align_records.h"
#include "imaging/image.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/image_group.h"

#include <array>
#include <functional>
#include <string>

namespace blend_test {

// Colour of the sphere at (longitude, latitude), radians; latitude grows
// downwards as the world map's rows do.
using Sphere = std::function<std::array<float, 3>(double lon, double lat)>;

TRANSFORM_RS Placement(double panDeg, double tiltDeg, double rollDeg, double focal);
// A W x H view of the sphere through t, every sample times gain (kept 1..255).
Image* RenderView(const Sphere& sphere, int w, int h, const TRANSFORM_RS& t, float gain);
// A smooth coloured texture with detail at several scales.
Sphere Texture();
// The equirectangular photograph at path as a sphere (bilinear); null
// function when it cannot be read.
Sphere PanoramaSphere(const std::string& path);

// Bilinear sample of img at a centred-frame point, as the world-map drawing
// takes it; false outside the pixel area.
bool SampleCentred(const Image* img, float x, float y, float out[3]);
// Where a map pixel's ray lands in a frame placed by t (centred frame);
// false behind it.
bool MapPixelToFrame(int mapWidth, int column, int row, const TRANSFORM_RS& t, float* x, float* y);

bool InsidePolygon(const gpc_polygon* poly, float x, float y);

class Scene {
public:
    Scene() = default;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // A frame holding img (the scene takes the caller's reference) placed by t.
    ImageFrame* Add(Image* img, const TRANSFORM_RS& t);
    // Links a and b with pair information both ways; without prepare no
    // blend polygons are stored. With prepare, the pair is prepared a -> b
    // and each side kept in its direction's pair information; false when
    // the preparation fails.
    bool Link(ImageFrame* a, ImageFrame* b, bool prepare, INTEN_PAIRS* pairs = nullptr);

    ImageGroup group;
};

}  // namespace blend_test

#include "align/pairlock/overlap_support.h"

#include "geometry/polykit/poly_clip.h"
#include "geometry/polykit/poly_geom.h"
#include "imaging/image.h"

#include <new>

namespace overlap {

void PolygonDeleter::operator()(gpc_polygon* polygon) const
{
    if (!polygon) return;
    CPolyClip::gpc_free_polygon(polygon);
    delete polygon;
}

Image* NewClearedImage(int width, int height, int channels)
{
    if (width <= 0 || height <= 0 || (channels != 1 && channels != 3)) return nullptr;
    const size_t bytes = size_t(width) * size_t(height) * size_t(channels);
    if (bytes > kMaxOverlapBytes) return nullptr;
    Image* image = new (std::nothrow) Image(width, height, channels);
    if (!image) return nullptr;
    if (!image->GetData()) {
        ReleaseImage(image);
        return nullptr;
    }
    image->Clear();
    return image;
}

bool UsableImage(const Image* image)
{
    return image && image->GetData() && image->GetDataType() == IMG_UINT8 && image->IsInterleaved() &&
           (image->GetChannels() == 1 || image->GetChannels() == 3) && image->GetWidth() >= 2 &&
           image->GetHeight() >= 2;
}

bool FirstContourBox(const gpc_polygon* polygon, REGION2* box)
{
    if (!polygon || polygon->count < 1 || !polygon->contours || polygon->contours[0].count < 1 ||
        !polygon->contours[0].points)
        return false;
    CPolyGeom::CalcBoundBox(polygon->contours[0].points, polygon->contours[0].count, box);
    return true;
}

}  // namespace overlap

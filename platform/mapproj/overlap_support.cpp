#include "platform/mapproj/overlap_support.h"

#include "geometry/polykit/poly_clip.h"
#include "imaging/image.h"

#include <algorithm>
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
    const gpc_vertex_list& c = polygon->contours[0];
    float left = c.points[0].x, right = left, top = c.points[0].y, bottom = top;
    for (int i = 1; i < c.count; ++i) {
        left = std::min(left, c.points[i].x);
        right = std::max(right, c.points[i].x);
        top = std::min(top, c.points[i].y);
        bottom = std::max(bottom, c.points[i].y);
    }
    box->top = top;
    box->bottom = bottom;
    box->left = left;
    box->right = right;
    box->width = right - left;
    box->height = bottom - top;
    return true;
}

}  // namespace overlap

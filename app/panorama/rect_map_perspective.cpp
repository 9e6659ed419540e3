// "Create perspective view": the region of the panorama view (the
// perspective rectangle, else the selection) becomes a flat picture in a new
// image window "Perspective View <n>".
#include "app/panorama/rect_map_tools.h"
#include "app/panorama/rect_map_view.h"

#include "app/control/super_manager.h"
#include "app/views/image_loaders.h"
#include "core/geometry_records.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/mapproj/rect_img_rs.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// A new image holding the exclusive rectangle of `source`.
Image* CutImage(const Image* source, const RECT& r)
{
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0 || r.left < 0 || r.top < 0 || r.right > source->GetWidth() || r.bottom > source->GetHeight())
        return nullptr;
    auto* out = new Image();
    if (out->BmpInit(w, h, source->GetChannels()) != 0) {
        ReleaseImage(out);
        return nullptr;
    }
    const size_t rowBytes = static_cast<size_t>(w) * source->GetChannels();
    for (int y = 0; y < h; ++y)
        std::memcpy(out->GetData() + static_cast<size_t>(y) * out->GetRowByte(),
                    source->GetData() + static_cast<size_t>(y + r.top) * source->GetRowByte() +
                        static_cast<size_t>(r.left) * source->GetChannels(),
                    rowBytes);
    return out;
}

}  // namespace

Image* CRectMapView::RenderFromFrames(const RECT& region, int W)
{
    constexpr float kLargestAngle = 2.443346f;  // radians, each way
    Image* screen = GetScreen();
    SuperManager* manager = GetSuperManager();
    if (!screen || !manager || W <= 0) return nullptr;
    const RECT clipped{std::max<LONG>(region.left, 0), std::max<LONG>(region.top, 0),
                       std::min<LONG>(region.right + 1, screen->GetWidth()),
                       std::min<LONG>(region.bottom + 1, screen->GetHeight())};
    Image* shown = CutImage(screen, clipped);
    if (!shown) return nullptr;
    const double r = W / kTwoPi;  // pixels a radian
    const float width = std::min(static_cast<float>((region.right - region.left + 1) / r), kLargestAngle);
    const float height = std::min(static_cast<float>((region.bottom - region.top + 1) / r), kLargestAngle);
    // Screen column j is map column x0 + j, x0 = W / 2 - columnShift - w / 2;
    // pan 0 at the map's middle column, tilt positive downwards like the rows.
    const double middleX = 0.5 * (region.left + region.right), middleY = 0.5 * (region.top + region.bottom);
    const POINT2 direction{static_cast<float>((middleX - m_columnShift - screen->GetWidth() / 2) / r),
                           static_cast<float>((middleY - m_equatorRow) / r)};
    Image* picture = manager->RenderPerspectiveView(shown, width, height, &direction, kFieldFactor);
    ReleaseImage(shown);
    return picture;
}

Image* CRectMapView::MakePerspectiveImage()
{
    Image* screen = GetScreen();
    const int W = m_worldMap ? m_worldMap->GetWidth() : 0;
    if (!screen || !screen->GetData() || W <= 0) {
        Logger::log("ERROR CRectMapView::OnCreatePerspectiveView no panorama to look at", 1);
        return nullptr;
    }
    // The region in screen-bitmap (map) pixels.
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    const bool hasRegion = (m_mode & perspectiveRegion) != 0;
    const RECT& viewRegion = hasRegion ? m_perspectiveRect : *GetWndSelRect();
    RECT region{static_cast<LONG>(viewRegion.left / zx), static_cast<LONG>(viewRegion.top / zy),
                static_cast<LONG>(viewRegion.right / zx), static_cast<LONG>(viewRegion.bottom / zy)};
    if (region.right < region.left || region.bottom < region.top)
        region = RECT{0, 0, screen->GetWidth() - 1, screen->GetHeight() - 1};
    double centreX = 0, centreY = 0;
    const bool hasCentre = hasRegion && m_regionCentre;
    if (hasCentre) {
        centreX = m_regionCentre->x;
        centreY = m_regionCentre->y;
    }
    // A leveled preview looks where the leveling turned the panorama.
    if (SuperManager* manager = GetSuperManager()) {
        float pan = 0, tilt = 0, roll = 0;
        if (manager->GetLevelingAngles(&pan, &tilt, &roll)) {
            const int shift = static_cast<int>(std::lround(pan * W / kTwoPi));
            region.left += shift;
            region.right += shift;
            centreX += shift;
        }
    }
    if (!hasRegion) region = perspective::NarrowTo(region, W / 3);
    const RECT userRegion = region;
    if (hasCentre) region = perspective::MirrorAboutCentre(region, centreX, centreY);

    Image* picture = nullptr;
    // A panorama of the project (no file, or none open under its name) is
    // rendered again from its frames; any other from the picture shown.
    const char* name = m_worldMap->GetName();
    SuperManager* manager = GetSuperManager();
    if (manager && !(name && *name && manager->HasWorldMapNamed(name))) picture = RenderFromFrames(region, W);
    if (!picture) picture = CRectImgRS::BitmapAreaToPlane(screen, m_equatorRow, W, &region, 0, kFieldFactor, 0, 1, 1);
    if (!picture) return nullptr;
    if (!hasCentre) return picture;

    int width = 0, height = 0;
    perspective::ProjectedSize(userRegion, centreX, centreY, m_equatorRow, W, picture->GetWidth(),
                               picture->GetHeight(), width, height);
    const RECT cut = perspective::CutRect(userRegion, centreX, centreY, picture->GetWidth(), picture->GetHeight(),
                                          width, height);
    Image* kept = CutImage(picture, cut);
    ReleaseImage(picture);
    if (!kept) Logger::log("ERROR CRectMapView::OnCreatePerspectiveView an empty projected region", 1);
    return kept;
}

void CRectMapView::OnCreatePerspectiveView()
{
    Image* picture = MakePerspectiveImage();
    if (!picture) return;
    SuperManager* manager = GetSuperManager();
    char number[32] = "1";
    if (manager) manager->FormatPanoramaNumber(number, sizeof(number));
    const std::string title = std::string("Perspective View ") + number;
    if (manager) manager->NextPanoramaNumber();
    if (!OpenImageWindow(picture, title.c_str()))
        Logger::log("ERROR CRectMapView::OnCreatePerspectiveView cannot open \"%s\"", 1, title.c_str());
    ReleaseImage(picture);
}

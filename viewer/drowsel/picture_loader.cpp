#include "viewer/drowsel/picture_loader.h"

#include "core/logger.h"
#include "platform/win/file_system.h"
#include "viewer/engine/panorama_reader.h"
#include "worldmap/world_map_base.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace drowsel {

namespace {

struct MapRelease {
    void operator()(WorldMapBase* map) const
    {
        if (map) map->Release();
    }
};

}  // namespace

Image* PanoramaDataImage(const WorldMapBase& map)
{
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0, width = 0, height = 0;
    if (!map.GetDataArea(x0, y0, x1, y1, width, height) || width <= 0 || height <= 0) return nullptr;
    Image* image = new Image(width, height, 3);
    if (!image->GetData()) {
        ReleaseImage(image);
        return nullptr;
    }
    const int w = map.GetWidth();
    // Columns x0 .. x0 + width - 1 of the circle: up to the map's right
    // edge, then from column 0.
    const int firstPiece = std::min(width, w - x0);
    map.ComputePanoImage(x0, x0 + firstPiece - 1, y0, y0 + height - 1, image, 0, 0);
    if (firstPiece < width) map.ComputePanoImage(0, width - firstPiece - 1, y0, y0 + height - 1, image, firstPiece, 0);
    return image;
}

bool LoadDisplayPicture(const std::string& path, int w, int h, int fovPercent, bool thumbnail, DisplayPicture& out)
{
    out = DisplayPicture();
    if (w <= 0 || h <= 0) {
        Logger::log("ERROR LoadDisplayPicture window of %dx%d", 1, w, h);
        return false;
    }
    Image* image = nullptr;
    WorldMapBase* rawMap = nullptr;
    const std::string file = win::ToPosixPath(path);
    const int result = viewengine::LoadImageWMapBaseEx(file.c_str(), &image, &rawMap, true, thumbnail);
    RefPtr<Image> source = RefPtr<Image>::adopt(image);
    std::unique_ptr<WorldMapBase, MapRelease> map(rawMap);
    if (result == viewengine::kReadPanorama && map) {
        source = RefPtr<Image>::adopt(PanoramaDataImage(*map));
        out.panorama = true;
    } else if (result != viewengine::kReadPlain) {
        source.reset();
    }
    map.reset();
    if (!source || !source->GetData()) {
        Logger::log("ERROR LoadDisplayPicture cannot read %s as a picture or panorama (result %d)", 1, path.c_str(),
                    result);
        return false;
    }
    out.sourceWidth = source->GetWidth();
    out.sourceHeight = source->GetHeight();
    out.plan = PlanDisplay(out.sourceWidth, out.sourceHeight, out.panorama, w, h, fovPercent);
    out.picture = RefPtr<Image>::adopt(ResampleBilinear(*source, out.plan.displayWidth, out.plan.displayHeight));
    if (!out.picture) {
        Logger::log("ERROR LoadDisplayPicture cannot make the %dx%d display image of %s", 1, out.plan.displayWidth,
                    out.plan.displayHeight, path.c_str());
        return false;
    }
    return true;
}

}  // namespace drowsel

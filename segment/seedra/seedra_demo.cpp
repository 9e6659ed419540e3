#include "segment/seedra/seedra_demo.h"

#include "segment/seedra/seed_grow.h"

#include "geometry/polykit/poly_clip.h"
#include "platform/utilkit/debug_display.h"
#include "geometry/polykit/poly_seg.h"
#include "imaging/image.h"
#include "imaging/value_image.h"
#include "core/logger.h"

#include <algorithm>
#include <memory>

Image* ByteMapToImage(const unsigned char* map, int w, int h, unsigned char lo, unsigned char hi)
{
    if (!map || w <= 0 || h <= 0) {
        Logger::log("ERROR ByteMapToImage no map or bad size %d x %d", 1, w, h);
        return nullptr;
    }
    return MapToImage(map, w, h, lo, hi);
}

namespace {

// Shows the label map (when there is one) and the distance map side by side
// in debug window 0.
void ShowMaps(ISeedGrow8* grower)
{
    int cols = 0, rows = 0;
    grower->GetGridSize(&cols, &rows);
    if (!GetDebugDispFlag()) return;
    if (grower->GetLabelMap()) {
        Image* labels = ByteMapToImage(grower->GetLabelMap(), cols, rows, 0, 255);
        if (labels) DisplayImageWin0(labels, nullptr, 0, 0);
        ReleaseImage(labels);
    }
    Image* dist = ByteMapToImage(grower->GetDistanceMap(), cols, rows, 0, 255);
    if (dist) DisplayImageWin0(dist, nullptr, cols + 1, 0);
    ReleaseImage(dist);
}

}  // namespace

void TestSeedGrow()
{
    std::unique_ptr<ISeedGrow8> grower(CreateSeedGrow8());
    if (!grower) return;
    const POINT2 line[2] = {{40, 50}, {40, 150}};
    const REGION area{0, 0, 199, 249, 200, 250};
    grower->DistanceFromPolyline(line, 2, &area, 1, 1, false);
    ShowMaps(grower.get());
}

void TestPolySegGrow()
{
    Logger::log("TestPolySegGrow:", 4);
    POINT2 squareA[4] = {{2, 2}, {2, 100}, {100, 100}, {100, 2}};
    POINT2 squareB[4] = {{22, 22}, {22, 150}, {150, 150}, {150, 22}};
    gpc_polygon a{0, nullptr}, b{0, nullptr};
    gpc_vertex_list la{4, squareA}, lb{4, squareB};
    CPolyClip::gpc_add_contour(&a, &la);
    CPolyClip::gpc_add_contour(&b, &lb);

    int xOffset = 0;
    auto draw = [&xOffset](const gpc_polygon& p) {
        for (int i = 0; i < p.count; ++i) {
            const int colour = 0xFF + ((30 * i) % 256) * 256 + ((10 * i) % 256) * 65536;
            DrawOnePt2Array(p.contours[i].points, std::min(p.contours[i].count, 100), xOffset, 0, 2.0f, colour);
        }
    };
    draw(a);
    draw(b);
    xOffset = 300;

    CPolySeg seg;
    if (seg.TwoPolygonIntSegments(&a, &b)) {
        draw(*seg.GetIntPolygon());
        seg.PrintAllSegNodes();
        std::unique_ptr<ISeedGrow8> grower(CreateSeedGrow8());
        if (grower) {
            const REGION area{0, 0, 149, 199, 150, 200};
            grower->DistanceFromSegments(&seg, true, &area, 1, 1);
            ShowMaps(grower.get());
        }
    }
    CPolyClip::gpc_free_polygon(&a);
    CPolyClip::gpc_free_polygon(&b);
}

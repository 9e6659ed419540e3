#include "align/pairlock/wmap_align.h"

#include "align/pairlock/ncc_maps_align.h"
#include "imaging/image.h"
#include "platform/utilkit/debug_display.h"
#include "core/logger.h"

int WMapAlign::Align(Image* img1, Image* img2, int offset, int rangeX, int rangeY, POINT2** pts, int* count)
{
    if (!pts || !count) return 0;
    pts[0] = pts[1] = nullptr;
    *count = 0;
    if (!img1 || !img2) {
        Logger::log("ERROR WMapAlign::Align: missing image", 1);
        return 0;
    }
    const int w = img1->GetWidth();
    const int h = img1->GetHeight();
    if (w != img2->GetWidth() || h != img2->GetHeight() || w < 1 || h < 1) {
        Logger::log("ERROR WMapAlign::Align: image sizes differ: %dx%d and %dx%d", 1, w, h, img2->GetWidth(),
                    img2->GetHeight());
        return 0;
    }
    if (offset < 0 || offset > w - 1) {
        Logger::log("ERROR WMapAlign::Align: offset %d outside 0 .. %d", 1, offset, w - 1);
        return 0;
    }

    REGION box{0, 0, w - 1 - offset, h - 1, w - offset, h};
    POINT2 corners[4] = {{static_cast<float>(offset), 0.0f},
                         {static_cast<float>(w - 1), 0.0f},
                         {static_cast<float>(w - 1), static_cast<float>(h - 1)},
                         {static_cast<float>(offset), static_cast<float>(h - 1)}};
    gpc_vertex_list ring{4, corners};
    gpc_polygon overlap{1, &ring};

    CNCCMapsAlign fit;
    fit.Maps().InitPrms(img1, img2, &overlap, &box, CRefSelect::kRefineFine, CChannelImgs::kEdgeMode);
    fit.Maps().RefSelect().SetCCRangeXY(rangeX, rangeY);
    CreateImageWindow(2 * w, h, GetNameDebugWin2());
    fit.Maps().NccMake().ShowChannelImages(0, 0, 0);
    return fit.Run(pts, count);
}

void WMapAlign::FreePoint(POINT2* p) { delete[] p; }

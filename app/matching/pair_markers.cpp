#include "app/matching/pair_markers.h"

#include "app/matching/image_downscale.h"
#include "app/matching/lens_correction.h"
#include "app/matching/ransac_filter.h"
#include "imaging/image.h"
#include "projectgraph/curvekit/marker.h"
#include "projectgraph/framegrp/image_frame.h"
#include "projectgraph/framegrp/neighbor.h"

#include <algorithm>
#include <cstdio>
#include <memory>

PruneAutoMarkersFn g_pruneAutoMarkers = &PruneAutoMarkers;

namespace {

int Count(const Marker* m)
{
    return m ? m->GetNumbOfMarker() : 0;
}

}  // namespace

bool FilterPairAutoMarkers(ImageFrame* a, ImageFrame* b, uint8_t downscaleCode, const float* correction, int minCount,
                           float scaleA, float scaleB, bool loose)
{
    if (!a || !b) return false;
    Marker* rawA = nullptr;
    Marker* rawB = nullptr;
    if (!a->GetMarkerFa(b, &rawA, &rawB)) return false;
    if (loose) minCount *= 2;
    const int n = rawA->GetNumbOfMarker();
    if (n < minCount) return false;
    float threshold2 = 7.0f;
    float threshold1 = n <= 10 ? 6.0f : n <= 25 ? 5.0f : n <= 40 ? 4.0f : 3.0f;
    if (loose) {
        threshold1 *= 1.5f;
        threshold2 = 10.5f;
    }
    return g_pruneAutoMarkers(a, b, downscaleCode, correction, threshold1, threshold2, minCount, scaleA, scaleB);
}

bool PruneAutoMarkers(ImageFrame* a, ImageFrame* b, uint8_t downscaleCode, const float* correction, float threshold1,
                      float threshold2, int minCount, float scaleA, float scaleB)
{
    if (!a || !b || a->IsAtuoStitchOk(b)) return false;
    Marker* rawA = nullptr;
    Marker* rawB = nullptr;
    if (!a->GetMarkerFa(b, &rawA, &rawB)) return false;
    const int n = rawA->GetNumbOfMarker();
    if (n < minCount || rawB->GetNumbOfMarker() != n) return false;
    Marker* autoA = nullptr;
    Marker* autoB = nullptr;
    if (a->GetAutoMarker(b, &autoA, &autoB) && Count(autoA) >= minCount && Count(autoB) == Count(autoA))
        return false;  // already prepared
    Image* imageA = a->GetImage();
    Image* imageB = b->GetImage();
    if (!imageA || !imageB) {
        printf("ERROR PruneAutoMarkers: a frame of the pair has no image\n");
        return false;
    }

    const float s = GetDownscaleScale(downscaleCode);
    std::unique_ptr<Marker> setA(MakeFrameMarkers(rawA, a, s));
    std::unique_ptr<Marker> setB(MakeFrameMarkers(rawB, b, s));
    if (!setA || !setB) return false;
    if (correction) {
        std::unique_ptr<Marker> correctedA(
            CorrectMarkerDistortion(setA.get(), correction, imageA->GetWidth(), imageA->GetHeight(), scaleA));
        std::unique_ptr<Marker> correctedB(
            CorrectMarkerDistortion(setB.get(), correction, imageB->GetWidth(), imageB->GetHeight(), scaleB));
        if (!correctedA || !correctedB || Count(correctedA.get()) != Count(correctedB.get())) {
            printf("ERROR PruneAutoMarkers: the distortion correction of the markers failed\n");
            return false;
        }
        RemoveMarkersOutsideImages(correctedA.get(), correctedB.get(), imageA->GetWidth(), imageA->GetHeight(),
                                   imageB->GetWidth(), imageB->GetHeight());
        setA = std::move(correctedA);
        setB = std::move(correctedB);
    }
    if (threshold1 > 0.0f) {
        auto outA = std::make_unique<Marker>();
        auto outB = std::make_unique<Marker>();
        RansacFilter filter;
        if (!filter.Filter(setA.get(), setB.get(), outA.get(), outB.get(), threshold1 * s, threshold2 * s, minCount))
            return false;
        setA = std::move(outA);
        setB = std::move(outB);
    }
    a->SetAutoMarker(b, setA.release(), setB.release(), true);
    return true;
}

Marker* MakeFrameMarkers(Marker* raw, ImageFrame* frame, float s)
{
    if (!raw || !frame || !frame->GetImage()) {
        printf("ERROR MakeFrameMarkers: no marker set or no frame image\n");
        return nullptr;
    }
    auto out = std::make_unique<Marker>();
    const Image* image = frame->GetImage();
    ScaleRotateMarkers(raw, out.get(), s, frame->GetImageRotationAngle(), image->GetWidth(), image->GetHeight());
    return out.release();
}

void ScaleRotateMarkers(Marker* in, Marker* out, float s, int angle, int W, int H)
{
    if (!in || !out) return;
    const int n = in->GetNumbOfMarker();
    for (int i = 0; i < n; ++i) {
        // Read through the set each time: appending to `in` itself must
        // not leave a stale array behind.
        const float x = in->GetMarker()[i].x;
        const float y = in->GetMarker()[i].y;
        switch (angle) {
        case -90: out->AppendMarker(s * y, static_cast<float>(H - 1) - s * x); break;
        case 90: out->AppendMarker(static_cast<float>(W - 1) - s * y, s * x); break;
        case 180: out->AppendMarker(static_cast<float>(W - 1) - s * x, static_cast<float>(H - 1) - s * y); break;
        default: out->AppendMarker(s * x, s * y); break;
        }
    }
}

int RemoveMarkersOutsideImages(Marker* a, Marker* b, int wA, int hA, int wB, int hB)
{
    if (!a || !b) return 0;
    const int steps = std::min(a->GetNumbOfMarker(), b->GetNumbOfMarker());
    if (a->GetNumbOfMarker() != b->GetNumbOfMarker())
        printf("ERROR RemoveMarkersOutsideImages: the sets hold %d and %d points\n", a->GetNumbOfMarker(),
               b->GetNumbOfMarker());
    int removed = 0;
    int k = 0;
    for (int step = 0; step < steps; ++step) {
        const POINT2M& pa = a->GetMarker()[k];
        const POINT2M& pb = b->GetMarker()[k];
        const bool inside = pa.x >= 0.0f && pa.x <= static_cast<float>(wA - 1) && pa.y >= 0.0f &&
                            pa.y <= static_cast<float>(hA - 1) && pb.x >= 0.0f && pb.x <= static_cast<float>(wB - 1) &&
                            pb.y >= 0.0f && pb.y <= static_cast<float>(hB - 1);
        if (inside) {
            ++k;
        } else {
            a->DeleteMarker(k);
            b->DeleteMarker(k);
            ++removed;
        }
    }
    return removed;
}

bool CopyAutoMarkersToPair(ImageFrame* a, ImageFrame* b)
{
    if (!a || !b) return false;
    Neighbor* ab = a->FindNeighbor(b);
    Neighbor* ba = b->FindNeighbor(a);
    if (!ab || !ba) return false;
    // The user's markers on either link win over the automatic ones.
    if (Count(ab->GetMarkers(true)) > 0 || Count(ba->GetMarkers(true)) > 0) return false;
    Marker* autoA = nullptr;
    Marker* autoB = nullptr;
    if (!a->GetAutoMarker(b, &autoA, &autoB)) return false;
    auto copyA = std::make_unique<Marker>();
    auto copyB = std::make_unique<Marker>();
    copyA->Append(autoA->GetMarker(), autoA->GetNumbOfMarker());
    copyB->Append(autoB->GetMarker(), autoB->GetNumbOfMarker());
    ab->SetMarkers(copyA.release());
    ba->SetMarkers(copyB.release());
    return true;
}

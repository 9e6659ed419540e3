#include "platform/panocore/pair_measure.h"

#include "core/logger.h"
#include "imaging/image.h"
#include "platform/panocore/make_vantor.h"
#include "platform/xformkit/camera_model.h"

#include <cmath>

using namespace xformkit;

namespace {

constexpr int kGrid = 10;
constexpr int kBox = 20;

bool Usable(const Image* img, const TRANSFORM_RS* t)
{
    return img && img->GetData() && img->GetDataType() == IMG_UINT8 && img->IsInterleaved() &&
           (img->GetChannels() == 1 || img->GetChannels() == 3) && img->GetWidth() >= kBox &&
           img->GetHeight() >= kBox && t && t->rcpFocal > 0 && std::isfinite(t->rcpFocal) && std::isfinite(t->pan) &&
           std::isfinite(t->tilt) && std::isfinite(t->roll);
}

// Means of the box whose top-left sample is (x0, y0); false when a sample
// has a first value of 0 (no data).
bool BoxMeans(const Image* img, int x0, int y0, float means[3])
{
    const int c = img->GetChannels();
    double sum[3] = {0, 0, 0};
    for (int y = y0; y < y0 + kBox; ++y) {
        const uint8_t* p = img->GetData() + static_cast<size_t>(y) * img->GetRowByte() + static_cast<size_t>(x0) * c;
        for (int x = 0; x < kBox; ++x, p += c) {
            if (p[0] == 0) return false;
            for (int k = 0; k < 3; ++k) sum[k] += p[k < c ? k : 0];
        }
    }
    for (int k = 0; k < 3; ++k) means[k] = static_cast<float>(sum[k] / (kBox * kBox));
    return true;
}

// The box about (x, y) inside the image: its top-left corner.
bool BoxAt(const Image* img, double x, double y, int& x0, int& y0)
{
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    x0 = static_cast<int>(std::lround(x)) - kBox / 2;
    y0 = static_cast<int>(std::lround(y)) - kBox / 2;
    return x0 >= 0 && y0 >= 0 && x0 + kBox <= img->GetWidth() && y0 + kBox <= img->GetHeight();
}

}  // namespace

int MeasurePairIntensities(const Image* a, const TRANSFORM_RS* ta, const Image* b, const TRANSFORM_RS* tb,
                           std::vector<float>& entries)
{
    if (!Usable(a, ta) || !Usable(b, tb)) {
        Logger::log("ERROR MeasurePairIntensities: unusable image or placement", 1);
        return 0;
    }
    double cxa, cya, cxb, cyb;
    PlacementCentre(ta, a->GetWidth(), a->GetHeight(), cxa, cya);
    PlacementCentre(tb, b->GetWidth(), b->GetHeight(), cxb, cyb);
    const Mat3 aToB = Multiply(Transpose(PlacementMatrix(tb->pan, tb->tilt, tb->roll)),
                               PlacementMatrix(ta->pan, ta->tilt, ta->roll));
    int count = 0;
    for (int j = 0; j < kGrid; ++j) {
        for (int i = 0; i < kGrid; ++i) {
            const double xa = (i + 0.5) * a->GetWidth() / kGrid, ya = (j + 0.5) * a->GetHeight() / kGrid;
            const Vec3 cam = Apply(aToB, Vec3{(xa - cxa) * ta->rcpFocal, (ya - cya) * ta->rcpFocal, 1.0});
            if (!(cam.z > 1e-9)) continue;
            const double xb = cam.x / (cam.z * tb->rcpFocal) + cxb, yb = cam.y / (cam.z * tb->rcpFocal) + cyb;
            int ax, ay, bx, by;
            if (!BoxAt(a, xa, ya, ax, ay) || !BoxAt(b, xb, yb, bx, by)) continue;
            float ma[3], mb[3];
            if (!BoxMeans(a, ax, ay, ma) || !BoxMeans(b, bx, by, mb)) continue;
            entries.insert(entries.end(), {ma[0], ma[1], ma[2], mb[0], mb[1], mb[2]});
            ++count;
        }
    }
    return count;
}

#include "platform/mapproj/img_combo_rs.h"

#include "core/logger.h"
#include "platform/xformkit/camera_model.h"
#include "platform/xformkit/transform_rs.h"
#include "platform/xformkit/transform_wa.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

bool Usable(const Image* img)
{
    return img && img->GetData() && img->GetDataType() == IMG_UINT8 && img->IsInterleaved() &&
           (img->GetChannels() == 1 || img->GetChannels() == 3) && img->GetWidth() > 1 && img->GetHeight() > 1;
}

struct Footprint {
    double lonMin = INFINITY, lonMax = -INFINITY, latMin = INFINITY, latMax = -INFINITY;
};

// Longitude and latitude range of an image's outline on the sphere, the
// longitudes taken on the turn around `aroundLon`.
bool MeasureFootprint(const Image* img, const TRANSFORM_RS& t, double aroundLon, Footprint& fp)
{
    const int w = img->GetWidth(), h = img->GetHeight();
    const POINT2 panTilt{t.pan, t.tilt};
    constexpr int kSteps = 32;
    for (int side = 0; side < 4; ++side) {
        for (int k = 0; k < kSteps; ++k) {
            const double s = double(k) / kSteps;
            const double x = side == 0 ? s * w : side == 1 ? w : side == 2 ? (1 - s) * w : 0;
            const double y = side == 0 ? 0 : side == 1 ? s * h : side == 2 ? h : (1 - s) * h;
            const POINT2 q{static_cast<float>(x - 0.5 - w / 2), static_cast<float>(y - 0.5 - h / 2)};
            POINT2 sphere;
            if (!CTransformRS::TransformPtWA(1.0f, t.roll, t.rcpFocal, &panTilt, &q, &sphere)) return false;
            const double lon = aroundLon + std::remainder(double(sphere.x) - aroundLon, kTwoPi);
            fp.lonMin = std::min(fp.lonMin, lon);
            fp.lonMax = std::max(fp.lonMax, lon);
            fp.latMin = std::min(fp.latMin, double(sphere.y));
            fp.latMax = std::max(fp.latMax, double(sphere.y));
        }
    }
    return true;
}

// Bilinear sample of img at (x, y) (top-left pixel coordinates) into out;
// false outside the image.
bool Sample(const Image* img, double x, double y, unsigned char* out, int outChannels)
{
    const int w = img->GetWidth(), h = img->GetHeight(), c = img->GetChannels();
    if (!(x >= 0 && y >= 0 && x <= w - 1 && y <= h - 1)) return false;
    const int ix = std::min(static_cast<int>(x), w - 2), iy = std::min(static_cast<int>(y), h - 2);
    const double fx = x - ix, fy = y - iy;
    const unsigned char* p00 = img->GetData() + static_cast<size_t>(iy) * img->GetRowByte() + static_cast<size_t>(ix) * c;
    const unsigned char* p01 = p00 + img->GetRowByte();
    for (int k = 0; k < outChannels; ++k) {
        const int ck = std::min(k, c - 1);
        const double v = (1 - fx) * (1 - fy) * p00[ck] + fx * (1 - fy) * p00[c + ck] + (1 - fx) * fy * p01[ck] +
                         fx * fy * p01[c + ck];
        out[k] = static_cast<unsigned char>(std::min(255.0, v + 0.5));
    }
    if (out[0] == 0) out[0] = 1;  // 0 marks pixels without data
    return true;
}

Image* RenderOverlay(const Image* img, const TRANSFORM_RS& t, int x0, int y0, int width, int height, double step)
{
    auto* out = new Image(width, height, img->GetChannels());
    if (!out->GetData()) {
        Logger::log("ERROR CImgComboRS::Overlay2ImgRS_0: cannot allocate overlay %d*%d", 1, width, height);
        ReleaseImage(out);
        return nullptr;
    }
    std::memset(out->GetData(), 0, out->GetDataSize());
    if (!(t.rcpFocal > 0)) return out;
    // CTransformRS::TransformPtWA_inv per pixel, with its placement matrix and
    // the sines and cosines of each column's longitude and each row's
    // latitude computed once: the same arithmetic, so the same positions.
    const xformkit::Mat3 back = xformkit::Transpose(xformkit::PlacementMatrix(t.pan, t.tilt, t.roll));
    const double k = double(t.rcpFocal) * 1.0f;
    std::vector<double> sinLon(width), cosLon(width);
    for (int i = 0; i < width; ++i) {
        const double lon = static_cast<float>((x0 + i) * step);
        sinLon[i] = std::sin(lon);
        cosLon[i] = std::cos(lon);
    }
    const int c = img->GetChannels();
    for (int j = 0; j < height; ++j) {
        const double lat = static_cast<float>((y0 + j) * step);
        const double cosLat = std::cos(lat), sinLat = std::sin(lat);
        unsigned char* row = out->GetData() + static_cast<size_t>(j) * out->GetRowByte();
        for (int i = 0; i < width; ++i) {
            const xformkit::Vec3 cam = xformkit::Apply(back, xformkit::Vec3{cosLat * sinLon[i], sinLat, cosLat * cosLon[i]});
            if (!(cam.z > 1e-12)) continue;
            const double x = cam.x / (cam.z * k), y = cam.y / (cam.z * k);
            if (!std::isfinite(x) || !std::isfinite(y)) continue;
            const POINT2 q{static_cast<float>(x), static_cast<float>(y)};
            Sample(img, double(q.x) + img->GetWidth() / 2, double(q.y) + img->GetHeight() / 2, row + i * c, c);
        }
    }
    return out;
}

}  // namespace

int CImgComboRS::Overlay2ImgRS_0(Image* img1, Image* img2, const PAIR_WALIGN_PRMS* prms, float, float, int size,
                                 Image** overlay1, Image** overlay2, TRANSFORM_RS* t1, TRANSFORM_RS* t2,
                                 OverlayGrid* grid1, OverlayGrid* grid2)
{
    if (overlay1) *overlay1 = nullptr;
    if (overlay2) *overlay2 = nullptr;
    PAIR_WALIGN_RR_PRMS2 rr;
    if (!Usable(img1) || !Usable(img2) || !prms || !overlay1 || !overlay2 || !t1 || !t2 || !grid1 || !grid2 || size < 16 ||
        !CTransformWA::PairAlignPrmsStoRR2(prms, &rr)) {
        Logger::log("ERROR CImgComboRS::Overlay2ImgRS_0: invalid images, parameters or size %d", 1, size);
        return 0;
    }
    TRANSFORM_RS p1{}, p2{};
    p1.rcpFocal = rr.rcpF1;
    p1.scale = 1.0f;
    p1.flag = 1;
    for (int c = 0; c < 3; ++c) p1.colorFirst[c] = p1.gamma[c] = 1.0f;
    p2 = p1;
    if (!CTransformWA::PairPrmsGlobalImg1To_2(&rr, &p1, &p2)) return 0;

    Footprint fp1, fp2;
    if (!MeasureFootprint(img1, p1, 0.0, fp1) || !MeasureFootprint(img2, p2, p2.pan, fp2)) {
        Logger::log("ERROR CImgComboRS::Overlay2ImgRS_0: an image reaches behind its own view", 1);
        return 0;
    }
    // Image 2 on the turn nearest image 1.
    const double shift = std::round((fp2.lonMin + fp2.lonMax - fp1.lonMin - fp1.lonMax) / 2 / kTwoPi) * kTwoPi;
    fp2.lonMin -= shift;
    fp2.lonMax -= shift;

    // Samples around the circle: image 1's own resolution at its centre,
    // fewer when an overlay would exceed `size` on a side.
    const double span = std::max({fp1.lonMax - fp1.lonMin, fp1.latMax - fp1.latMin, fp2.lonMax - fp2.lonMin,
                                  fp2.latMax - fp2.latMin});
    const double samples = std::min(kTwoPi / rr.rcpF1, (size - 3) * kTwoPi / span);
    const int n = std::max(4, static_cast<int>(samples / 4) * 4);
    const double step = kTwoPi / n;

    Image* out[2] = {nullptr, nullptr};
    TRANSFORM_RS* placed[2] = {t1, t2};
    OverlayGrid* grids[2] = {grid1, grid2};
    const TRANSFORM_RS* pl[2] = {&p1, &p2};
    const Footprint* fps[2] = {&fp1, &fp2};
    Image* imgs[2] = {img1, img2};
    for (int k = 0; k < 2; ++k) {
        const int x0 = static_cast<int>(std::floor(fps[k]->lonMin / step));
        const int y0 = static_cast<int>(std::floor(fps[k]->latMin / step));
        const int x1 = static_cast<int>(std::ceil(fps[k]->lonMax / step));
        const int y1 = static_cast<int>(std::ceil(fps[k]->latMax / step));
        out[k] = RenderOverlay(imgs[k], *pl[k], x0, y0, x1 - x0 + 1, y1 - y0 + 1, step);
        if (!out[k]) {
            ReleaseImage(out[0]);
            return 0;
        }
        *placed[k] = *pl[k];
        *grids[k] = OverlayGrid{n, x0, y0};
    }
    *overlay1 = out[0];
    *overlay2 = out[1];
    return 1;
}

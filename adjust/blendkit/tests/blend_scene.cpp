#include "adjust/blendkit/tests/blend_scene.h"

#include "adjust/blendkit/pair_int_div.h"
#include "jpeg/jpegkit.h"
#include "platform/panocore/img_info.h"
#include "platform/xformkit/transform_rs.h"
#include "projectgraph/curvekit/pair_info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numbers>

namespace blend_test {

namespace {

constexpr double kPi = std::numbers::pi;

Image* LoadJpeg(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    QUORVANE_FileInfo info;
    info.file = file;
    auto* image = new Image();
    Image* result = nullptr;
    if (GetJpegHeader(image, &info) == 0) {
        image->ComputeRowBytes();
        void* pixels = std::calloc(image->GetDataSize(), 1);
        if (pixels) {
            image->SetData(pixels, true);
            if (ReadJpegData(image, &info) == 0) result = image;
        }
        JpegCleanup(&info);
    }
    std::fclose(file);
    if (!result) ReleaseImage(image);
    return result;
}

}  // namespace

TRANSFORM_RS Placement(double panDeg, double tiltDeg, double rollDeg, double focal)
{
    TRANSFORM_RS t{};
    t.rcpFocal = static_cast<float>(1.0 / focal);
    t.pan = static_cast<float>(panDeg * kPi / 180.0);
    t.tilt = static_cast<float>(tiltDeg * kPi / 180.0);
    t.roll = static_cast<float>(rollDeg * kPi / 180.0);
    t.scale = 1.0f;
    t.flag = 1;
    return t;  // no colour coefficients: the plain intensity difference
}

Image* RenderView(const Sphere& sphere, int w, int h, const TRANSFORM_RS& t, float gain)
{
    auto* img = new Image(w, h, 3);
    const POINT2 panTilt{t.pan, t.tilt};
    for (int y = 0; y < h; ++y) {
        uint8_t* row = img->GetData() + static_cast<size_t>(y) * img->GetRowByte();
        for (int x = 0; x < w; ++x) {
            const POINT2 p{static_cast<float>(x - w / 2), static_cast<float>(y - h / 2)};
            POINT2 s{};
            CTransformRS::TransformPtWA(1.0f, t.roll, t.rcpFocal, &panTilt, &p, &s);
            const std::array<float, 3> c = sphere(s.x, s.y);
            for (int k = 0; k < 3; ++k)
                row[3 * x + k] = static_cast<uint8_t>(std::clamp(std::lround(c[k] * gain), 1L, 255L));
        }
    }
    return img;
}

Sphere Texture()
{
    return [](double lon, double lat) {
        const double x = std::cos(lat) * std::cos(lon), y = std::cos(lat) * std::sin(lon), z = std::sin(lat);
        auto wave = [&](double a, double b, double c, double f) { return std::sin(f * (a * x + b * y + c * z)); };
        const double v = wave(1, 2, 3, 9) + 0.7 * wave(-2, 1, 1, 23) + 0.5 * wave(3, -1, 2, 51) + 0.3 * wave(1, 1, -3, 97);
        return std::array<float, 3>{static_cast<float>(128 + 40 * v), static_cast<float>(120 + 35 * v + 20 * wave(0, 1, 0, 7)),
                                    static_cast<float>(110 - 30 * v)};
    };
}

Sphere PanoramaSphere(const std::string& path)
{
    std::shared_ptr<Image> pano(LoadJpeg(path), [](Image* i) { ReleaseImage(i); });
    if (!pano || pano->GetChannels() != 3) return {};
    return [pano](double lon, double lat) {
        const int W = pano->GetWidth(), H = pano->GetHeight();
        double u = (lon / (2 * kPi) + 0.5) * W - 0.5, v = (lat / kPi + 0.5) * H - 0.5;
        u -= std::floor(u / W) * W;
        v = std::clamp(v, 0.0, H - 1.0);
        const int x0 = static_cast<int>(u), y0 = std::min(static_cast<int>(v), H - 2);
        const int x1 = (x0 + 1) % W;
        const double fx = u - x0, fy = v - y0;
        std::array<float, 3> out{};
        const uint8_t* r0 = pano->GetData() + static_cast<size_t>(y0) * pano->GetRowByte();
        const uint8_t* r1 = r0 + pano->GetRowByte();
        for (int k = 0; k < 3; ++k) {
            const double top = r0[3 * x0 + k] + fx * (r0[3 * x1 + k] - r0[3 * x0 + k]);
            const double bot = r1[3 * x0 + k] + fx * (r1[3 * x1 + k] - r1[3 * x0 + k]);
            out[k] = static_cast<float>(top + fy * (bot - top));
        }
        return out;
    };
}

bool SampleCentred(const Image* img, float px, float py, float out[3])
{
    const int W = img->GetWidth(), H = img->GetHeight();
    const float x = px + static_cast<float>(W / 2), y = py + static_cast<float>(H / 2);
    if (!(x >= -0.5f && x < W - 0.5f && y >= -0.5f && y < H - 0.5f)) return false;
    const float xs = std::clamp(x, 0.0f, W - 1.0f), ys = std::clamp(y, 0.0f, H - 1.0f);
    const int ix = std::min(static_cast<int>(xs), W - 2), iy = std::min(static_cast<int>(ys), H - 2);
    const float fx = xs - ix, fy = ys - iy;
    const uint8_t* p00 = img->GetData() + static_cast<size_t>(iy) * img->GetRowByte() + static_cast<size_t>(ix) * 3;
    const uint8_t* p10 = p00 + img->GetRowByte();
    for (int k = 0; k < 3; ++k) {
        const float top = p00[k] + fx * (p00[3 + k] - p00[k]);
        const float bot = p10[k] + fx * (p10[3 + k] - p10[k]);
        out[k] = top + fy * (bot - top);
    }
    return true;
}

bool MapPixelToFrame(int mapWidth, int column, int row, const TRANSFORM_RS& t, float* x, float* y)
{
    const double step = 2 * kPi / mapWidth;
    const POINT2 sphere{static_cast<float>((column - mapWidth / 2) * step), static_cast<float>((row - mapWidth / 4) * step)};
    const POINT2 panTilt{t.pan, t.tilt};
    POINT2 p;
    if (!CTransformRS::TransformPtWA_inv(1.0f, t.roll, t.rcpFocal, &panTilt, &sphere, &p)) return false;
    *x = p.x;
    *y = p.y;
    return true;
}

bool InsidePolygon(const gpc_polygon* poly, float x, float y)
{
    bool in = false;
    for (int k = 0; poly != nullptr && k < poly->count; ++k) {
        const gpc_vertex_list& c = poly->contours[k];
        for (int i = 0, j = c.count - 1; i < c.count; j = i++) {
            const POINT2& a = c.points[i];
            const POINT2& b = c.points[j];
            if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
        }
    }
    return in;
}

ImageFrame* Scene::Add(Image* img, const TRANSFORM_RS& t)
{
    auto* frame = new ImageFrame();
    frame->SetImage(img, false);
    ReleaseImage(img);
    // The frame's own colour table is dropped: t decides the intensity mode.
    TRANSFORM_RS* params = frame->GetImgInfo()->GetParams();
    FreeColorTable(params->colorTable);
    *params = t;
    group.AppendImageFrame(frame);
    return frame;
}

bool Scene::Link(ImageFrame* a, ImageFrame* b, bool prepare, INTEN_PAIRS* pairs)
{
    a->AddNeighbor(b);
    b->AddNeighbor(a);
    a->SetPairInfo(b, GetPairInfoInterface(), GetPairInfoInterface());
    if (!prepare) return true;
    CPairIntDiv div;
    INTEN_PAIRS own{nullptr, 0};
    CBlendPolygons* sides[2] = {nullptr, nullptr};
    const bool ok = div.MainPairIntDiv(a->GetImage(), b->GetImage(), a->GetImgInfo()->GetParams(),
                                       b->GetImgInfo()->GetParams(), pairs ? pairs : &own, sides);
    FreeIntenPairs(&own);
    if (!ok) return false;
    a->GetPairInfo(b)->SetBlendPolygons(sides[0], ReleaseBlendPolygons);
    b->GetPairInfo(a)->SetBlendPolygons(sides[1], ReleaseBlendPolygons);
    return true;
}

}  // namespace blend_test

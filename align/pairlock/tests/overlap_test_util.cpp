#include "align/pairlock/tests/overlap_test_util.h"

#include "jpeg/jpegkit.h"
#include "testkit/testkit.h"
#include "core/file_records.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace overlaptest {

namespace {

constexpr double kPi = std::numbers::pi;

uint8_t* PixelAt(const Image& image, int x, int y)
{
    return image.GetData() + size_t(y) * image.GetRowByte() + size_t(x) * image.GetChannels();
}

}  // namespace

Image* MakeCodedImage(int width, int height)
{
    auto* image = new Image(width, height, 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = PixelAt(*image, x, y);
            p[0] = static_cast<uint8_t>(1 + x % 250);
            p[1] = static_cast<uint8_t>(1 + y % 250);
            p[2] = static_cast<uint8_t>(1 + x / 250 + 8 * (y / 250));
        }
    }
    return image;
}

bool DecodePixel(const Image& image, int x, int y, int& px, int& py)
{
    const uint8_t* p = PixelAt(image, x, y);
    if (p[0] == 0 && p[1] == 0 && p[2] == 0) return false;
    const int hi = p[2] - 1;
    px = (p[0] - 1) + 250 * (hi % 8);
    py = (p[1] - 1) + 250 * (hi / 8);
    return true;
}

Image* MakeRampImage(int width, int height)
{
    auto* image = new Image(width, height, 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = PixelAt(*image, x, y);
            p[0] = static_cast<uint8_t>(1 + x);
            p[1] = static_cast<uint8_t>(1 + y);
            p[2] = 128;
        }
    }
    return image;
}

bool DecodeRamp(const Image& image, int x, int y, double& px, double& py)
{
    const uint8_t* p = PixelAt(image, x, y);
    if (p[0] == 0) return false;
    px = p[0] - 1.0;
    py = p[1] - 1.0;
    return true;
}

std::array<double, 9> Multiply(const std::array<double, 9>& a, const std::array<double, 9>& b)
{
    std::array<double, 9> m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) m[3 * r + c] += a[3 * r + k] * b[3 * k + c];
    return m;
}

std::array<double, 9> Transpose(const std::array<double, 9>& a)
{
    return {a[0], a[3], a[6], a[1], a[4], a[7], a[2], a[5], a[8]};
}

PAIR_WALIGN_RR_PRMS2 PairPrms(float rcp1, float rcp2, float a, float b, float c)
{
    PAIR_WALIGN_RR_PRMS2 p{};
    p.rcpF1 = rcp1;
    p.rcpF2 = rcp2;
    p.angA = a;
    p.angB = b;
    p.angC = c;
    return p;
}

std::array<double, 9> PairRotation(double a, double b, double c)
{
    auto az = [](double t) {
        return std::array<double, 9>{std::cos(t), std::sin(t), 0, -std::sin(t), std::cos(t), 0, 0, 0, 1};
    };
    const std::array<double, 9> ay{std::cos(b), 0, -std::sin(b), 0, 1, 0, std::sin(b), 0, std::cos(b)};
    return Multiply(az(c), Multiply(ay, az(a)));
}

std::array<double, 9> Yaw(double t)
{
    // World x right, z forward: turning right takes the forward ray towards +x.
    return {std::cos(t), 0, std::sin(t), 0, 1, 0, -std::sin(t), 0, std::cos(t)};
}

std::array<double, 9> Pitch(double t)
{
    // y down: tilting down takes the forward ray towards +y.
    return {1, 0, 0, 0, std::cos(t), std::sin(t), 0, -std::sin(t), std::cos(t)};
}

bool MapPair(const PAIR_WALIGN_RR_PRMS2& p, double x, double y, double& ox, double& oy)
{
    const std::array<double, 9> r = PairRotation(p.angA, p.angB, p.angC);
    const double v[3] = {x * p.rcpF1, y * p.rcpF1, 1.0};
    double w[3];
    for (int i = 0; i < 3; ++i) w[i] = r[3 * i] * v[0] + r[3 * i + 1] * v[1] + r[3 * i + 2] * v[2];
    if (!(w[2] > 1e-9)) return false;
    ox = w[0] / (w[2] * p.rcpF2);
    oy = w[1] / (w[2] * p.rcpF2);
    return true;
}

bool MapPairPixels(const PAIR_WALIGN_RR_PRMS2& p, int W1, int H1, int W2, int H2, POINT2 in, POINT2& out)
{
    double ox, oy;
    if (!MapPair(p, in.x - W1 / 2, in.y - H1 / 2, ox, oy)) return false;
    out = {static_cast<float>(ox + W2 / 2), static_cast<float>(oy + H2 / 2)};
    return true;
}

Image* RenderView(const Image& pano, int width, int height, double rcp, const std::array<double, 9>& place)
{
    const int PW = pano.GetWidth(), PH = pano.GetHeight(), ch = pano.GetChannels();
    auto* view = new Image(width, height, 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double c[3] = {(x - width / 2) * rcp, (y - height / 2) * rcp, 1.0};
            double w[3];
            for (int i = 0; i < 3; ++i) w[i] = place[3 * i] * c[0] + place[3 * i + 1] * c[1] + place[3 * i + 2] * c[2];
            const double lon = std::atan2(w[0], w[2]), lat = std::atan2(w[1], std::hypot(w[0], w[2]));
            const double col = (lon + kPi) / (2 * kPi) * PW - 0.5, row = (lat + kPi / 2) / kPi * PH - 0.5;
            const int c0 = static_cast<int>(std::floor(col)), r0 = static_cast<int>(std::floor(row));
            const double fx = col - c0, fy = row - r0;
            auto sample = [&](int cc, int rr, int k) {
                cc = ((cc % PW) + PW) % PW;
                rr = std::clamp(rr, 0, PH - 1);
                return double(pano.GetData()[size_t(rr) * pano.GetRowByte() + size_t(cc) * ch + std::min(k, ch - 1)]);
            };
            uint8_t* out = PixelAt(*view, x, y);
            for (int k = 0; k < 3; ++k) {
                const double v = (1 - fx) * (1 - fy) * sample(c0, r0, k) + fx * (1 - fy) * sample(c0 + 1, r0, k) +
                                 (1 - fx) * fy * sample(c0, r0 + 1, k) + fx * fy * sample(c0 + 1, r0 + 1, k);
                out[k] = static_cast<uint8_t>(std::clamp(v + 0.5, 1.0, 255.0));
            }
        }
    }
    return view;
}

Image* LoadJpeg(const std::string& relativePath, std::string* why)
{
    const std::string path = testkit::TestData(relativePath).string();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        if (why) *why = "cannot open " + path;
        return nullptr;
    }
    QUORVANE_FileInfo info;
    info.file = file;
    auto* image = new Image();
    if (GetJpegHeader(image, &info) != 0) {
        std::fclose(file);
        ReleaseImage(image);
        if (why) *why = "GetJpegHeader refused " + path;
        return nullptr;
    }
    image->ComputeRowBytes();
    void* pixels = std::calloc(image->GetDataSize(), 1);
    if (!pixels) {
        JpegCleanup(&info);
        std::fclose(file);
        ReleaseImage(image);
        if (why) *why = "no memory for " + path;
        return nullptr;
    }
    image->SetData(pixels, true);
    const int data = ReadJpegData(image, &info);
    JpegCleanup(&info);
    std::fclose(file);
    if (data != 0) {
        ReleaseImage(image);
        if (why) *why = "ReadJpegData refused " + path;
        return nullptr;
    }
    return image;
}

bool InsideFirstContour(const gpc_polygon& poly, double x, double y)
{
    if (poly.count < 1) return false;
    const gpc_vertex_list& c = poly.contours[0];
    bool inside = false;
    for (int i = 0, j = c.count - 1; i < c.count; j = i++) {
        const POINT2 &a = c.points[i], &b = c.points[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
    }
    return inside;
}

double DistanceToFirstContour(const gpc_polygon& poly, double x, double y)
{
    double best = INFINITY;
    if (poly.count < 1) return best;
    const gpc_vertex_list& c = poly.contours[0];
    for (int i = 0, j = c.count - 1; i < c.count; j = i++) {
        const double ax = c.points[j].x, ay = c.points[j].y, bx = c.points[i].x, by = c.points[i].y;
        const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
        const double t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(x - (ax + t * dx), y - (ay + t * dy)));
    }
    return best;
}

}  // namespace overlaptest

#include "align/warpfit/tests/pair_render.h"

#include "jpeg/jpegkit.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

namespace warptest {

Image* LoadJpeg(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    QUORVANE_FileInfo info;
    info.file = file;
    auto* image = new Image();  // one reference, the caller's on success
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

M3 PlaceView(double pan, double tilt)
{
    const double cp = std::cos(pan), sp = std::sin(pan), ct = std::cos(tilt), st = std::sin(tilt);
    const M3 panM{cp, 0, sp, 0, 1, 0, -sp, 0, cp};
    const M3 tiltM{1, 0, 0, 0, ct, st, 0, -st, ct};
    return Mul(panM, tiltM);
}

M3 SecondPlacement(const M3& place1, double a, double b, double c)
{
    const M3 r = PairRotationRef(a, b, c);
    const M3 rt{r[0], r[3], r[6], r[1], r[4], r[7], r[2], r[5], r[8]};
    return Mul(place1, rt);
}

Image* RenderView(const Image& equirect, int w, int h, double rcpF, const M3& place)
{
    const int ew = equirect.GetWidth(), eh = equirect.GetHeight(), c = equirect.GetChannels();
    auto* out = new Image(w, h, c);
    constexpr double pi = std::numbers::pi;
    for (int j = 0; j < h; ++j) {
        unsigned char* row = out->GetData() + static_cast<size_t>(j) * out->GetRowByte();
        for (int i = 0; i < w; ++i) {
            const double cx = rcpF * (i - w / 2.0), cy = rcpF * (j - h / 2.0);
            const double x = place[0] * cx + place[1] * cy + place[2];
            const double y = place[3] * cx + place[4] * cy + place[5];
            const double z = place[6] * cx + place[7] * cy + place[8];
            const double lon = std::atan2(x, z), lat = std::atan2(y, std::hypot(x, z));
            // Sample centres of the panorama at (k + 0.5) / width of the turn.
            double u = (lon / (2 * pi) + 0.5) * ew - 0.5, v = (lat / pi + 0.5) * eh - 0.5;
            v = std::fmin(std::fmax(v, 0.0), eh - 1.001);
            const int iu = static_cast<int>(std::floor(u)), iv = static_cast<int>(std::floor(v));
            const double fu = u - iu, fv = v - iv;
            const int u0 = (iu % ew + ew) % ew, u1 = (u0 + 1) % ew;
            const unsigned char* r0 = equirect.GetData() + static_cast<size_t>(iv) * equirect.GetRowByte();
            const unsigned char* r1 = r0 + equirect.GetRowByte();
            for (int k = 0; k < c; ++k) {
                const double s = (1 - fu) * (1 - fv) * r0[u0 * c + k] + fu * (1 - fv) * r0[u1 * c + k] +
                                 (1 - fu) * fv * r1[u0 * c + k] + fu * fv * r1[u1 * c + k];
                const int q = static_cast<int>(s + 0.5);
                row[i * c + k] = static_cast<unsigned char>(q < 1 && k == 0 ? 1 : q);  // 0 means no data
            }
        }
    }
    return out;
}

}  // namespace warptest

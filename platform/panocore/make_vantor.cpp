#include "platform/panocore/make_vantor.h"

#include "platform/sceneio/kestova_file.h"
#include "core/logger.h"
#include "platform/xformkit/camera_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace xformkit;

namespace {

constexpr double kPi = std::numbers::pi;

bool Usable(const Image* img)
{
    return img && img->GetData() && img->GetDataType() == IMG_UINT8 && img->IsInterleaved() &&
           (img->GetChannels() == 1 || img->GetChannels() == 3) && img->GetWidth() > 1 && img->GetHeight() > 1;
}

class MakeVantor final : public IMakeVantor {
public:
    void ClearDistortion() override { m_distorted = false; }

    void SetDistortion(const DistortionRecord* record, int width, int height, float, int) override
    {
        if (!record || width <= 0 || height <= 0) {
            m_distorted = false;
            return;
        }
        const float* v = reinterpret_cast<const float*>(record);
        m_a = v[0], m_b = v[1], m_c = v[2], m_d = v[3];
        m_distorted = true;
    }

    bool MakeScene(Image* img, KestovaFile* file, const TRANSFORM_RS* rs, int, bool, int) override;

private:
    // Image position (top-left pixel coordinates) of a camera ray; false
    // when the ray points away from the image plane.
    bool RayToImage(const Vec3& cam, int width, int height, double rcp, double& x, double& y) const
    {
        if (!(cam.z > 1e-9)) return false;
        double px = cam.x / (cam.z * rcp), py = cam.y / (cam.z * rcp);
        if (m_distorted) {
            const double rho = std::min(width, height) / 2.0;
            const double r = std::hypot(px, py) / rho;
            const double k = m_d + r * (m_c + r * (m_b + r * m_a));
            px *= k;
            py *= k;
        }
        x = px + width / 2;
        y = py + height / 2;
        return std::isfinite(x) && std::isfinite(y);
    }

    bool m_distorted = false;
    double m_a = 0, m_b = 0, m_c = 0, m_d = 1;
};

// Bilinear sample into out (outChannels samples); a first sample of 0 is
// stored as 1, since 0 marks samples without data.
void Sample(const Image* img, double x, double y, uint8_t* out, int outChannels)
{
    const int w = img->GetWidth(), h = img->GetHeight(), c = img->GetChannels();
    const int ix = std::min(static_cast<int>(x), w - 2), iy = std::min(static_cast<int>(y), h - 2);
    const double fx = x - ix, fy = y - iy;
    const uint8_t* p00 = img->GetData() + static_cast<size_t>(iy) * img->GetRowByte() + static_cast<size_t>(ix) * c;
    const uint8_t* p01 = p00 + img->GetRowByte();
    for (int k = 0; k < outChannels; ++k) {
        const int ck = std::min(k, c - 1);
        const double v = (1 - fx) * (1 - fy) * p00[ck] + fx * (1 - fy) * p00[c + ck] + (1 - fx) * fy * p01[ck] +
                         fx * fy * p01[c + ck];
        out[k] = static_cast<uint8_t>(std::min(255.0, v + 0.5));
    }
    if (out[0] == 0) out[0] = 1;
}

bool MakeVantor::MakeScene(Image* img, KestovaFile* file, const TRANSFORM_RS* rs, int, bool, int)
{
    if (!Usable(img) || !file || !rs || !(rs->rcpFocal > 0) || !std::isfinite(rs->rcpFocal) ||
        !std::isfinite(rs->pan) || !std::isfinite(rs->tilt) || !std::isfinite(rs->roll)) {
        Logger::log("ERROR IMakeVantor::MakeScene: invalid image or placement", 1);
        return false;
    }
    const int n = file->GetEquatorSampleNum();
    const int channels = file->GetNumChannel();
    if (n < 4 || n % 4 != 0 || (channels != 1 && channels != 3)) {
        Logger::log("ERROR IMakeVantor::MakeScene: scene of %d samples and %d channels", 1, n, channels);
        return false;
    }
    const int width = img->GetWidth(), height = img->GetHeight();
    const double rcp = rs->rcpFocal;
    const Mat3 place = PlacementMatrix(rs->pan, rs->tilt, rs->roll);
    const Mat3 toCamera = Transpose(place);
    const double step = 2 * kPi / n;

    // The rows and columns the image can reach: its outline's latitudes and
    // longitudes (around its pan), widened to the pole when it sees one.
    double latMin = INFINITY, latMax = -INFINITY, lonMin = INFINITY, lonMax = -INFINITY;
    constexpr int kSteps = 64;
    for (int side = 0; side < 4; ++side) {
        for (int k = 0; k < kSteps; ++k) {
            const double s = double(k) / kSteps;
            const double x = side == 0 ? s * width : side == 1 ? width : side == 2 ? (1 - s) * width : 0;
            const double y = side == 0 ? 0 : side == 1 ? s * height : side == 2 ? height : (1 - s) * height;
            const Vec3 ray = Apply(place, Vec3{rcp * (x - 0.5 - width / 2), rcp * (y - 0.5 - height / 2), 1.0});
            double lon, lat;
            RayToSphere(ray, lon, lat);
            lon = rs->pan + std::remainder(lon - rs->pan, 2 * kPi);
            latMin = std::min(latMin, lat), latMax = std::max(latMax, lat);
            lonMin = std::min(lonMin, lon), lonMax = std::max(lonMax, lon);
        }
    }
    double px, py;
    if (RayToImage(Apply(toCamera, Vec3{0, -1, 0}), width, height, rcp, px, py) && px >= 0 && py >= 0 &&
        px <= width - 1 && py <= height - 1) {
        latMin = -kPi / 2, lonMin = rs->pan - kPi, lonMax = rs->pan + kPi;
    }
    if (RayToImage(Apply(toCamera, Vec3{0, 1, 0}), width, height, rcp, px, py) && px >= 0 && py >= 0 &&
        px <= width - 1 && py <= height - 1) {
        latMax = kPi / 2, lonMin = rs->pan - kPi, lonMax = rs->pan + kPi;
    }
    // A margin of two samples: the outline's latitude extremes may fall
    // between the outline points.
    const int rowFirst = std::max(-n / 4, static_cast<int>(std::floor(latMin / step)) - 2);
    const int rowLast = std::min(n / 4, static_cast<int>(std::ceil(latMax / step)) + 2);
    int colFirst = static_cast<int>(std::floor(lonMin / step)) - 2;
    int colLast = static_cast<int>(std::ceil(lonMax / step)) + 2;
    if (colLast - colFirst + 1 > n) {
        colFirst = static_cast<int>(std::floor(rs->pan / step)) - n / 2;
        colLast = colFirst + n - 1;
    }

    std::vector<uint8_t> sample(channels);
    int bands = 0;
    for (int row = rowFirst; row <= rowLast; ++row) {
        const double lat = row * step;
        CBand* band = nullptr;
        int runStart = 0;
        bool inRun = false;
        std::vector<uint8_t> run;
        auto flush = [&](int last) {
            if (!inRun) return;
            if (!band) band = file->AddBand(row, n);
            CSector* sector = band ? band->AddSector(runStart, last, channels) : nullptr;
            if (sector) std::copy(run.begin(), run.end(), sector->GetDataPtr());
            inRun = false;
            run.clear();
        };
        for (int col = colFirst; col <= colLast; ++col) {
            double x, y;
            const bool inside = RayToImage(Apply(toCamera, SphereToRay(col * step, lat)), width, height, rcp, x, y) &&
                                x >= 0 && y >= 0 && x <= width - 1 && y <= height - 1;
            if (!inside) {
                flush(col - 1);
                continue;
            }
            Sample(img, x, y, sample.data(), channels);
            if (!inRun) {
                inRun = true;
                runStart = col;
            }
            run.insert(run.end(), sample.begin(), sample.end());
        }
        flush(colLast);
        bands += band != nullptr;
    }
    if (bands == 0) {
        Logger::log("ERROR IMakeVantor::MakeScene: the image covers no sample of a %d-sample scene", 1, n);
        return false;
    }
    return true;
}

}  // namespace

IMakeVantor* GetMakeVantorInterface()
{
    return new MakeVantor();
}

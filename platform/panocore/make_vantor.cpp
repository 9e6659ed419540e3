#include "platform/panocore/make_vantor.h"
#include "core/parallel_for.h"

#include "platform/sceneio/kestova_file.h"
#include "core/logger.h"
#include "platform/xformkit/camera_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

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
    // Image position (top-left pixel coordinates) of a camera ray for the
    // optical centre (cx, cy); false when the ray points away from the image
    // plane.
    bool RayToImage(const Vec3& cam, int width, int height, double rcp, double cx, double cy, double& x,
                    double& y) const
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
        x = px + cx;
        y = py + cy;
        return std::isfinite(x) && std::isfinite(y);
    }

    bool m_distorted = false;
    double m_a = 0, m_b = 0, m_c = 0, m_d = 1;
};

// Bilinear sample into out (outChannels samples), through the placement's
// colour table when it has one (the exposure balance's correction: entry
// 3 v + c for value v of channel c); a first sample of 0 is stored as 1,
// since 0 marks samples without data.
void Sample(const Image* img, double x, double y, uint8_t* out, int outChannels, const unsigned char* table)
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
        if (table) out[k] = table[3 * out[k] + std::min(k, 2)];
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
    double cx, cy;
    PlacementCentre(rs, width, height, cx, cy);
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
            const Vec3 ray = Apply(place, Vec3{rcp * (x - 0.5 - cx), rcp * (y - 0.5 - cy), 1.0});
            double lon, lat;
            RayToSphere(ray, lon, lat);
            lon = rs->pan + std::remainder(lon - rs->pan, 2 * kPi);
            latMin = std::min(latMin, lat), latMax = std::max(latMax, lat);
            lonMin = std::min(lonMin, lon), lonMax = std::max(lonMax, lon);
        }
    }
    double px, py;
    if (RayToImage(Apply(toCamera, Vec3{0, -1, 0}), width, height, rcp, cx, cy, px, py) && px >= 0 && py >= 0 &&
        px <= width - 1 && py <= height - 1) {
        latMin = -kPi / 2, lonMin = rs->pan - kPi, lonMax = rs->pan + kPi;
    }
    if (RayToImage(Apply(toCamera, Vec3{0, 1, 0}), width, height, rcp, cx, cy, px, py) && px >= 0 && py >= 0 &&
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
    if (rowLast < rowFirst || colLast < colFirst) {
        Logger::log("ERROR IMakeVantor::MakeScene: the image covers no sample of a %d-sample scene", 1, n);
        return false;
    }

    // The sphere ray of column c on the row at latitude t is
    // cos t (sin l, 0, cos l) + sin t (0, 1, 0) with l = c step: in the
    // camera frame cos t sin l M0 + cos t cos l M2 + sin t M1 (Mk the
    // columns of toCamera). The sines and cosines of the columns are shared
    // by every row; each row turns its three column vectors once.
    const int columns = colLast - colFirst + 1;
    std::vector<double> sinLon(columns), cosLon(columns);
    for (int k = 0; k < columns; ++k) {
        sinLon[k] = std::sin((colFirst + k) * step);
        cosLon[k] = std::cos((colFirst + k) * step);
    }
    const Vec3 m0{toCamera(0, 0), toCamera(1, 0), toCamera(2, 0)};
    const Vec3 m1{toCamera(0, 1), toCamera(1, 1), toCamera(2, 1)};
    const Vec3 m2{toCamera(0, 2), toCamera(1, 2), toCamera(2, 2)};

    // One row's runs of samples inside the image: (first, last) columns and
    // their samples, rows independent of each other.
    struct Row {
        std::vector<std::pair<int, int>> runs;
        std::vector<uint8_t> samples;
    };
    const int rows = rowLast - rowFirst + 1;
    std::vector<Row> out(static_cast<size_t>(rows));
    auto computeRow = [&](int index) {
        const double lat = (rowFirst + index) * step;
        const double ct = std::cos(lat), st = std::sin(lat);
        const Vec3 a{ct * m0.x, ct * m0.y, ct * m0.z}, b{ct * m2.x, ct * m2.y, ct * m2.z}, c{st * m1.x, st * m1.y, st * m1.z};
        Row& row = out[static_cast<size_t>(index)];
        std::vector<uint8_t> sample(channels);
        int runStart = 0;
        bool inRun = false;
        for (int k = 0; k < columns; ++k) {
            const Vec3 cam{sinLon[k] * a.x + cosLon[k] * b.x + c.x, sinLon[k] * a.y + cosLon[k] * b.y + c.y,
                           sinLon[k] * a.z + cosLon[k] * b.z + c.z};
            double x, y;
            const bool inside = RayToImage(cam, width, height, rcp, cx, cy, x, y) && x >= 0 && y >= 0 &&
                                x <= width - 1 && y <= height - 1;
            if (!inside) {
                if (inRun) row.runs.push_back({runStart, colFirst + k - 1});
                inRun = false;
                continue;
            }
            Sample(img, x, y, sample.data(), channels, rs->colorTable);
            if (!inRun) {
                inRun = true;
                runStart = colFirst + k;
            }
            row.samples.insert(row.samples.end(), sample.begin(), sample.end());
        }
        if (inRun) row.runs.push_back({runStart, colLast});
    };
    parallel::ForEach(rows, parallel::HardwareThreads(std::min(8, rows / 8)), computeRow);

    int bands = 0;
    for (int r = 0; r < rows; ++r) {
        const Row& row = out[static_cast<size_t>(r)];
        if (row.runs.empty()) continue;
        CBand* band = file->AddBand(rowFirst + r, n);
        if (!band) continue;
        const uint8_t* src = row.samples.data();
        for (auto [first, last] : row.runs) {
            CSector* sector = band->AddSector(first, last, channels);
            const size_t bytes = static_cast<size_t>(last - first + 1) * channels;
            if (sector) std::copy(src, src + bytes, sector->GetDataPtr());
            src += bytes;
        }
        ++bands;
    }
    if (bands == 0) {
        Logger::log("ERROR IMakeVantor::MakeScene: the image covers no sample of a %d-sample scene", 1, n);
        return false;
    }
    return true;
}

}  // namespace

void PlacementCentre(const TRANSFORM_RS* t, int w, int h, double& cx, double& cy)
{
    cx = w / 2;
    cy = h / 2;
    if (t && std::isfinite(t->centreX) && std::isfinite(t->centreY) && t->centreX > 0 && t->centreY > 0 &&
        t->centreX < w && t->centreY < h) {
        cx = t->centreX;
        cy = t->centreY;
    }
}

IMakeVantor* GetMakeVantorInterface()
{
    return new MakeVantor();
}

// Turning a world map: the identity, a quarter pan of a real panorama against
// ImageMagick's roll, and a general turn against a brute-force nearest-sample
// reference in double precision.
#include "app/matching/utilities.h"
#include "app/matching/tests/magick_helpers.h"
#include "worldmap/world_map_base.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// A full equirectangular map (every row W samples, W/2 + 1 rows).
std::unique_ptr<WorldMapBase> FullMap(int width, int channels)
{
    auto map = std::make_unique<WorldMapBase>();
    EXPECT_TRUE(map->Init(width, nullptr, 0, channels));
    return map;
}

uint8_t* Row(const WorldMapBase& map, int r)
{
    return map.GetScanLine(r)->m_line;
}

void FillFromImage(WorldMapBase& map, const Image& image)
{
    const size_t bytes = static_cast<size_t>(map.GetWidth()) * map.GetChannels();
    for (int r = 0; r < map.GetHeight(); ++r)
        std::memcpy(Row(map, r), image.GetData() + static_cast<size_t>(std::min(r, image.GetHeight() - 1)) * image.GetRowByte(), bytes);
}

void RotationAboutVertical(double angle, float m[9])
{
    const float c = static_cast<float>(std::cos(angle)), s = static_cast<float>(std::sin(angle));
    const float r[9] = {c, -s, 0, s, c, 0, 0, 0, 1};
    std::memcpy(m, r, sizeof r);
}

TEST(RotateWorldMap, IdentityCopiesTheStoredSamples)
{
    auto image = RefPtr<Image>::adopt(testkit::MakePatternImage(256, 129, 3));
    auto source = FullMap(256, 3);
    auto target = FullMap(256, 3);
    FillFromImage(*source, *image);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Utilities::RotateWorldMap(source.get(), target.get(), identity);
    size_t differing = 0;
    for (int r = 0; r < 129; ++r)
        for (int i = 0; i < 256 * 3; ++i) differing += Row(*source, r)[i] != Row(*target, r)[i];
    EXPECT_EQ(differing, 0u);
    EXPECT_EQ(target->m_yStart, 0);
    EXPECT_EQ(target->m_yEnd, 129);
    EXPECT_EQ(target->m_xStart, 0);
    EXPECT_EQ(target->m_xEnd, 256);
}

TEST(RotateWorldMap, AQuarterPanOfARealPanoramaIsImageMagicksRoll)
{
    testkit::TempDir dir;
    auto pano = RefPtr<Image>::adopt(matching_test::LoadPhoto(dir, "pannellum/examplepano.jpg", "-resize 512x257!"));
    ASSERT_TRUE(pano);
    ASSERT_TRUE(matching_test::Magick(dir.file("photo.ppm") + " -roll +128+0 " + dir.file("rolled.ppm")));
    auto rolled = RefPtr<Image>::adopt(testkit::ReadPnm(dir.file("rolled.ppm")));
    ASSERT_TRUE(rolled);
    auto source = FullMap(512, 3);
    auto target = FullMap(512, 3);
    FillFromImage(*source, *pano);
    float m[9];
    RotationAboutVertical(6.283185 / 4.0, m);
    Utilities::RotateWorldMap(source.get(), target.get(), m);
    size_t differing = 0, compared = 0;
    // The poles have no longitude to turn. The target's seam column (x = 0,
    // longitude -180 degrees) lies outside the bounds: they are truncated
    // toward zero from just inside it.
    for (int r = 1; r < 256; ++r)
        for (int x = 0; x < 512; ++x) {
            if (x == 0) continue;
            ++compared;
            differing += std::memcmp(Row(*target, r) + x * 3, rolled->GetData() + static_cast<size_t>(r) * rolled->GetRowByte() + x * 3, 3) != 0;
        }
    EXPECT_EQ(differing, 0u) << differing << " of " << compared;
}

// The reference: every target pixel of the data area from the nearest
// source sample, worked in double.
TEST(RotateWorldMap, AGeneralTurnMatchesABruteForceReference)
{
    const int W = 360, rows = W / 2 + 1;
    auto image = RefPtr<Image>::adopt(testkit::MakePatternImage(W, rows, 1, 0, 5));
    auto source = FullMap(W, 1);
    auto target = FullMap(W, 1);
    FillFromImage(*source, *image);
    // Sixty degrees about a tilted axis.
    const double axis[3] = {0.3, 0.5, std::sqrt(1.0 - 0.34)}, a = 1.05;
    const double c = std::cos(a), s = std::sin(a), t = 1 - c;
    double md[9] = {t * axis[0] * axis[0] + c,           t * axis[0] * axis[1] - s * axis[2], t * axis[0] * axis[2] + s * axis[1],
                    t * axis[0] * axis[1] + s * axis[2], t * axis[1] * axis[1] + c,           t * axis[1] * axis[2] - s * axis[0],
                    t * axis[0] * axis[2] - s * axis[1], t * axis[1] * axis[2] + s * axis[0], t * axis[2] * axis[2] + c};
    float m[9];
    for (int i = 0; i < 9; ++i) m[i] = static_cast<float>(md[i]);
    Utilities::RotateWorldMap(source.get(), target.get(), m);
    ASSERT_LT(target->m_yStart, target->m_yEnd);

    const double step = 2 * M_PI / W;
    size_t differing = 0, compared = 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < W; ++x) {
            const bool inX = target->m_xStart <= target->m_xEnd ? x >= target->m_xStart && x < target->m_xEnd
                                                                 : x >= target->m_xStart || x < target->m_xEnd;
            const bool inside = inX && y >= target->m_yStart && y < target->m_yEnd;
            const int got = Row(*target, y)[x];
            if (!inside) {
                ASSERT_EQ(got, 0) << "outside the data area: " << x << ", " << y;
                continue;
            }
            const double lon = (x - W / 2) * step, lat = (y - rows / 2) * step;
            const double p[3] = {std::cos(lon) * std::cos(lat), -std::sin(lon) * std::cos(lat), -std::sin(lat)};
            double q[3];
            for (int r = 0; r < 3; ++r) q[r] = md[3 * r] * p[0] + md[3 * r + 1] * p[1] + md[3 * r + 2] * p[2];
            const double slon = std::atan2(-q[1], q[0]), slat = -std::asin(std::clamp(q[2], -1.0, 1.0));
            const int sx = std::clamp(static_cast<int>(slon / step) + W / 2, 0, W - 1);
            const int sy = std::clamp(static_cast<int>(slat / step) + rows / 2, 0, rows - 1);
            ++compared;
            differing += got != Row(*source, sy)[sx];
        }
    EXPECT_GT(compared, static_cast<size_t>(W * rows / 4));
    // Float and double may fall either side of a pixel edge.
    EXPECT_LE(differing, compared / 100) << differing << " of " << compared;
}

TEST(RotateWorldMap, MapsWithoutStoredSamplesChangeNothing)
{
    auto source = FullMap(64, 1);
    auto empty = std::make_unique<WorldMapBase>();
    auto target = FullMap(64, 1);
    std::memset(Row(*target, 5), 9, 64);
    target->UpdateScanLineArea(5);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Utilities::RotateWorldMap(empty.get(), target.get(), identity);
    EXPECT_EQ(Row(*target, 5)[10], 9);
    EXPECT_EQ(target->m_yEnd, 6);
    Utilities::RotateWorldMap(source.get(), empty.get(), identity);
    EXPECT_EQ(empty->GetData(), nullptr);
}

void RotationMatrix(const double axisIn[3], double angle, float m[9])
{
    const double n = std::sqrt(axisIn[0] * axisIn[0] + axisIn[1] * axisIn[1] + axisIn[2] * axisIn[2]);
    const double a[3] = {axisIn[0] / n, axisIn[1] / n, axisIn[2] / n};
    const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    const double md[9] = {t * a[0] * a[0] + c,        t * a[0] * a[1] - s * a[2], t * a[0] * a[2] + s * a[1],
                          t * a[0] * a[1] + s * a[2], t * a[1] * a[1] + c,        t * a[1] * a[2] - s * a[0],
                          t * a[0] * a[2] - s * a[1], t * a[1] * a[2] + s * a[0], t * a[2] * a[2] + c};
    for (int i = 0; i < 9; ++i) m[i] = static_cast<float>(md[i]);
}

struct TurnCase {
    const char* name;
    double axis[3];
    double angle;
    // The largest share of samples that may be a neighbour of the nearest
    // one; a source pole in the middle of the target bends the mapping most.
    double neighbourShare = 0.005;
};

const TurnCase kTurns[] = {
    {"identity", {0, 0, 1}, 0.0},
    {"pan by 7 degrees", {0, 0, 1}, 0.122},
    {"one leveling key step of tilt", {0, 1, 0}, 0.0058177},
    {"a drag step", {0.01, -0.02, 0.0}, 0.0223607},
    {"sixty degrees about a tilted axis", {0.3, 0.5, 0.8124}, 1.05},
    {"a pole onto the equator", {0, 1, 0}, 1.5707963, 0.01},
    {"upside down", {1, 0, 0}, 3.14159},
};

// The nearest-sample lookup worked in double for one target pixel: where
// its direction lands in the source, in source pixels from the centre (v
// along the row, w down), and the stored sample the truncation picks there.
struct ExactSample {
    double v = 0, w = 0;
    int column = 0, row = 0;
};

// Truncation toward zero, a value within 1e-3 of a whole pixel taken as it.
int TruncSnapped(double v)
{
    const double nearest = std::round(v);
    if (std::fabs(v - nearest) < 1.0e-3) return static_cast<int>(nearest);
    return static_cast<int>(v);
}

ExactSample NearestSample(const WorldMapBase& source, int firstRow, int lastRow, int targetWidth, int targetHeight, int x, int y,
                          const float m[9])
{
    const double twoPi = 6.283185f;
    const double dt = static_cast<float>(twoPi / targetWidth);
    const int sourceWidth = source.GetScanLine(firstRow)->m_samples;
    const double ps = static_cast<float>(sourceWidth / twoPi);
    const double lon = (x - targetWidth / 2) * dt, lat = (y - targetHeight / 2) * dt;
    const double p[3] = {std::cos(lon) * std::cos(lat), -std::sin(lon) * std::cos(lat), -std::sin(lat)};
    double q[3];
    for (int r = 0; r < 3; ++r) q[r] = double{m[3 * r]} * p[0] + double{m[3 * r + 1]} * p[1] + double{m[3 * r + 2]} * p[2];
    ExactSample s;
    s.v = std::atan2(-q[1], q[0]) * ps;
    s.w = -std::asin(std::clamp(q[2], -1.0, 1.0)) * ps;
    s.row = std::clamp(TruncSnapped(s.w) + source.GetHeight() / 2, firstRow, lastRow);
    s.column = std::clamp(TruncSnapped(s.v) + sourceWidth / 2, 0, sourceWidth - 1);
    return s;
}

// Interpolating between exact positions may move a position by a small
// fraction of a pixel, so a sample may differ from the nearest one only
// where the exact position lies within this many source pixels of a
// boundary, and then only by one step across that boundary.
constexpr double kBoundaryTolerance = 0.05;

// Every sample the turn writes is the exact nearest sample, or, next to a
// sample boundary, the neighbour across it; on a whole sphere, a latitude
// band and a patch, for a table of turns (small leveling steps, a pole onto
// the equator, upside down); outside the data area everything is cleared.
TEST(RotateWorldMap, EveryPixelIsTheNearestSampleOrItsNeighbourAtABoundary)
{
    const int W = 1024, H = W / 2 + 1;
    // Noise, so that a neighbour's sample never equals the nearest one by chance.
    std::vector<uint8_t> noise(static_cast<size_t>(W) * H * 3);
    uint32_t state = 12345;
    for (uint8_t& b : noise) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 24);
    }
    // A whole sphere, a latitude band of whole rows, and a patch whose rows
    // hold part of the circle (the lookup clamps into each row's samples).
    REGION2 band{-0.9f, 0.6f, -3.2f, 3.2f, 6.4f, 1.5f};
    REGION2 patch{-0.9f, 0.6f, -1.5f, 1.0f, 2.5f, 1.5f};
    const std::pair<const char*, REGION2*> sources[] = {{" (whole sphere)", nullptr}, {" (band)", &band}, {" (patch)", &patch}};
    for (const auto& [sourceName, region] : sources) {
        auto source = std::make_unique<WorldMapBase>();
        ASSERT_TRUE(source->Init(W, region, 0, 3));
        int firstRow = -1, lastRow = -1;
        for (int r = 0; r < source->GetHeight(); ++r)
            if (const WorldMapBase::ScanLine* line = source->GetScanLine(r); line->m_line) {
                std::memcpy(line->m_line, noise.data() + (static_cast<size_t>(r) * W + line->m_first) * 3,
                            static_cast<size_t>(line->m_last - line->m_first + 1) * 3);
                if (firstRow < 0) firstRow = r;
                lastRow = r;
            }
        for (const TurnCase& turn : kTurns) {
            SCOPED_TRACE(std::string(turn.name) + sourceName);
            float m[9];
            RotationMatrix(turn.axis, turn.angle, m);
            // Left over from an earlier turn: everything outside the new data
            // area must be cleared, everything inside written.
            auto target = FullMap(W, 3);
            for (int y = 0; y < H; ++y) std::memset(Row(*target, y), 0xEE, static_cast<size_t>(W) * 3);
            Utilities::RotateWorldMap(source.get(), target.get(), m);
            ASSERT_LT(target->m_yStart, target->m_yEnd);
            ASSERT_LE(target->m_xStart, target->m_xEnd);
            size_t differing = 0, unexplained = 0, outsideWritten = 0, compared = 0;
            for (int y = 0; y < H; ++y)
                for (int x = 0; x < W; ++x) {
                    const uint8_t* got = Row(*target, y) + static_cast<size_t>(x) * 3;
                    const bool inside = y >= target->m_yStart && y < target->m_yEnd && x >= target->m_xStart && x < target->m_xEnd;
                    if (!inside) {
                        outsideWritten += got[0] != 0 || got[1] != 0 || got[2] != 0;
                        continue;
                    }
                    const ExactSample want = NearestSample(*source, firstRow, lastRow, W, H, x, y, m);
                    ++compared;
                    const WorldMapBase::ScanLine* wantLine = source->GetScanLine(want.row);
                    if (std::memcmp(got, source->GetDataPtr(std::clamp(want.column, wantLine->m_first, wantLine->m_last), want.row), 3) == 0)
                        continue;
                    ++differing;
                    // The samples of every position within the tolerance of the exact one.
                    bool explained = false;
                    for (double dw : {-kBoundaryTolerance, 0.0, kBoundaryTolerance})
                        for (double dv : {-kBoundaryTolerance, 0.0, kBoundaryTolerance}) {
                            double v = want.v + dv;
                            if (v > W / 2 + 1.0e-3) v -= W;
                            if (v < -W / 2 - 1.0e-3) v += W;
                            const int row = std::clamp(TruncSnapped(want.w + dw) + H / 2, firstRow, lastRow);
                            const WorldMapBase::ScanLine* line = source->GetScanLine(row);
                            const int column = std::clamp(std::clamp(TruncSnapped(v) + W / 2, 0, W - 1), line->m_first, line->m_last);
                            explained = explained || std::memcmp(got, source->GetDataPtr(column, row), 3) == 0;
                        }
                    if (!explained && ++unexplained <= 5)
                        ADD_FAILURE() << "pixel " << x << ", " << y << ": source position " << want.v << ", " << want.w
                                      << " is not within " << kBoundaryTolerance << " of a boundary crossed";
                }
            EXPECT_EQ(unexplained, 0u);
            EXPECT_LE(static_cast<double>(differing), turn.neighbourShare * static_cast<double>(compared))
                << differing << " of " << compared << " differ";
            EXPECT_EQ(outsideWritten, 0u);
        }
    }
}

// A whole sphere turned any way still covers the whole target: its poles
// land inside it, so the data area is not just where the source's pole rows
// land (which left a tilted preview half as wide).
TEST(RotateWorldMap, AWholeSphereKeepsTheWholeDataArea)
{
    const int W = 320;
    auto source = FullMap(W, 1);
    for (int r = 0; r < source->GetHeight(); ++r) std::memset(Row(*source, r), 1 + r % 200, W);
    for (const TurnCase& turn : kTurns) {
        SCOPED_TRACE(turn.name);
        float m[9];
        RotationMatrix(turn.axis, turn.angle, m);
        auto target = FullMap(W, 1);
        Utilities::RotateWorldMap(source.get(), target.get(), m);
        EXPECT_EQ(target->m_xStart, 0);
        EXPECT_EQ(target->m_xEnd, W);
        EXPECT_EQ(target->m_yStart, 0);
        EXPECT_EQ(target->m_yEnd, W / 2 + 1);
    }
    // A band around the equator tilted by ten degrees reaches ten degrees
    // further up and down, and no pole.
    REGION2 band{-0.35f, 0.35f, -3.2f, 3.2f, 6.4f, 0.7f};
    WorldMapBase narrow;
    ASSERT_TRUE(narrow.Init(W, &band, 0, 1));
    int firstRow = -1, lastRow = -1;
    for (int r = 0; r < narrow.GetHeight(); ++r)
        if (Row(narrow, r)) {
            std::memset(Row(narrow, r), 5, W);
            if (firstRow < 0) firstRow = r;
            lastRow = r;
        }
    float m[9];
    const double axis[3] = {0, 1, 0};
    RotationMatrix(axis, 10 * M_PI / 180, m);
    auto target = FullMap(W, 1);
    Utilities::RotateWorldMap(&narrow, target.get(), m);
    const int tenDegrees = W / 36;
    EXPECT_NEAR(target->m_yStart, firstRow - tenDegrees, 1);
    EXPECT_NEAR(target->m_yEnd - 1, lastRow + tenDegrees, 1);
    EXPECT_EQ(target->m_xStart, 0);
    EXPECT_EQ(target->m_xEnd, W);
}

}  // namespace

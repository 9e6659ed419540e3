// Compositing of image cells into a screen image: all 24 kernels against a
// slow per-pixel reference written from the definition.
#include "worldmap/bmp_cell.h"

#include "testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

Image* RandomImage(int w, int h, int channels, uint32_t seed, bool withHoles)
{
    auto* image = new Image(w, h, channels);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        for (int x = 0; x < w * channels; ++x) row[x] = static_cast<uint8_t>(rng());
        if (withHoles)
            for (int x = 0; x < w; ++x)
                if (rng() % 5 == 0) row[x * channels] = 0;  // no data here
    }
    return image;
}

BmpCell* RandomCell(int w, int h, int channels, uint32_t seed)
{
    Image* picture = RandomImage(w, h, channels, seed, true);
    auto* cell = new BmpCell(picture);
    ReleaseImage(picture);
    return cell;
}

// The definition, pixel by pixel: a cell pixel whose first byte is 0 is
// skipped; each written byte takes the cell's sample (a one-channel cell's
// one sample for all three), scaled and offset by its channel's contrast and
// brightness (float, truncated, clamped), looked up in its channel's table,
// and stored or blended as (t * screen + (256 - t) * v) >> 8. Byte 0 is blue
// (control channel 2), byte 2 red (channel 0); one-channel cells use red.
void ComposeReference(const BmpCell& cell, Image* screen)
{
    const int t = cell.GetTransparency();
    if (t >= 256) return;
    const int cc = cell.GetChannels();
    const int sc = screen->GetChannels();
    if (cc == 3 && sc == 1) return;
    const ColorCtrl& ctrl = *cell.GetColorCtrl();
    const uint8_t* tables = ctrl.GetTableBlock();
    for (int cy = 0; cy < cell.GetHeight(); ++cy) {
        for (int cx = 0; cx < cell.GetWidth(); ++cx) {
            const int x = cell.m_x + cx;
            const int y = cell.m_y + cy;
            if (x < 0 || y < 0 || x >= screen->GetWidth() || y >= screen->GetHeight()) continue;
            const uint8_t* src = cell.GetData() + cy * cell.GetRowByte() + cx * cc;
            if (src[0] == 0) continue;
            uint8_t* dst = screen->GetData() + y * screen->GetRowByte() + x * sc;
            for (int b = 0; b < sc; ++b) {
                const int channel = cc == 3 ? 2 - b : 0;
                int v = src[cc == 3 ? b : 0];
                float a = static_cast<float>(v) * ctrl.GetContrastFactors()[channel] +
                          static_cast<float>(ctrl.GetBrightnessOffsets()[channel]);
                a = static_cast<float>(static_cast<int>(a));  // toward zero
                v = a < 0 ? 0 : (a > 255 ? 255 : static_cast<int>(a));
                if (tables) v = tables[channel * 256 + v];
                dst[b] = t == 0 ? static_cast<uint8_t>(v) : static_cast<uint8_t>((t * dst[b] + (256 - t) * v) >> 8);
            }
        }
    }
}

struct Pairing {
    const char* name;
    int cellChannels, screenChannels;
};

struct Placement {
    int x, y;
};

TEST(ComposeKernels, AllTwentyFourAgainstTheReference)
{
    const Pairing pairings[] = {{"3 on 3", 3, 3}, {"1 on 1", 1, 1}, {"1 on 3", 1, 3}};
    // Inside, at negative offsets, past the right and bottom edges, wider
    // and taller than the screen, and wholly outside on every side.
    const Placement places[] = {{3, 2},   {-5, -4}, {14, 10}, {-10, -6}, {-13, 0},
                                {20, 0},  {0, 15},  {0, -9},  {-30000, 4}, {19, 14}};
    int kernelsRun = 0;
    for (const Pairing& p : pairings) {
        for (int tables = 0; tables < 2; ++tables) {
            for (int blend = 0; blend < 2; ++blend) {
                for (int adjust = 0; adjust < 2; ++adjust) {
                    ++kernelsRun;
                    for (const Placement& at : places) {
                        for (int size = 0; size < 2; ++size) {
                            SCOPED_TRACE(testing::Message() << p.name << " tables " << tables << " blend " << blend
                                                            << " adjust " << adjust << " at " << at.x << ","
                                                            << at.y << " size " << size);
                            const int w = size ? 32 : 13;
                            const int h = size ? 22 : 9;
                            BmpCell* cell = RandomCell(w, h, p.cellChannels, 100 + kernelsRun);
                            cell->SetLocation(static_cast<int16_t>(at.x), static_cast<int16_t>(at.y));
                            ColorCtrl* ctrl = cell->GetColorCtrl();
                            if (tables) {
                                ctrl->SetGamma(0.6f, 0);
                                ctrl->SetGamma(1.7f, 2);
                            }
                            if (adjust) {
                                ctrl->SetBrightness(-7, 0);
                                ctrl->SetBrightness(12, 1);
                                ctrl->SetBrightness(30, 2);
                                ctrl->SetContrast(1.3f, 0);
                                ctrl->SetContrast(0.8f, 1);
                                ctrl->SetContrast(2.1f, 2);
                            }
                            if (blend) cell->SetTransparency(static_cast<uint16_t>(1 + (37 + 41 * std::abs(at.x + at.y)) % 255));
                            Image* got = RandomImage(20, 15, p.screenChannels, 7, false);
                            Image* want = got->Duplicate();
                            cell->MapDataTo(got);
                            ComposeReference(*cell, want);
                            EXPECT_TRUE(testkit::SamePixels(*got, *want));
                            ReleaseImage(got);
                            ReleaseImage(want);
                            ReleaseImage(cell);
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(kernelsRun, 24);
}

// Brightness only on blue, every other setting neutral: the adjusting path;
// a blue sample of 250 saturates at 255, red and green stay.
TEST(ComposeKernels, BlueBrightnessSaturates)
{
    auto* cell = new BmpCell();
    cell->Create(1, 1, 3, IMG_UINT8);
    cell->GetData()[0] = 250;  // blue
    cell->GetData()[1] = 100;
    cell->GetData()[2] = 7;
    cell->GetColorCtrl()->SetBrightness(10, 2);
    Image* screen = new Image(2, 2, 3);
    cell->MapDataTo(screen);
    EXPECT_EQ(screen->GetData()[0], 255);
    EXPECT_EQ(screen->GetData()[1], 100);
    EXPECT_EQ(screen->GetData()[2], 7);
    ReleaseImage(screen);
    ReleaseImage(cell);
}

TEST(ComposeKernels, TransparencyHalfAveragesAndFullHides)
{
    auto* cell = new BmpCell();
    cell->Create(1, 1, 3, IMG_UINT8);
    std::memset(cell->GetData(), 201, 3);
    Image* screen = new Image(1, 1, 3);
    std::memset(screen->GetData(), 100, 3);
    cell->SetTransparency(128);
    cell->MapDataTo(screen);
    EXPECT_EQ(screen->GetData()[0], 150);  // (128 * 100 + 128 * 201) >> 8
    cell->SetTransparency(256);
    std::memset(cell->GetData(), 9, 3);
    cell->MapDataTo(screen);
    EXPECT_EQ(screen->GetData()[1], 150);
    ReleaseImage(screen);
    ReleaseImage(cell);
}

// A cell at (-10, -10) is drawn from its pixel (10, 10) at the origin; a
// pixel with first byte 0 leaves the screen as it was whatever the settings.
TEST(ComposeKernels, NegativePlacementAndEmptyPixels)
{
    Image* picture = testkit::MakePatternImage(30, 30, 3);
    for (int y = 0; y < 30; ++y) picture->GetData()[y * picture->GetRowByte() + 11 * 3] = 0;  // column 11 empty
    auto* cell = new BmpCell(picture);
    ReleaseImage(picture);
    cell->SetLocation(-10, -10);
    cell->GetColorCtrl()->SetGamma(0.5f, 3);
    cell->SetTransparency(30);
    cell->ResetBCGT();
    Image* screen = new Image(5, 5, 3);
    std::memset(screen->GetData(), 33, screen->GetDataSize());
    cell->MapDataTo(screen);
    const uint8_t* origin = cell->GetData() + 10 * cell->GetRowByte() + 10 * 3;
    EXPECT_EQ(std::memcmp(screen->GetData(), origin, 3), 0);
    EXPECT_EQ(screen->GetData()[3], 33);  // cell column 11: no data
    ReleaseImage(screen);
    ReleaseImage(cell);
}

TEST(ComposeKernels, ThreeChannelCellsSkipOneChannelScreens)
{
    Image* picture = testkit::MakePatternImage(4, 4, 3);
    auto* cell = new BmpCell(picture);
    ReleaseImage(picture);
    Image* screen = new Image(4, 4, 1);
    cell->MapDataTo(screen);
    for (size_t i = 0; i < screen->GetDataSize(); ++i) EXPECT_EQ(screen->GetData()[i], 0);
    cell->MapDataTo(nullptr);
    ReleaseImage(screen);
    ReleaseImage(cell);
}

// The plain copy moves runs of pixels holding data whole (16 pixels tested at
// a time): holes at the edges of those blocks, at the row ends, everywhere
// and nowhere must give the pixel-by-pixel result, both composited over an
// existing screen and in the one pass that also clears the screen.
TEST(ComposeKernels, PlainCopyRunsMatchTheReference)
{
    struct Case {
        const char* name;
        std::vector<int> holes;  // columns whose first byte is 0 in every row
        bool allHoles;
    };
    const Case cases[] = {
        {"no holes", {}, false},
        {"first and last pixel", {0, 44}, false},
        {"block edges", {15, 16, 31, 32, 33}, false},
        {"one run of holes", {20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37}, false},
        {"every pixel", {}, true},
    };
    for (const int channels : {1, 3}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << channels << " channels");
            const int w = 45, h = 3;  // 45 pixels: two blocks of 16 and a scalar tail
            Image* picture = RandomImage(w, h, channels, 11, false);
            for (int y = 0; y < h; ++y) {
                uint8_t* row = picture->GetData() + static_cast<size_t>(y) * picture->GetRowByte();
                for (int x = 0; x < w; ++x) {
                    const bool hole = c.allHoles || std::find(c.holes.begin(), c.holes.end(), x) != c.holes.end();
                    if (hole) row[x * channels] = 0;
                    else if (row[x * channels] == 0) row[x * channels] = 1;
                }
            }
            auto* cell = new BmpCell(picture);
            ReleaseImage(picture);

            Image* got = RandomImage(w, h, channels, 5, false);
            Image* want = got->Duplicate();
            cell->MapDataTo(got);
            ComposeReference(*cell, want);
            EXPECT_TRUE(testkit::SamePixels(*got, *want));

            std::memset(got->GetData(), 0xA5, got->GetDataSize());
            ASSERT_TRUE(cell->ReplaceDataIn(got));
            want->Clear();
            ComposeReference(*cell, want);
            EXPECT_EQ(std::memcmp(got->GetData(), want->GetData(), want->GetDataSize()), 0);
            ReleaseImage(got);
            ReleaseImage(want);
            ReleaseImage(cell);
        }
    }
}

// The one pass applies only where it gives the same screen as clearing and
// compositing: a shifted, translucent or adjusted cell is left to the others.
TEST(ComposeKernels, OnePassRefusesCellsItCannotReplace)
{
    enum Setting { Shifted, Translucent, Brighter, Gamma, Smaller };
    for (const Setting setting : {Shifted, Translucent, Brighter, Gamma, Smaller}) {
        SCOPED_TRACE(static_cast<int>(setting));
        BmpCell* cell = RandomCell(setting == Smaller ? 8 : 9, 4, 3, 21);
        if (setting == Shifted) cell->SetLocation(1, 0);
        if (setting == Translucent) cell->SetTransparency(40);
        if (setting == Brighter) cell->GetColorCtrl()->SetBrightness(5, 1);
        if (setting == Gamma) cell->GetColorCtrl()->SetGamma(0.7f, 0);
        Image* screen = RandomImage(9, 4, 3, 3, false);
        Image* before = screen->Duplicate();
        EXPECT_FALSE(cell->ReplaceDataIn(screen));
        EXPECT_EQ(std::memcmp(screen->GetData(), before->GetData(), before->GetDataSize()), 0);
        ReleaseImage(screen);
        ReleaseImage(before);
        ReleaseImage(cell);
    }
}

}  // namespace

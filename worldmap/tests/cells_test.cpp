#include "worldmap/bmp_cell.h"
#include "worldmap/bmp_layer.h"
#include "worldmap/cell_object.h"
#include "worldmap/text_cell.h"
#include "worldmap/text_layer.h"

#include "testkit/testkit.h"

#include <gtest/gtest.h>

namespace {

TEST(CellObject, MovesAndLocates)
{
    CellObject cell;
    int16_t x = -1, y = -1;
    cell.GetLocation(x, y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(cell.m_cellWord, 0u);
    cell.SetLocation(10, -4);
    cell.Move(5, 6);
    cell.GetLocation(x, y);
    EXPECT_EQ(x, 15);
    EXPECT_EQ(y, 2);
    cell.SetLocation(32767, 0);
    cell.Move(1, 0);  // 16-bit positions wrap
    EXPECT_EQ(cell.m_x, -32768);
}

// A three-character text at (x, y) is hit at (x + 3, y + 5) and not at
// (x + 4, y): both ends of the hit box are included.
TEST(TextCell, HitBoxIncludesBothEnds)
{
    TextCell cell("abc");
    cell.SetLocation(20, 30);
    EXPECT_EQ(cell.m_textWidth, 3);
    EXPECT_EQ(cell.m_textHeight, 5);
    EXPECT_EQ(cell.m_fontSize, 9);
    EXPECT_EQ(cell.m_fontType, 0);
    EXPECT_EQ(cell.m_color, 255u);
    struct Case {
        int16_t x, y;
        bool inside;
    } cases[] = {{23, 35, true}, {20, 30, true}, {24, 30, false}, {19, 30, false}, {20, 36, false}, {21, 29, false}};
    for (const Case& c : cases) EXPECT_EQ(cell.IsInside(c.x, c.y), c.inside) << c.x << "," << c.y;
    cell.SetText("a much longer text");
    EXPECT_STREQ(cell.GetText(), "a much longer text");
    EXPECT_FALSE(cell.IsInside(24, 30));  // the hit width stays
    cell.SetColor(0x00FF00);
    cell.SetFontSize(12);
    cell.SetFontType(1);
    EXPECT_EQ(cell.m_color, 0x00FF00u);
    EXPECT_EQ(cell.m_fontSize, 12);
    TextCell empty(nullptr);
    EXPECT_STREQ(empty.GetText(), "");
}

TEST(TextLayer, FirstCellBecomesCurrentAndFindKeepsListOrder)
{
    TextLayer layer;
    EXPECT_EQ(layer.GetCurrent(), nullptr);
    auto* a = new TextCell("abcdef");
    auto* b = new TextCell("xy");
    b->SetLocation(2, 0);
    layer.AddTextCell(a);
    layer.AddTextCell(b);
    layer.AddTextCell(nullptr);
    EXPECT_EQ(layer.GetCurrent(), a);
    EXPECT_EQ(layer.GetCellList()->m_count, 2);
    EXPECT_EQ(layer.Find(3, 2), a);  // both contain it: the first wins
    EXPECT_EQ(layer.Find(7, 0), nullptr);
    layer.SetCurrent(b);
    EXPECT_EQ(layer.GetCurrent(), b);
    // The layer deletes its cells (LeakSanitizer).
}

Image* Picture(int w, int h, int channels)
{
    return testkit::MakePatternImage(w, h, channels);
}

// A cell over a pattern picture; the emptied picture is released.
BmpCell* MakeCell(int w, int h, int channels)
{
    Image* picture = Picture(w, h, channels);
    auto* cell = new BmpCell(picture);
    ReleaseImage(picture);
    return cell;
}

TEST(BmpCell, TakesOverTheImagesPixels)
{
    Image* image = Picture(8, 4, 3);
    Image* copy = image->Duplicate();
    unsigned char* data = image->GetData();
    auto* cell = new BmpCell(image);
    EXPECT_EQ(cell->GetData(), data);
    EXPECT_EQ(image->GetData(), nullptr);
    EXPECT_TRUE(testkit::SamePixels(*cell, *copy));
    EXPECT_EQ(cell->m_refCount, 1);
    EXPECT_EQ(cell->GetTransparency(), 0);
    EXPECT_TRUE(cell->GetColorCtrl()->IsDefaultValue());
    ReleaseImage(image);
    ReleaseImage(copy);
    Image* asImage = cell;
    ReleaseImage(asImage);  // deletes the whole cell through the Image part
}

TEST(BmpCell, RectAndHits)
{
    auto* cell = MakeCell(10, 6, 3);
    cell->SetLocation(-3, 4);
    RECT r;
    cell->GetRect(r);
    EXPECT_EQ(r.left, -3);
    EXPECT_EQ(r.top, 4);
    EXPECT_EQ(r.right, 7);
    EXPECT_EQ(r.bottom, 10);
    EXPECT_TRUE(cell->IsInside(7, 10));
    EXPECT_TRUE(cell->IsInside(-3, 4));
    EXPECT_FALSE(cell->IsInside(8, 10));
    EXPECT_FALSE(cell->IsInside(0, 11));
    ReleaseImage(cell);
}

TEST(BmpCell, TransparencyTable)
{
    struct Case {
        uint16_t before, set;
        bool result;
        uint16_t after;
    } cases[] = {{0, 300, true, 256}, {0, 0, false, 0}, {0, 128, true, 128}, {256, 256, false, 256},
                 {10, 256, true, 256}, {128, 65535, true, 256}};
    for (const Case& c : cases) {
        BmpCell* cell = new BmpCell();
        cell->m_transparency = c.before;
        EXPECT_EQ(cell->SetTransparency(c.set), c.result) << c.before << "->" << c.set;
        EXPECT_EQ(cell->GetTransparency(), c.after);
        ReleaseImage(cell);
    }
    BmpCell* cell = new BmpCell();
    cell->SetTransparency(77);
    cell->GetColorCtrl()->SetGamma(2.0f, 1);
    EXPECT_TRUE(cell->ResetBCGT());
    EXPECT_EQ(cell->GetTransparency(), 0);
    EXPECT_TRUE(cell->GetColorCtrl()->IsDefaultValue());
    ReleaseImage(cell);
}

TEST(BmpLayer, ReferencesCurrentCellAndRemoval)
{
    auto* layer = new BmpLayer();
    auto* a = MakeCell(4, 4, 1);
    auto* b = MakeCell(6, 3, 3);
    b->SetLocation(10, 10);
    EXPECT_EQ(layer->GetMaxNmbChannles(), 0);
    EXPECT_FALSE(layer->MoveBmp(1, 1));
    RECT r;
    EXPECT_FALSE(layer->GetActiveBmpRect(r));
    layer->AddBmpCell(a);
    layer->AddBmpCell(b);
    EXPECT_EQ(a->m_refCount, 2);
    EXPECT_EQ(layer->GetCurrent(), a);  // the first one, not the second
    EXPECT_EQ(layer->GetMaxNmbChannles(), 3);
    EXPECT_EQ(layer->GetBmpCell(1), b);
    EXPECT_EQ(layer->GetImage(1), static_cast<Image*>(b));
    EXPECT_EQ(layer->GetBmpCell(2), nullptr);
    EXPECT_EQ(layer->GetBmpCell(-1), nullptr);
    EXPECT_EQ(layer->Find(12, 13), b);
    EXPECT_EQ(layer->Find(5, 5), nullptr);

    EXPECT_TRUE(layer->MoveBmp(2, -1));
    ASSERT_TRUE(layer->GetActiveBmpRect(r));
    EXPECT_EQ(r.left, 2);
    EXPECT_EQ(r.top, -1);

    // Removing the current cell leaves none current; MoveBmp then fails.
    EXPECT_TRUE(layer->DeleteBmpObject(a));
    EXPECT_EQ(a->m_refCount, 1);
    EXPECT_EQ(layer->GetCurrent(), nullptr);
    EXPECT_FALSE(layer->MoveBmp(1, 1));
    EXPECT_FALSE(layer->DeleteBmpObject(a));
    EXPECT_EQ(layer->GetMaxNmbChannles(), 3);

    // The layer's reference goes with the layer; the creator's stays.
    delete layer;
    EXPECT_EQ(b->m_refCount, 1);
    ReleaseImage(a);
    ReleaseImage(b);
}

TEST(BmpLayer, LastReferenceHeldByTheLayer)
{
    auto* layer = new BmpLayer();
    auto* cell = MakeCell(4, 4, 3);
    layer->AddBmpCell(cell);
    ReleaseImage(cell);  // the creator lets go: the layer keeps it alive
    EXPECT_EQ(layer->GetBmpCell(0)->GetWidth(), 4);
    EXPECT_TRUE(layer->DeleteBmpObject(cell));  // deleted here (LeakSanitizer / ASan)
    EXPECT_EQ(layer->GetCount(), 0);
    delete layer;
}

}  // namespace

// An image placed in a viewer's screen image, with its own colour control and
// transparency. The image and rect-map views wrap the picture they show in
// one; DataViewer composites its cells with MapDataTo. Shared by reference
// count: releasing the last reference deletes the whole cell.
#pragma once

#include "imaging/image.h"
#include "platform/imgcore/color_ctrl.h"
#include "core/win_types.h"
#include "worldmap/cell_object.h"

#include <cstdint>

class BmpCell : public Image, public CellObject {
public:
    // Transparency runs from 0 (opaque) to 256 (invisible).
    static constexpr uint16_t kInvisible = 256;

    BmpCell();
    // Takes over the image's pixels (Image::Transfer); the image is left
    // without data and still belongs to the caller.
    explicit BmpCell(Image* image);
    ~BmpCell() override;

    // Both ends included.
    bool IsInside(int16_t x, int16_t y) const;
    // (x, y, x + width, y + height).
    void GetRect(RECT& rect) const;

    // Transparency 0 and a neutral colour control; true.
    bool ResetBCGT();
    uint16_t GetTransparency() const { return m_transparency; }
    // False when the value is the current one; values above 256 store 256.
    bool SetTransparency(uint16_t transparency);
    ColorCtrl* GetColorCtrl() { return &m_colorCtrl; }
    const ColorCtrl* GetColorCtrl() const { return &m_colorCtrl; }

    // Composites the cell into an 8-bit interleaved screen image at its
    // location (bmp_cell_compose.cpp).
    void MapDataTo(Image* screen) const;
    // Clears the screen and composites this cell in one pass, when the cell
    // is an opaque plain copy (no adjustment, no tables) covering the whole
    // screen with its channel count. Returns false, writing nothing, otherwise.
    bool ReplaceDataIn(Image* screen) const;
    // Whether ReplaceDataIn applies to this screen, and the same for the rows
    // firstRow .. firstRow + rows - 1 alone (false, writing nothing, when it
    // does not apply or the rows are not all on the screen).
    bool CanReplaceDataIn(const Image* screen) const;
    bool ReplaceRowsIn(Image* screen, int firstRow, int rows) const;

    ColorCtrl m_colorCtrl;
    uint16_t m_transparency = 0;
};

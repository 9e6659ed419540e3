// Drawing the control's perspective frames onto its window in one pass: the
// frame (reduced while moving, full size otherwise) is stretched to the size
// it is shown at straight into the window's 32-bit pixels, in the view
// engine's row bands, instead of being enlarged into a frame of its own and
// then converted from 24 to 32 bits by the window's stretch.
#pragma once

#include "imaging/image.h"
#include "platform/win/gdi.h"
#include "viewer/lumivex/view_frame_draw_kernels.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Puts `from` stretched to width x height with its top-left corner at the
// logical point (x, y) of `dc`: each target pixel takes the source pixel
// under its centre, B, G, R written and the fourth byte left as it was, the
// context's clip respected. The bytes are those StretchDIBits writes for the
// same 24-bit rows and rectangles (nearest stretching, SRCCOPY). False,
// with nothing drawn, when the context or the frame is not of the kind this
// handles (no 32-bit pixels, a mapping that is not one to one, HALFTONE
// shrinking, a frame that is not 3-channel 8-bit DIB rows): the caller then
// draws through StretchDIBits.
bool DrawViewFrame(CDC& dc, int x, int y, int width, int height, const Image& from);
// The same, one plain loop a pixel (no SIMD): the reference of the tests.
bool DrawViewFramePlain(CDC& dc, int x, int y, int width, int height, const Image& from);

// DrawViewFrame for a frame whose rows are still being drawn: Prepare makes
// DrawViewFrame's checks, which look at the frame's size and layout and not
// its pixels (false where DrawViewFrame would decline; nothing drawn), and
// DrawFrameRows(first, last) then puts the target rows that show frame rows
// first .. last. Calls for different frame rows write different target rows
// and may run on different threads at once; every frame row drawn once, after
// it holds its final bytes, gives DrawViewFrame's bytes. The context and the
// frame must outlive the drawing.
class ViewFrameRows {
public:
    bool Prepare(CDC& dc, int x, int y, int width, int height, const Image& from, bool simd = true);
    void DrawFrameRows(int first, int last) const;
    // Every target row, in the view engine's row bands.
    void DrawAll() const;

private:
    // Target rows firstRow .. lastRow of the stretched rectangle.
    void TargetRows(int firstRow, int lastRow) const;

    const unsigned char* m_source = nullptr;
    size_t m_sourceRow = 0;  // bytes
    int m_sourceHeight = 0;
    int m_height = 0;  // of the stretched rectangle
    unsigned char* m_target = nullptr;
    size_t m_targetRow = 0;  // bytes
    int64_t m_rowZero = 0;   // target row of the rectangle's row 0 (may lie above the target)
    size_t m_left = 0;       // target byte of the first column drawn
    int m_rowFrom = 0, m_rowTo = 0;  // rectangle rows on the writable target, the last excluded
    std::vector<int32_t> m_columns;
    std::vector<lumivexdraw::SpreadGroup> m_groups;
    bool m_vector = false;
    // The first rectangle row showing frame row s or one below it, for s up
    // to the frame's height (the rectangle's height past the last).
    std::vector<int> m_firstRowOf;
};

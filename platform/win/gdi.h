// Device context of the windowing stand-in: pens, brushes, raster operations
// and text drawn into an 8-bit Image (1 channel grey, 3 channels B, G, R or
// the 32-bit surfaces of windows: 4 channels B, G, R, unused), the way the
// suite's libraries draw markers, curves and rectangles onto a window; with
// mapping modes, a clip box, blits between contexts, bitmaps and device-
// independent bitmaps (dib.h) and printing (printer_dc.h). A CDC can also
// record every call it receives, for tests.
#pragma once

#include "platform/win/win_defs.h"
#include "platform/win/win_types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Image;

// Pen styles. Dashes and dots apply to width-1 pens; wider pens draw solid.
enum : int {
    PS_SOLID = 0,
    PS_DASH = 1,        // 18 on, 6 off
    PS_DOT = 2,         // 3 on, 3 off
    PS_DASHDOT = 3,     // 9 on, 6 off, 3 on, 6 off
    PS_DASHDOTDOT = 4,  // 9 on, 3 off, 3 on, 3 off, 3 on, 3 off
    PS_NULL = 5,
};

// Binary raster operations: how the pen or brush colour P combines with the
// pixel D already there. Value - 1 is the truth table of the bitwise
// function: bit (2 P + D) gives the result bit.
enum : int {
    R2_BLACK = 1,
    R2_NOTMERGEPEN = 2,
    R2_MASKNOTPEN = 3,
    R2_NOTCOPYPEN = 4,
    R2_MASKPENNOT = 5,
    R2_NOT = 6,
    R2_XORPEN = 7,
    R2_NOTMASKPEN = 8,
    R2_MASKPEN = 9,
    R2_NOTXORPEN = 10,
    R2_NOP = 11,
    R2_MERGENOTPEN = 12,
    R2_COPYPEN = 13,
    R2_MERGEPENNOT = 14,
    R2_MERGEPEN = 15,
    R2_WHITE = 16,
};

// Background modes for text and for the gaps of styled pens.
enum : int {
    TRANSPARENT = 1,
    OPAQUE = 2,
};

// Stock objects for SelectStockObject.
enum : int {
    WHITE_BRUSH = 0,
    BLACK_BRUSH = 4,
    NULL_BRUSH = 5,
    HOLLOW_BRUSH = NULL_BRUSH,
    WHITE_PEN = 6,
    BLACK_PEN = 7,
    NULL_PEN = 8,
};

constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// Mapping modes: how logical coordinates become device pixels.
enum : int {
    MM_TEXT = 1,
    MM_ISOTROPIC = 7,   // window to viewport with equal units on both axes
    MM_ANISOTROPIC = 8,
};

// Stretching modes of the blits.
enum : int {
    BLACKONWHITE = 1,
    WHITEONBLACK = 2,
    COLORONCOLOR = 3,  // nearest source pixel
    HALFTONE = 4,      // average of the source pixels covered (box filter)
    STRETCH_DELETESCANS = COLORONCOLOR,
    STRETCH_HALFTONE = HALFTONE,
};

// Ternary raster operations of the blits: bits 16-23 are the truth table of
// brush P, source S and destination D, bit (4 P + 2 S + D) the result.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD SRCERASE = 0x00440328;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD NOTSRCERASE = 0x001100A6;
constexpr DWORD MERGEPAINT = 0x00BB0226;
constexpr DWORD PATCOPY = 0x00F00021;
constexpr DWORD PATINVERT = 0x005A0049;
constexpr DWORD DSTINVERT = 0x00550009;
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

// Device capabilities (GetDeviceCaps).
enum : int {
    HORZSIZE = 4,
    VERTSIZE = 6,
    HORZRES = 8,
    VERTRES = 10,
    BITSPIXEL = 12,
    PLANES = 14,
    NUMCOLORS = 24,
    RASTERCAPS = 38,
    LOGPIXELSX = 88,
    LOGPIXELSY = 90,
    PHYSICALWIDTH = 110,
    PHYSICALHEIGHT = 111,
    PHYSICALOFFSETX = 112,
    PHYSICALOFFSETY = 113,
};
constexpr int RC_BITBLT = 0x0001;
constexpr int RC_DI_BITMAP = 0x0080;
constexpr int RC_STRETCHBLT = 0x0800;
constexpr int RC_STRETCHDIB = 0x2000;

// Clip box kinds.
enum : int {
    NULLREGION = 1,
    SIMPLEREGION = 2,
};

// DrawText formats.
constexpr UINT DT_TOP = 0x0;
constexpr UINT DT_LEFT = 0x0;
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_RIGHT = 0x2;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_BOTTOM = 0x8;
constexpr UINT DT_WORDBREAK = 0x10;
constexpr UINT DT_SINGLELINE = 0x20;
constexpr UINT DT_NOCLIP = 0x100;
constexpr UINT DT_CALCRECT = 0x400;

class CDC;
class CBitmap;
// A device-context handle is the context itself.
using HDC = CDC*;

// Common base of the drawing objects a CDC selects.
class CGdiObject {
public:
    virtual ~CGdiObject() = default;
    bool IsCreated() const { return m_created; }

protected:
    bool m_created = false;
};

class CPen : public CGdiObject {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF colour) { CreatePen(style, width, colour); }
    // A pen is made once, as on the platform; false when already made or
    // the style is unknown.
    bool CreatePen(int style, int width, COLORREF colour);

    int GetStyle() const { return m_style; }
    int GetWidth() const { return m_width; }
    COLORREF GetColor() const { return m_colour; }

private:
    int m_style = PS_SOLID;
    int m_width = 1;
    COLORREF m_colour = 0;
};

class CBrush : public CGdiObject {
public:
    CBrush() = default;
    explicit CBrush(COLORREF colour) { CreateSolidBrush(colour); }
    bool CreateSolidBrush(COLORREF colour);
    // A hollow brush fills nothing.
    bool CreateHollowBrush();

    bool IsHollow() const { return m_hollow; }
    COLORREF GetColor() const { return m_colour; }

private:
    bool m_hollow = false;
    COLORREF m_colour = 0;
};

// A scalable font: DejaVu Sans (or Bold) at a pixel height. The face name is
// kept for the record; every face maps to the one family the platform ships.
class CFont : public CGdiObject {
public:
    // Height of the character cell in pixels; weight 700 or more is bold.
    bool CreatePixelFont(int height, int weight = 400, const char* faceName = nullptr);
    // Point size in tenths of a point at 96 dots per inch, as dialogs ask.
    bool CreatePointFont(int pointSizeTenths, const char* faceName);

    int GetHeight() const { return m_height; }
    bool IsBold() const { return m_bold; }
    const std::string& GetFaceName() const { return m_face; }

private:
    int m_height = 13;
    bool m_bold = false;
    std::string m_face;
};

struct TEXTMETRIC {
    int32_t tmHeight;
    int32_t tmAscent;
    int32_t tmDescent;
    int32_t tmAveCharWidth;
    int32_t tmMaxCharWidth;
};

// One recorded call: its name, its integer arguments in order and, for text
// output, the text.
struct GdiCall {
    std::string name;
    std::vector<int64_t> args;
    std::string text;
    // "LineTo(3,4)", "TextOut(5,6,\"12\")".
    std::string ToString() const;
};

class CDC {
public:
    // Without a target the context only records (when recording is on).
    CDC();
    // Draws into `target` (8-bit interleaved, 1 or 3 channels); holds a
    // reference to it while attached.
    explicit CDC(Image* target);
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // Target. Attach refuses (false, logged) images it cannot draw into.
    bool Attach(Image* target);
    // A raw pixel buffer (window surfaces and 32-bit bitmaps: 4 bytes a
    // pixel, B, G, R, unused); `owner` keeps the buffer alive while attached.
    bool AttachPixels(std::shared_ptr<void> owner, unsigned char* data, int width, int height, int rowBytes,
                      int channels);
    void Detach();
    Image* GetTarget() const { return m_target; }
    bool HasTarget() const { return m_pixels.data != nullptr; }
    int TargetWidth() const { return m_pixels.width; }
    int TargetHeight() const { return m_pixels.height; }

    // Selection returns the previously selected object (the context's own
    // default when nothing else was selected). The context copies what it
    // needs, so a pen may be destroyed while selected.
    CPen* SelectObject(CPen* pen);
    CBrush* SelectObject(CBrush* brush);
    CFont* SelectObject(CFont* font);
    CGdiObject* SelectStockObject(int index);
    CPen* GetCurrentPen() const { return m_pen; }
    CBrush* GetCurrentBrush() const { return m_brush; }
    CFont* GetCurrentFont() const { return m_font; }

    int SetROP2(int mode);
    int GetROP2() const { return m_rop2; }
    COLORREF SetTextColor(COLORREF colour);
    COLORREF GetTextColor() const { return m_textColour; }
    COLORREF SetBkColor(COLORREF colour);
    COLORREF GetBkColor() const { return m_bkColour; }
    int SetBkMode(int mode);
    int GetBkMode() const { return m_bkMode; }

    // Logical (0, 0) lands on device pixel `origin`.
    POINT SetViewportOrg(int x, int y);
    POINT GetViewportOrg() const { return m_viewportOrg; }
    POINT OffsetViewportOrg(int dx, int dy);

    // Mapping: device = (logical - window origin) x viewport extent /
    // window extent + viewport origin; MM_TEXT keeps the extents 1:1 and
    // MM_ISOTROPIC shrinks one viewport extent so that both axes scale alike.
    int SetMapMode(int mode);
    int GetMapMode() const { return m_mapMode; }
    SIZE SetWindowExt(int cx, int cy);
    SIZE GetWindowExt() const { return m_windowExt; }
    SIZE SetViewportExt(int cx, int cy);
    SIZE GetViewportExt() const;
    POINT SetWindowOrg(int x, int y);
    POINT GetWindowOrg() const { return m_windowOrg; }
    void LPtoDP(POINT* points, int count = 1) const;
    void LPtoDP(RECT* rect) const;
    void DPtoLP(POINT* points, int count = 1) const;
    void DPtoLP(RECT* rect) const;

    // Clipping: drawing lands only inside the clip box. IntersectClipRect
    // takes logical coordinates; GetClipBox answers in them.
    int IntersectClipRect(int left, int top, int right, int bottom);
    int IntersectClipRect(const RECT* rect) { return IntersectClipRect(rect->left, rect->top, rect->right, rect->bottom); }
    int GetClipBox(RECT* rect) const;
    // The whole target again (or the runtime's window area).
    void ResetClip();

    // Filling, framing and formatted text.
    void FillRect(const RECT* rect, CBrush* brush);
    void FrameRect(const RECT* rect, CBrush* brush);
    void Draw3dRect(const RECT* rect, COLORREF topLeft, COLORREF bottomRight);
    void Draw3dRect(int x, int y, int cx, int cy, COLORREF topLeft, COLORREF bottomRight);
    void InvertRect(const RECT* rect);
    void DrawFocusRect(const RECT* rect);
    // Single-line text placed in a rectangle (DT_ flags); the text height.
    int DrawText(const std::string& text, RECT* rect, UINT format);

    // Blits between contexts, coordinates logical in each; the ternary
    // raster operation combines brush, source and destination.
    int SetStretchBltMode(int mode);
    int GetStretchBltMode() const { return m_stretchMode; }
    bool PatBlt(int x, int y, int width, int height, DWORD rop);
    bool BitBlt(int x, int y, int width, int height, CDC* source, int xs, int ys, DWORD rop);
    bool StretchBlt(int x, int y, int width, int height, CDC* source, int xs, int ys, int ws, int hs, DWORD rop);

    // A memory context draws into the bitmap selected into it.
    bool CreateCompatibleDC(CDC* other);
    CBitmap* SelectObject(CBitmap* bitmap);
    CBitmap* GetCurrentBitmap() const { return m_bitmap; }
    virtual int GetDeviceCaps(int index) const;

    // Printing: a printer context (printer_dc.h) pages; others refuse (-1).
    virtual int StartDoc(const char* docName);
    virtual int StartPage();
    virtual int EndPage();
    virtual int EndDoc();
    virtual int AbortDoc();
    bool IsPrinting() const { return m_bPrinting != FALSE; }
    HDC GetSafeHdc() const { return m_hDC; }

    // The context itself while it can draw or record; null for a printer
    // context without a printer.
    HDC m_hDC;
    BOOL m_bPrinting = FALSE;

    // Runtime use (window and printer contexts): where device (0, 0) lies on
    // the target and the part of the target that belongs to the context.
    void SetDeviceOrigin(POINT origin) { m_deviceOrigin = origin; }
    POINT GetDeviceOrigin() const { return m_deviceOrigin; }
    void SetDeviceClip(const RECT* targetRect);
    // Logical to target pixels, in 64 bits so that far coordinates stay defined.
    int64_t TargetX(int64_t x) const;
    int64_t TargetY(int64_t y) const;
    // A pixel of the target, unclipped (blit sources).
    bool ReadTarget(int64_t x, int64_t y, COLORREF& colour) const;
    // The target's rows for the blits' direct path: its pixels and the part
    // of it a write may touch (the target within the clip box). False
    // without a target.
    struct DirectTarget {
        unsigned char* data = nullptr;
        int64_t width = 0;
        int64_t height = 0;
        int64_t rowBytes = 0;
        int channels = 0;
        RECT writable{0, 0, 0, 0};  // target pixels, right and bottom excluded
    };
    bool GetDirectTarget(DirectTarget& out) const;
    // Writes one target pixel (clipped) through a ternary raster operation
    // with the selected brush (blits and bitmaps).
    void BlendTargetPublic(int64_t x, int64_t y, COLORREF source, DWORD rop);

    // Lines exclude their end point, so joined segments touch each pixel once.
    POINT MoveTo(int x, int y);
    POINT MoveTo(POINT p) { return MoveTo(p.x, p.y); }
    POINT GetCurrentPosition() const { return m_position; }
    bool LineTo(int x, int y);
    bool LineTo(POINT p) { return LineTo(p.x, p.y); }
    bool Polyline(const POINT* points, int count);

    // The ellipse inscribed in the box x1..x2-1, y1..y2-1 (right and bottom
    // excluded); the arc runs counter-clockwise on screen from the ray
    // towards (x3, y3) up to, not including, the ray towards (x4, y4); equal
    // rays give the whole ellipse.
    bool Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    // Filled with the brush, outlined with the pen; right and bottom excluded.
    bool Ellipse(int x1, int y1, int x2, int y2);
    bool Rectangle(int x1, int y1, int x2, int y2);
    bool Rectangle(const RECT& r) { return Rectangle(r.left, r.top, r.right, r.bottom); }
    // Fills with a colour, ignoring the raster operation.
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF colour);

    // SetPixel returns the colour stored (grey images store the grey of it),
    // CLR_INVALID outside the target.
    COLORREF SetPixel(int x, int y, COLORREF colour);
    COLORREF GetPixel(int x, int y) const;

    // Text with its top-left corner at (x, y), in the text colour, over a
    // background box in OPAQUE mode. The raster operation does not apply to
    // text. False (and one logged error) when no font file is found.
    bool TextOut(int x, int y, const char* text, int length);
    bool TextOut(int x, int y, const std::string& text) { return TextOut(x, y, text.c_str(), static_cast<int>(text.size())); }
    SIZE GetTextExtent(const std::string& text) const;
    bool GetTextMetrics(TEXTMETRIC* metrics) const;

    // Recording: every state change and drawing call is appended while on.
    void SetRecording(bool on) { m_recording = on; }
    bool IsRecording() const { return m_recording; }
    const std::vector<GdiCall>& GetRecordedCalls() const { return m_calls; }
    void ClearRecordedCalls() { m_calls.clear(); }

    // The font file text is drawn with, or empty when none is installed.
    static std::string FindFontFile(bool bold);

protected:
    void Record(const char* name, std::vector<int64_t> args, std::string text = {});
    // Writes a colour through a ternary raster operation with the brush.
    void BlendTarget(int64_t x, int64_t y, COLORREF source, DWORD rop);
    // Device density for GetDeviceCaps: the screen's 96, a printer's own.
    int m_dotsPerInch = 96;

private:
    struct PenAttr {
        int style = PS_SOLID;
        int width = 1;
        COLORREF colour = 0;
    };
    struct BrushAttr {
        bool hollow = false;
        COLORREF colour = 0xFFFFFF;
    };
    struct Pixel {
        int x;
        int y;
        bool on;  // false: a gap of a styled pen
    };

    // Rasterisation into a list of device pixels, then one application.
    void AddLine(std::vector<Pixel>& out, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int& styleStep) const;
    void AddEllipseOutline(std::vector<Pixel>& out, double cx, double cy, double a, double b, bool partial,
                           double startAngle, double endAngle) const;
    void StrokePixels(std::vector<Pixel> pixels);
    void FillPixels(const std::vector<POINT>& pixels, COLORREF colour);
    bool StyleOn(int step) const;
    void ApplyRop(int x, int y, COLORREF colour);
    unsigned char* PixelAddress(int64_t x, int64_t y) const;
    void DrawEllipseFigure(int x1, int y1, int x2, int y2);

    // The pixels drawn into: an Image's or a raw buffer's.
    struct Pixels {
        unsigned char* data = nullptr;
        int width = 0;
        int height = 0;
        int rowBytes = 0;
        int channels = 0;
    };
    Image* m_target = nullptr;
    std::shared_ptr<void> m_pixelOwner;
    Pixels m_pixels;
    CPen m_defaultPen;
    CBrush m_defaultBrush;
    CFont m_defaultFont;
    CPen m_stockPens[3];
    CBrush m_stockBrushes[3];
    CPen* m_pen = nullptr;
    CBrush* m_brush = nullptr;
    CFont* m_font = nullptr;
    PenAttr m_penAttr;
    BrushAttr m_brushAttr;
    int m_fontHeight = 13;
    bool m_fontBold = false;

    int m_rop2 = R2_COPYPEN;
    int m_mapMode = MM_TEXT;
    SIZE m_windowExt{1, 1};
    SIZE m_viewportExt{1, 1};
    POINT m_windowOrg{0, 0};
    POINT m_deviceOrigin{0, 0};
    RECT m_deviceClip{0, 0, 0, 0};  // target pixels the context owns (empty: all)
    bool m_hasDeviceClip = false;
    RECT m_clip{0, 0, 0, 0};        // current clip box in target pixels
    bool m_hasClip = false;
    int m_stretchMode = BLACKONWHITE;
    CBitmap* m_bitmap = nullptr;
    bool m_memory = false;
    COLORREF m_textColour = 0;
    COLORREF m_bkColour = 0xFFFFFF;
    int m_bkMode = OPAQUE;
    POINT m_position{0, 0};
    POINT m_viewportOrg{0, 0};

    bool m_recording = false;
    std::vector<GdiCall> m_calls;
};

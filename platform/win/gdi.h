// Device context of the windowing stand-in: pens, brushes, raster operations
// and text drawn into an 8-bit Image (1 channel grey or 3 channels B, G, R),
// the way the suite's libraries draw markers, curves and rectangles onto a
// window. A CDC can also record every call it receives, for tests.
#pragma once

#include "platform/win/win_types.h"

#include <cstdint>
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
    void Detach();
    Image* GetTarget() const { return m_target; }

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

    Image* m_target = nullptr;
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
    COLORREF m_textColour = 0;
    COLORREF m_bkColour = 0xFFFFFF;
    int m_bkMode = OPAQUE;
    POINT m_position{0, 0};
    POINT m_viewportOrg{0, 0};

    bool m_recording = false;
    std::vector<GdiCall> m_calls;
};

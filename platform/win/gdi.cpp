#include "platform/win/gdi.h"

#include "imaging/image.h"
#include "core/logger.h"
#include "platform/win/gdi_font.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <utility>

namespace {

// Grey of a colour for one-channel targets (Rec. 601 weights, rounded).
unsigned char GreyOf(COLORREF c)
{
    return static_cast<unsigned char>((GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114 + 500) / 1000);
}

// Bitwise raster operation: bit (2 p + d) of `table` is the result bit.
inline unsigned char Rop(int table, unsigned char p, unsigned char d)
{
    unsigned r = 0;
    if (table & 1) r |= ~p & ~d;
    if (table & 2) r |= ~p & d;
    if (table & 4) r |= p & ~d;
    if (table & 8) r |= p & d;
    return static_cast<unsigned char>(r);
}

// On/off run lengths of the styled width-1 pens, starting with "on".
const std::vector<int>& StylePattern(int style)
{
    static const std::vector<int> solid;
    static const std::vector<int> dash{18, 6};
    static const std::vector<int> dot{3, 3};
    static const std::vector<int> dashDot{9, 6, 3, 6};
    static const std::vector<int> dashDotDot{9, 3, 3, 3, 3, 3};
    switch (style) {
    case PS_DASH: return dash;
    case PS_DOT: return dot;
    case PS_DASHDOT: return dashDot;
    case PS_DASHDOTDOT: return dashDotDot;
    default: return solid;
    }
}

// Counter-clockwise screen angle of (dx, dy) in [0, 2 pi); rows grow downwards.
double ScreenAngle(double dx, double dy)
{
    double a = std::atan2(-dy, dx);
    if (a < 0) a += 2 * std::numbers::pi;
    return a;
}

double AngleFrom(double start, double angle)
{
    double d = angle - start;
    while (d < 0) d += 2 * std::numbers::pi;
    while (d >= 2 * std::numbers::pi) d -= 2 * std::numbers::pi;
    return d;
}

int RoundHalfUp(double v)
{
    return static_cast<int>(std::floor(v + 0.5));
}

}  // namespace

// ---------------------------------------------------------------- objects

bool CPen::CreatePen(int style, int width, COLORREF colour)
{
    if (m_created || style < PS_SOLID || style > PS_NULL) return false;
    m_style = style;
    m_width = width < 1 ? 1 : width;
    m_colour = colour & 0xFFFFFF;
    m_created = true;
    return true;
}

bool CBrush::CreateSolidBrush(COLORREF colour)
{
    if (m_created) return false;
    m_hollow = false;
    m_colour = colour & 0xFFFFFF;
    m_created = true;
    return true;
}

bool CBrush::CreateHollowBrush()
{
    if (m_created) return false;
    m_hollow = true;
    m_created = true;
    return true;
}

bool CFont::CreatePixelFont(int height, int weight, const char* faceName)
{
    if (m_created || height < 1) return false;
    m_height = height;
    m_bold = weight >= 700;
    m_face = faceName ? faceName : "";
    m_created = true;
    return true;
}

bool CFont::CreatePointFont(int pointSizeTenths, const char* faceName)
{
    // 96 dots per inch, 72 points per inch: the cell height of the face.
    const int pixels = static_cast<int>(std::lround(pointSizeTenths / 10.0 * 96.0 / 72.0));
    return CreatePixelFont(std::max(pixels, 1), 400, faceName);
}

std::string GdiCall::ToString() const
{
    std::string s = name + "(";
    for (size_t i = 0; i < args.size(); ++i) {
        if (i) s += ",";
        s += std::to_string(args[i]);
    }
    if (!text.empty() || name == "TextOut") {
        if (!args.empty()) s += ",";
        s += "\"" + text + "\"";
    }
    return s + ")";
}

// ---------------------------------------------------------------- context

CDC::CDC() : m_hDC(this)
{
    m_defaultPen.CreatePen(PS_SOLID, 1, 0);
    m_defaultBrush.CreateSolidBrush(0xFFFFFF);
    m_defaultFont.CreatePixelFont(13);
    m_stockPens[0].CreatePen(PS_SOLID, 1, 0xFFFFFF);
    m_stockPens[1].CreatePen(PS_SOLID, 1, 0);
    m_stockPens[2].CreatePen(PS_NULL, 1, 0);
    m_stockBrushes[0].CreateSolidBrush(0xFFFFFF);
    m_stockBrushes[1].CreateSolidBrush(0);
    m_stockBrushes[2].CreateHollowBrush();
    m_pen = &m_defaultPen;
    m_brush = &m_defaultBrush;
    m_font = &m_defaultFont;
}

CDC::CDC(Image* target)
    : CDC()
{
    Attach(target);
}

CDC::~CDC()
{
    Detach();
}

bool CDC::Attach(Image* target)
{
    if (!target || !target->GetData() || target->GetDataType() != IMG_UINT8 || !target->IsInterleaved() ||
        target->GetChannels() == 2) {
        Logger::log("ERROR CDC::Attach() needs an 8-bit interleaved image of 1, 3 or 4 channels", 1);
        return false;
    }
    RefAdd(target);
    Detach();
    m_target = target;
    m_pixels = Pixels{target->GetData(), target->GetWidth(), target->GetHeight(), target->GetRowByte(),
                      target->GetChannels()};
    return true;
}

bool CDC::AttachPixels(std::shared_ptr<void> owner, unsigned char* data, int width, int height, int rowBytes,
                       int channels)
{
    if (!data || width < 0 || height < 0 || (channels != 1 && channels != 3 && channels != 4) ||
        rowBytes < width * channels) {
        Logger::log("ERROR CDC::AttachPixels() needs 1, 3 or 4 bytes a pixel and full rows", 1);
        return false;
    }
    Detach();
    m_pixelOwner = std::move(owner);
    m_pixels = Pixels{data, width, height, rowBytes, channels};
    return true;
}

void CDC::Detach()
{
    RefRelease(std::exchange(m_target, nullptr));
    m_pixelOwner.reset();
    m_pixels = Pixels{};
    m_hasClip = false;
    m_hasDeviceClip = false;
}

void CDC::Record(const char* name, std::vector<int64_t> args, std::string text)
{
    if (m_recording) m_calls.push_back(GdiCall{name, std::move(args), std::move(text)});
}

CPen* CDC::SelectObject(CPen* pen)
{
    if (!pen || !pen->IsCreated()) return nullptr;
    Record("SelectObject", {pen->GetStyle(), pen->GetWidth(), pen->GetColor()}, "CPen");
    CPen* previous = m_pen;
    m_pen = pen;
    m_penAttr = PenAttr{pen->GetStyle(), pen->GetWidth(), pen->GetColor()};
    return previous;
}

CBrush* CDC::SelectObject(CBrush* brush)
{
    if (!brush || !brush->IsCreated()) return nullptr;
    Record("SelectObject", {brush->IsHollow() ? 1 : 0, brush->GetColor()}, "CBrush");
    CBrush* previous = m_brush;
    m_brush = brush;
    m_brushAttr = BrushAttr{brush->IsHollow(), brush->GetColor()};
    return previous;
}

CFont* CDC::SelectObject(CFont* font)
{
    if (!font || !font->IsCreated()) return nullptr;
    Record("SelectObject", {font->GetHeight(), font->IsBold() ? 1 : 0}, "CFont");
    CFont* previous = m_font;
    m_font = font;
    m_fontHeight = font->GetHeight();
    m_fontBold = font->IsBold();
    return previous;
}

CGdiObject* CDC::SelectStockObject(int index)
{
    switch (index) {
    case WHITE_PEN: return SelectObject(&m_stockPens[0]);
    case BLACK_PEN: return SelectObject(&m_stockPens[1]);
    case NULL_PEN: return SelectObject(&m_stockPens[2]);
    case WHITE_BRUSH: return SelectObject(&m_stockBrushes[0]);
    case BLACK_BRUSH: return SelectObject(&m_stockBrushes[1]);
    case NULL_BRUSH: return SelectObject(&m_stockBrushes[2]);
    default: return nullptr;
    }
}

int CDC::SetROP2(int mode)
{
    if (mode < R2_BLACK || mode > R2_WHITE) return 0;
    Record("SetROP2", {mode});
    return std::exchange(m_rop2, mode);
}

COLORREF CDC::SetTextColor(COLORREF colour)
{
    Record("SetTextColor", {colour});
    return std::exchange(m_textColour, colour & 0xFFFFFF);
}

COLORREF CDC::SetBkColor(COLORREF colour)
{
    Record("SetBkColor", {colour});
    return std::exchange(m_bkColour, colour & 0xFFFFFF);
}

int CDC::SetBkMode(int mode)
{
    if (mode != TRANSPARENT && mode != OPAQUE) return 0;
    Record("SetBkMode", {mode});
    return std::exchange(m_bkMode, mode);
}

POINT CDC::SetViewportOrg(int x, int y)
{
    Record("SetViewportOrg", {x, y});
    return std::exchange(m_viewportOrg, POINT{x, y});
}

POINT CDC::MoveTo(int x, int y)
{
    Record("MoveTo", {x, y});
    return std::exchange(m_position, POINT{x, y});
}

bool CDC::LineTo(int x, int y)
{
    Record("LineTo", {x, y});
    std::vector<Pixel> pixels;
    int step = 0;
    AddLine(pixels, TargetX(m_position.x), TargetY(m_position.y),
            TargetX(x), TargetY(y), step);
    StrokePixels(std::move(pixels));
    m_position = POINT{x, y};
    return true;
}

bool CDC::Polyline(const POINT* points, int count)
{
    if (!points || count < 2) return false;
    std::vector<int64_t> args;
    for (int i = 0; i < count; ++i) {
        args.push_back(points[i].x);
        args.push_back(points[i].y);
    }
    Record("Polyline", std::move(args));
    std::vector<Pixel> pixels;
    int step = 0;
    for (int i = 1; i < count; ++i)
        AddLine(pixels, TargetX(points[i - 1].x), TargetY(points[i - 1].y),
                TargetX(points[i].x), TargetY(points[i].y), step);
    StrokePixels(std::move(pixels));
    return true;
}

bool CDC::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    Record("Arc", {x1, y1, x2, y2, x3, y3, x4, y4});
    // The box in target pixels (a mapping may flip it).
    int64_t X1 = TargetX(x1), Y1 = TargetY(y1), X2 = TargetX(x2), Y2 = TargetY(y2);
    if (X2 < X1) std::swap(X1, X2);
    if (Y2 < Y1) std::swap(Y1, Y2);
    if (X2 == X1 || Y2 == Y1) return true;
    const double cx = (double(X1) + X2 - 1) / 2.0;
    const double cy = (double(Y1) + Y2 - 1) / 2.0;
    const double start = ScreenAngle(double(TargetX(x3)) - cx, double(TargetY(y3)) - cy);
    const double end = ScreenAngle(double(TargetX(x4)) - cx, double(TargetY(y4)) - cy);
    std::vector<Pixel> pixels;
    AddEllipseOutline(pixels, cx, cy, (double(X2) - X1 - 1) / 2.0, (double(Y2) - Y1 - 1) / 2.0, start != end, start, end);
    StrokePixels(std::move(pixels));
    return true;
}

bool CDC::Ellipse(int x1, int y1, int x2, int y2)
{
    Record("Ellipse", {x1, y1, x2, y2});
    DrawEllipseFigure(x1, y1, x2, y2);
    return true;
}

void CDC::DrawEllipseFigure(int lx1, int ly1, int lx2, int ly2)
{
    int64_t x1 = TargetX(lx1), y1 = TargetY(ly1), x2 = TargetX(lx2), y2 = TargetY(ly2);
    if (x2 < x1) std::swap(x1, x2);
    if (y2 < y1) std::swap(y1, y2);
    if (x2 == x1 || y2 == y1) return;
    const double cx = (double(x1) + x2 - 1) / 2.0;
    const double cy = (double(y1) + y2 - 1) / 2.0;
    const double a = (double(x2) - x1 - 1) / 2.0;
    const double b = (double(y2) - y1 - 1) / 2.0;
    std::vector<Pixel> outline;
    AddEllipseOutline(outline, cx, cy, a, b, false, 0, 0);
    if (!m_brushAttr.hollow && a > 0 && b > 0) {
        std::set<std::pair<int, int>> onOutline;
        for (const Pixel& p : outline) onOutline.insert({p.x, p.y});
        std::vector<POINT> inside;
        const int yLo = static_cast<int>(std::max(cy - b, 0.0)), yHi = static_cast<int>(std::min(cy + b, double(m_pixels.data ? m_pixels.height : 0)));
        const int xLo = static_cast<int>(std::max(cx - a, 0.0)), xHi = static_cast<int>(std::min(cx + a, double(m_pixels.data ? m_pixels.width : 0)));
        for (int y = yLo; y <= yHi; ++y) {
            for (int x = xLo; x <= xHi; ++x) {
                const double u = (x - cx) / a;
                const double v = (y - cy) / b;
                if (u * u + v * v >= 1.0) continue;
                if (!onOutline.count({x, y})) inside.push_back(POINT{x, y});
            }
        }
        if (m_penAttr.style == PS_NULL) {
            for (const Pixel& p : outline) inside.push_back(POINT{p.x, p.y});
        }
        FillPixels(inside, m_brushAttr.colour);
    }
    StrokePixels(std::move(outline));
}

bool CDC::Rectangle(int x1, int y1, int x2, int y2)
{
    Record("Rectangle", {x1, y1, x2, y2});
    if (!m_pixels.data) return true;
    // Device coordinates, pinned a little outside the target so that the
    // outline of a huge box still runs along the right edges.
    const int64_t pinLo = -4 - m_penAttr.width;
    const int64_t pinX = m_pixels.width + 4 + m_penAttr.width;
    const int64_t pinY = m_pixels.height + 4 + m_penAttr.width;
    x1 = static_cast<int>(std::clamp<int64_t>(TargetX(x1), pinLo, pinX));
    x2 = static_cast<int>(std::clamp<int64_t>(TargetX(x2), pinLo, pinX));
    y1 = static_cast<int>(std::clamp<int64_t>(TargetY(y1), pinLo, pinY));
    y2 = static_cast<int>(std::clamp<int64_t>(TargetY(y2), pinLo, pinY));
    if (x2 < x1) std::swap(x1, x2);
    if (y2 < y1) std::swap(y1, y2);
    if (x2 - x1 < 1 || y2 - y1 < 1) return true;
    const bool nullPen = m_penAttr.style == PS_NULL;
    if (!m_brushAttr.hollow) {
        // Without a pen the platform fills one pixel less to the right and
        // below; with one, the fill stays inside the outline.
        const int fx0 = nullPen ? x1 : x1 + 1;
        const int fy0 = nullPen ? y1 : y1 + 1;
        const int fx1 = x2 - 2;
        const int fy1 = y2 - 2;
        std::vector<POINT> inside;
        for (int y = fy0; y <= fy1; ++y)
            for (int x = fx0; x <= fx1; ++x) inside.push_back(POINT{x, y});
        FillPixels(inside, m_brushAttr.colour);
    }
    if (!nullPen) {
        std::vector<Pixel> outline;
        int step = 0;
        const int r = x2 - 1;
        const int b = y2 - 1;
        if (r == x1 || b == y1) {
            // A one-pixel-thin box is a single run.
            AddLine(outline, x1, y1, r, b, step);
            outline.push_back(Pixel{r, b, StyleOn(step)});
        } else {
            AddLine(outline, x1, y1, r, y1, step);
            AddLine(outline, r, y1, r, b, step);
            AddLine(outline, r, b, x1, b, step);
            AddLine(outline, x1, b, x1, y1, step);
        }
        StrokePixels(std::move(outline));
    }
    return true;
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF colour)
{
    Record("FillSolidRect", {x, y, cx, cy, colour});
    if (!m_pixels.data) return;
    int64_t xa = TargetX(x), xb = TargetX(int64_t{x} + cx), ya = TargetY(y), yb = TargetY(int64_t{y} + cy);
    if (xb < xa) std::swap(xa, xb);
    if (yb < ya) std::swap(ya, yb);
    const int64_t x0 = std::max<int64_t>(0, xa);
    const int64_t y0 = std::max<int64_t>(0, ya);
    const int64_t x1 = std::min<int64_t>(m_pixels.width, xb);
    const int64_t y1 = std::min<int64_t>(m_pixels.height, yb);
    for (int64_t j = y0; j < y1; ++j)
        for (int64_t i = x0; i < x1; ++i) {
            unsigned char* p = PixelAddress(i, j);
            if (!p) continue;
            if (m_pixels.channels == 1) {
                *p = GreyOf(colour);
            } else {
                p[0] = GetBValue(colour);
                p[1] = GetGValue(colour);
                p[2] = GetRValue(colour);
            }
        }
}

COLORREF CDC::SetPixel(int x, int y, COLORREF colour)
{
    Record("SetPixel", {x, y, colour});
    unsigned char* p = PixelAddress(TargetX(x), TargetY(y));
    if (!p) return CLR_INVALID;
    if (m_pixels.channels == 1) {
        *p = GreyOf(colour);
        return RGB(*p, *p, *p);
    }
    p[0] = GetBValue(colour);
    p[1] = GetGValue(colour);
    p[2] = GetRValue(colour);
    return colour & 0xFFFFFF;
}

COLORREF CDC::GetPixel(int x, int y) const
{
    COLORREF colour = CLR_INVALID;
    ReadTarget(TargetX(x), TargetY(y), colour);
    return colour;
}

// ------------------------------------------------------------ rasterising

unsigned char* CDC::PixelAddress(int64_t x, int64_t y) const
{
    if (!m_pixels.data || x < 0 || y < 0 || x >= m_pixels.width || y >= m_pixels.height) return nullptr;
    // Writes stay inside the clip box.
    if (m_hasClip && (x < m_clip.left || x >= m_clip.right || y < m_clip.top || y >= m_clip.bottom)) return nullptr;
    return m_pixels.data + static_cast<size_t>(y) * static_cast<size_t>(m_pixels.rowBytes) +
           static_cast<size_t>(x) * static_cast<size_t>(m_pixels.channels);
}

bool CDC::StyleOn(int step) const
{
    const std::vector<int>& pattern = StylePattern(m_penAttr.width > 1 ? PS_SOLID : m_penAttr.style);
    if (pattern.empty()) return true;
    int period = 0;
    for (int n : pattern) period += n;
    int pos = step % period;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pos < pattern[i]) return i % 2 == 0;
        pos -= pattern[i];
    }
    return true;
}

// The pixels of the line from (x0, y0) towards (x1, y1), the end point
// excluded: one pixel per step along the major axis, the minor coordinate
// rounded half up from the exact line (what Bresenham's walk gives). Only
// the steps that can land on the target are produced, so far-away
// coordinates cost nothing; `styleStep` still counts every step.
void CDC::AddLine(std::vector<Pixel>& out, int64_t x0, int64_t y0, int64_t x1, int64_t y1, int& styleStep) const
{
    const int64_t dx = x1 - x0;
    const int64_t dy = y1 - y0;
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const int64_t steps = xMajor ? std::abs(dx) : std::abs(dy);
    const int64_t major = xMajor ? dx : dy;
    const int64_t minor = xMajor ? dy : dx;
    const int64_t majorStart = xMajor ? x0 : y0;
    const int64_t minorStart = xMajor ? y0 : x0;
    const int64_t dir = major >= 0 ? 1 : -1;
    const int base = styleStep;
    styleStep += static_cast<int>(std::min<int64_t>(steps, INT32_MAX / 2));
    if (steps == 0 || !m_pixels.data) return;

    // Steps whose major coordinate lies on the target (with a margin for
    // wide pens).
    const int64_t margin = m_penAttr.width;
    const int64_t limit = (xMajor ? m_pixels.width : m_pixels.height) + margin;
    int64_t first = 0, last = steps - 1;
    if (dir > 0) {
        first = std::max<int64_t>(first, -margin - majorStart);
        last = std::min<int64_t>(last, limit - majorStart);
    } else {
        first = std::max<int64_t>(first, majorStart - limit);
        last = std::min<int64_t>(last, majorStart + margin);
    }
    const int64_t minorLimit = (xMajor ? m_pixels.height : m_pixels.width) + margin;
    const int64_t absMajor = std::abs(major);
    for (int64_t i = first; i <= last; ++i) {
        // minor offset = round(i * minor / |major|), half up, in exact integers.
        const int64_t num = 2 * i * minor + absMajor;
        const int64_t den = 2 * absMajor;
        const int64_t q = num >= 0 ? num / den : -((-num + den - 1) / den);
        const int64_t m = minorStart + q;
        if (m < -margin || m > minorLimit) continue;
        const int64_t a = majorStart + dir * i;
        const int px = static_cast<int>(xMajor ? a : m);
        const int py = static_cast<int>(xMajor ? m : a);
        out.push_back(Pixel{px, py, StyleOn(static_cast<int>((base + i) % (1 << 30)))});
    }
}

// Outline pixels of the ellipse with centre (cx, cy) and half axes a, b,
// found column by column and row by row so that the outline has no gaps,
// then walked in screen angle order from `startAngle` so that a styled pen
// runs along it. A partial outline keeps the angles in [start, end).
void CDC::AddEllipseOutline(std::vector<Pixel>& out, double cx, double cy, double a, double b, bool partial,
                            double startAngle, double endAngle) const
{
    std::vector<POINT> points;
    if (!m_pixels.data) return;
    if (a <= 0 || b <= 0) {
        // A degenerate box is a line, clipped like the rest.
        const int w = m_pixels.width, h = m_pixels.height;
        const int xa = std::max(RoundHalfUp(cx - a), -1), xb = std::min(RoundHalfUp(cx + a), w);
        const int ya = std::max(RoundHalfUp(cy - b), -1), yb = std::min(RoundHalfUp(cy + b), h);
        for (int y = ya; y <= yb; ++y)
            for (int x = xa; x <= xb; ++x) points.push_back(POINT{x, y});
    } else {
        const double margin = m_penAttr.width + 1.0;
        const double xLo = std::max(std::ceil(cx - a), -margin);
        const double xHi = std::min(std::floor(cx + a), m_pixels.width + margin);
        const double yLo = std::max(std::ceil(cy - b), -margin);
        const double yHi = std::min(std::floor(cy + b), m_pixels.height + margin);
        for (int x = static_cast<int>(xLo); x <= static_cast<int>(xHi); ++x) {
            const double t = (x - cx) / a;
            const double d = b * std::sqrt(std::max(0.0, 1.0 - t * t));
            points.push_back(POINT{x, RoundHalfUp(cy + d)});
            points.push_back(POINT{x, RoundHalfUp(cy - d)});
        }
        for (int y = static_cast<int>(yLo); y <= static_cast<int>(yHi); ++y) {
            const double t = (y - cy) / b;
            const double d = a * std::sqrt(std::max(0.0, 1.0 - t * t));
            points.push_back(POINT{RoundHalfUp(cx + d), y});
            points.push_back(POINT{RoundHalfUp(cx - d), y});
        }
    }
    struct Walk {
        double angle;
        POINT p;
    };
    std::vector<Walk> walk;
    walk.reserve(points.size());
    const double span = AngleFrom(startAngle, endAngle);
    for (const POINT& p : points) {
        const double angle = (p.x == cx && p.y == cy) ? 0.0 : AngleFrom(startAngle, ScreenAngle(p.x - cx, p.y - cy));
        if (partial && angle >= span) continue;
        walk.push_back(Walk{angle, p});
    }
    std::sort(walk.begin(), walk.end(), [](const Walk& l, const Walk& r) {
        if (l.angle != r.angle) return l.angle < r.angle;
        return l.p.y != r.p.y ? l.p.y < r.p.y : l.p.x < r.p.x;
    });
    walk.erase(std::unique(walk.begin(), walk.end(),
                           [](const Walk& l, const Walk& r) { return l.p.x == r.p.x && l.p.y == r.p.y; }),
               walk.end());
    int step = 0;
    for (const Walk& w : walk) out.push_back(Pixel{w.p.x, w.p.y, StyleOn(step++)});
}

// Applies one figure's pixels once each (a pixel reached twice in one call
// still changes once), widening them for pens wider than one pixel.
void CDC::StrokePixels(std::vector<Pixel> pixels)
{
    if (!m_pixels.data || m_penAttr.style == PS_NULL) return;
    if (m_penAttr.width > 1) {
        const int w = m_penAttr.width;
        const int lo = -((w - 1) / 2);
        const int hi = w / 2;
        const double c = (w % 2 == 0) ? 0.5 : 0.0;
        const double r2 = (w % 2 == 0) ? (w / 2.0) * (w / 2.0) : (hi * hi + hi);
        std::vector<Pixel> wide;
        for (const Pixel& p : pixels)
            for (int dy = lo; dy <= hi; ++dy)
                for (int dx = lo; dx <= hi; ++dx)
                    if ((dx - c) * (dx - c) + (dy - c) * (dy - c) <= r2) wide.push_back(Pixel{p.x + dx, p.y + dy, true});
        pixels = std::move(wide);
    }
    // "On" wins where a pixel is both a dash and a gap.
    std::sort(pixels.begin(), pixels.end(), [](const Pixel& l, const Pixel& r) {
        if (l.y != r.y) return l.y < r.y;
        if (l.x != r.x) return l.x < r.x;
        return l.on > r.on;
    });
    pixels.erase(std::unique(pixels.begin(), pixels.end(),
                             [](const Pixel& l, const Pixel& r) { return l.x == r.x && l.y == r.y; }),
                 pixels.end());
    for (const Pixel& p : pixels) {
        if (p.on)
            ApplyRop(p.x, p.y, m_penAttr.colour);
        else if (m_bkMode == OPAQUE)
            ApplyRop(p.x, p.y, m_bkColour);
    }
}

void CDC::FillPixels(const std::vector<POINT>& pixels, COLORREF colour)
{
    if (!m_pixels.data) return;
    for (const POINT& p : pixels) ApplyRop(p.x, p.y, colour);
}

void CDC::ApplyRop(int x, int y, COLORREF colour)
{
    unsigned char* p = PixelAddress(x, y);
    if (!p) return;
    const int table = m_rop2 - 1;
    if (m_pixels.channels == 1) {
        *p = Rop(table, GreyOf(colour), *p);
        return;
    }
    p[0] = Rop(table, GetBValue(colour), p[0]);
    p[1] = Rop(table, GetGValue(colour), p[1]);
    p[2] = Rop(table, GetRValue(colour), p[2]);
}

// ------------------------------------------------------------------- text

std::string CDC::FindFontFile(bool bold)
{
    return GdiFont::FindFontFile(bold);
}

bool CDC::TextOut(int x, int y, const char* text, int length)
{
    const std::string s = text && length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
    Record("TextOut", {x, y}, s);
    if (!m_pixels.data || s.empty()) return true;
    GdiFont::Layout layout;
    if (!GdiFont::Render(s, m_fontHeight, m_fontBold, &layout)) {
        Logger::log("ERROR CDC::TextOut() no font file: install fonts-dejavu-core", 1);
        return false;
    }
    const int64_t ox = TargetX(x);
    const int64_t oy = TargetY(y);
    if (m_bkMode == OPAQUE) {
        for (int j = 0; j < layout.height; ++j)
            for (int i = 0; i < layout.width; ++i) {
                unsigned char* p = PixelAddress(ox + i, oy + j);
                if (!p) continue;
                if (m_pixels.channels == 1) {
                    *p = GreyOf(m_bkColour);
                } else {
                    p[0] = GetBValue(m_bkColour);
                    p[1] = GetGValue(m_bkColour);
                    p[2] = GetRValue(m_bkColour);
                }
            }
    }
    // Coverage blends the text colour over what is there.
    const unsigned char colour[3] = {GetBValue(m_textColour), GetGValue(m_textColour), GetRValue(m_textColour)};
    const unsigned char grey = GreyOf(m_textColour);
    for (int j = 0; j < layout.height; ++j)
        for (int i = 0; i < layout.width; ++i) {
            const unsigned cover = layout.coverage[static_cast<size_t>(j) * layout.width + i];
            if (!cover) continue;
            unsigned char* p = PixelAddress(ox + i, oy + j);
            if (!p) continue;
            if (m_pixels.channels == 1) {
                *p = static_cast<unsigned char>((*p * (255 - cover) + grey * cover + 127) / 255);
            } else {
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<unsigned char>((p[c] * (255 - cover) + colour[c] * cover + 127) / 255);
            }
        }
    return true;
}

SIZE CDC::GetTextExtent(const std::string& text) const
{
    GdiFont::Layout layout;
    if (!GdiFont::Render(text, m_fontHeight, m_fontBold, &layout)) return SIZE{0, 0};
    return SIZE{layout.width, layout.height};
}

bool CDC::GetTextMetrics(TEXTMETRIC* metrics) const
{
    if (!metrics) return false;
    GdiFont::Metrics m;
    if (!GdiFont::GetMetrics(m_fontHeight, m_fontBold, &m)) return false;
    metrics->tmHeight = m.ascent + m.descent;
    metrics->tmAscent = m.ascent;
    metrics->tmDescent = m.descent;
    metrics->tmAveCharWidth = m.averageWidth;
    metrics->tmMaxCharWidth = m.maxWidth;
    return true;
}

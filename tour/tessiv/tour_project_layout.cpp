// TourProject: the page layout (where the tour map, title, control box and
// vista strip lie on the tour page) and the vista's viewer field of view.
// Page coordinates are pixels from the page's top-left corner.
#include "tour/tessiv/tour_project.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDegreesPerRadian = 57.29578;
constexpr double kDegreesPerHalfRadian = 114.59156;  // for the doubled half angle

// The stored fraction of the free space as pixels. Rounded to the nearest
// pixel so that a position stored as a fraction gives the same pixel again.
int FromFraction(float fraction, int freeSpace)
{
    return static_cast<int>(std::floor(static_cast<double>(fraction) * freeSpace + 0.5));
}

float ToFraction(int position, int freeSpace)
{
    return freeSpace > 0 ? static_cast<float>(position) / static_cast<float>(freeSpace) : 0.0f;
}

// Truncated toward zero, as the fields of view compare.
int64_t Trunc(double v) { return static_cast<int64_t>(v); }

}  // namespace

void TourProject::SetControlBoxPosition(float x, float y)
{
    m_controlBoxPosition[0] = x;
    m_controlBoxPosition[1] = y;
}

void TourProject::GetControlBoxPosition(float& x, float& y) const
{
    x = m_controlBoxPosition[0];
    y = m_controlBoxPosition[1];
}

void TourProject::SetStripPosition(float x, float y)
{
    m_stripPosition[0] = x;
    m_stripPosition[1] = y;
}

void TourProject::GetStripPosition(float& x, float& y) const
{
    x = m_stripPosition[0];
    y = m_stripPosition[1];
}

void TourProject::FitTourMapBox(RECT& box)
{
    // The box keeps inside the page: first it moves back by what sticks out;
    // what still sticks out once it reaches the page edge is cut off.
    const int W = m_pageWidth, H = m_pageHeight;
    int x = m_tourMap.GetX(), y = m_tourMap.GetY();
    int width = m_tourMap.GetWidth(), height = m_tourMap.GetHeight();
    const int overRight = x + width - W;
    if (overRight > 0) {
        if (overRight > x) {
            width -= overRight - x;
            x = 0;
        } else {
            x -= overRight;
        }
    }
    const int overBottom = y + height - H;
    if (overBottom > 0) {
        if (overBottom > y) {
            height -= overBottom - y;
            y = 0;
        } else {
            y -= overBottom;
        }
    }
    m_tourMap.PlaceBox(x, y, width, height);
    box = RECT{x, y, x + width, y + height};
}

void TourProject::ComputeLayout(RECT* copy, bool copyAsEdges, bool withStrip)
{
    const int W = m_pageWidth, H = m_pageHeight;
    for (RECT& box : m_boxes) box = RECT{0, 0, W, H};

    // Tour map.
    RECT& map = m_boxes[kTourMapBox];
    if (m_tourMap.IsShown()) {
        FitTourMapBox(map);
    } else {
        map.right = map.bottom = 0;
    }

    // Title: its height from the font size in points (28 without a size).
    RECT& title = m_boxes[kTitleBox];
    if (IsTitleShown()) {
        const int points = m_title.GetSize() != 0 ? m_title.GetSize() / 20 : 28;
        const int height = points * 3 / 2 + 2;
        const int width = std::min(200, W / 2);
        title.left = (W - width) / 2;
        title.right = title.left + width;
        title.top = H / 4;
        title.bottom = title.top + height;
    } else {
        title.right = title.bottom = 0;
    }

    // Control box: at its stored place, else near the top-right corner.
    RECT& control = m_boxes[kControlBox];
    const int freeX = W - kControlBoxWidth, freeY = H - kControlBoxHeight;
    if (m_controlBoxPosition[0] < 0.0f || m_controlBoxPosition[1] < 0.0f) {
        control.left = W - 130;
        control.top = 10;
        m_controlBoxPosition[0] = ToFraction(control.left, freeX);
        m_controlBoxPosition[1] = ToFraction(control.top, freeY);
    } else {
        control.left = FromFraction(m_controlBoxPosition[0], freeX);
        control.top = FromFraction(m_controlBoxPosition[1], freeY);
    }
    control.right = control.left + kControlBoxWidth;
    control.bottom = control.top + kControlBoxHeight;

    // Vista strip: 7/10 of the page wide, as many thumbnail rows high as
    // its setting (or its thumbnails, with automatic rows) ask.
    RECT& strip = m_boxes[kStripBox];
    if (m_stripEnabled && withStrip) {
        const int width = W * 7 / 10;
        constexpr int kItemWidth = 80 + 8;
        if (m_automaticRows) {
            const int64_t need = static_cast<int64_t>(GetVistaCount()) * kItemWidth;
            const int64_t rows = width > 0 ? (need + width - 1) / width : 1;
            m_thumbnailRows = static_cast<int>(std::clamp<int64_t>(rows, 1, 1000));
        } else {
            m_thumbnailRows = static_cast<int>(std::clamp(m_thumbnailRowsSetting, 0.0f, 1000.0f));
        }
        const int height = (GetThumbnailHeight() + 27) * m_thumbnailRows + 8;
        if (width <= 0 || height <= 0) {
            strip.right = strip.bottom = 0;
        } else {
            if (m_stripPosition[0] < 0.0f || m_stripPosition[1] < 0.0f) {
                strip.left = 10;
                strip.top = H - 10 - height;
                m_stripPosition[0] = ToFraction(strip.left, W - width);
                m_stripPosition[1] = ToFraction(strip.top, H - height);
            } else {
                strip.left = FromFraction(m_stripPosition[0], W - width);
                strip.top = FromFraction(m_stripPosition[1], H - height);
            }
            strip.right = strip.left + width;
            strip.bottom = strip.top + height;
        }
    } else {
        m_thumbnailRows = 0;
        strip.right = strip.bottom = 0;
    }

    if (copy && copyAsEdges) std::copy(std::begin(m_boxes), std::end(m_boxes), copy);
    for (RECT& box : m_boxes) {
        box.right -= box.left;
        box.bottom -= box.top;
    }
    if (copy && !copyAsEdges) std::copy(std::begin(m_boxes), std::end(m_boxes), copy);
}

RECT TourProject::GetLayoutBox(int box) const
{
    return box >= 0 && box < kLayoutBoxCount ? m_boxes[box] : RECT{};
}

void TourProject::GetTourMapBox(int& x, int& y, int& width, int& height)
{
    if (m_tourMap.IsShown()) {
        RECT box;
        FitTourMapBox(box);
    }
    x = m_tourMap.GetX();
    y = m_tourMap.GetY();
    width = m_tourMap.GetWidth();
    height = m_tourMap.GetHeight();
}

void TourProject::GetViewerFov(const Vista* vista, float& horizontal, float& vertical) const
{
    double h = m_fieldOfView;
    double v = 0.0;
    const double pw = m_pageWidth, ph = m_pageHeight;
    if (!vista || pw <= 0 || ph <= 0) {
        horizontal = static_cast<float>(h);
        vertical = pw > 0 && ph > 0 ? static_cast<float>(kDegreesPerHalfRadian *
                                                        std::atan(ph / pw * std::tan(h / 2 / kDegreesPerRadian)))
                                    : static_cast<float>(h);
        return;
    }
    const double w360 = vista->GetEquatorWidth();
    const double w = vista->GetWidth(), hgt = vista->GetHeight();
    // A picture narrower (lower) than the view limits the angle; without an
    // equator width the picture is not known and nothing is limited.
    const bool known = w360 > 0;
    if (vista->IsFlatView()) {
        if (known && Trunc(w360 * h / 360) > Trunc(hgt)) h = hgt * 360 / w360;
        v = kDegreesPerHalfRadian * std::atan(pw / ph * std::tan(h / 2 / kDegreesPerRadian));
        if (known && Trunc(w360 * v / 360) > Trunc(w)) {
            v = w * 360 / w360;
            h = kDegreesPerHalfRadian * std::atan(ph / pw * std::tan(v / 2 / kDegreesPerRadian));
        }
    } else {
        if (known && Trunc(w360 * h / 360) > Trunc(w)) h = w * 360 / w360;
        v = kDegreesPerHalfRadian * std::atan(ph / pw * std::tan(h / 2 / kDegreesPerRadian));
        if (known && Trunc(w360 * v / 360) > Trunc(hgt)) {
            v = hgt * 360 / w360;
            h = kDegreesPerHalfRadian * std::atan(pw / ph * std::tan(v / 2 / kDegreesPerRadian));
        }
    }
    horizontal = static_cast<float>(h);
    vertical = static_cast<float>(v);
}

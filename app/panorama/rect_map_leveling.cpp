// Horizontal rolling of a full-circle preview and the leveling ruler: the
// rotation a drag or an arrow key builds, the temporary rotated map the
// preview shows meanwhile, and the ruler's geometry, hit test and drawing.
// Angles in radians; rotation vectors are axis times angle in the I3R frame
// (X forward, Y left, Z up); pixels are screen-bitmap pixels unless named
// view pixels (screen-bitmap pixels times the zoom).
#include "app/panorama/rect_map_view.h"

#include "app/matching/utilities.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/system.h"
#include "platform/xformkit/transform_euler.h"
#include "worldmap/world_map.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr double kTwoPi = 6.283185307179586;
// One third of a degree: the arrow keys' rotation step.
constexpr float kKeyRotation = 0.0058177f;
constexpr int kNoRotateRadius = 6;
constexpr UINT kRulerCursors[3] = {173, 239, 168};

}  // namespace

// ---- Rolling ---------------------------------------------------------------------------

void CRectMapView::RollScreen(int n)
{
    Image* screen = GetScreen();
    if (!screen || !screen->GetData() || screen->GetWidth() <= 0) return;
    const int w = screen->GetWidth();
    const int c = screen->GetChannels();
    const int shift = ((n % w) + w) % w;
    if (shift == 0) return;
    std::vector<uint8_t> row(static_cast<size_t>(w) * c);
    // Positive n moves the picture left: new column j shows old column j + n.
    for (int y = 0; y < screen->GetHeight(); ++y) {
        uint8_t* line = screen->GetData() + static_cast<size_t>(y) * screen->GetRowByte();
        std::memcpy(row.data(), line, row.size());
        std::memcpy(line, row.data() + static_cast<size_t>(shift) * c, static_cast<size_t>(w - shift) * c);
        std::memcpy(line + static_cast<size_t>(w - shift) * c, row.data(), static_cast<size_t>(shift) * c);
    }
}

void CRectMapView::RollButtonDown()
{
    Utilities::RotVecToMatrix(m_levelRotation, m_levelMatrix);
    std::copy(std::begin(m_levelMatrix), std::end(m_levelMatrix), m_savedLevelMatrix);
    float uvr[3] = {0, 0, 0};
    CTransformEuler::I3RtoUVR(m_levelRotation, uvr);
    const int W = m_worldMap ? m_worldMap->GetWidth() : 0;
    m_rollOffset = static_cast<int32_t>(std::lround(uvr[0] * W / kTwoPi));
    m_rolling = true;
}

void CRectMapView::RollMove(int dx)
{
    const int W = m_worldMap ? m_worldMap->GetWidth() : 0;
    Image* screen = GetScreen();
    if (dx == 0 || W <= 0 || !screen) return;
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    // A turn about the vertical axis whose pan angle follows the drag.
    const float angle = static_cast<float>(dx / zx * kTwoPi / W);
    const float step[3] = {0.0f, 0.0f, -angle};
    float stepMatrix[9];
    Utilities::RotVecToMatrix(step, stepMatrix);
    Utilities::MulMatrix3(m_savedLevelMatrix, stepMatrix, m_levelMatrix);
    std::copy(std::begin(m_levelMatrix), std::end(m_levelMatrix), m_savedLevelMatrix);
    float vector[3], uvr[3];
    Utilities::MatrixToRotVec(m_levelMatrix, vector);
    CTransformEuler::I3RtoUVR(vector, uvr);
    const int pan = static_cast<int>(std::lround(uvr[0] * W / kTwoPi));
    const int n = pan - m_rollOffset;
    if (n == 0) return;
    RollScreen(n);
    const int w = screen->GetWidth();
    m_rollOffset += n;
    while (m_rollOffset > w / 2) m_rollOffset -= w;
    while (m_rollOffset < -w / 2) m_rollOffset += w;
    m_toolCursor = kRollOffCursor;
    if (m_hWnd) {
        Invalidate(FALSE);
        UpdateWindow();
    }
}

// ---- Leveling --------------------------------------------------------------------------

CRectMapView::RulerGeometry CRectMapView::GetRulerGeometry() const
{
    RulerGeometry g{0, 0, 0, 1, 0};
    Image* screen = GetScreen();
    if (!screen || screen->GetWidth() <= 0) return g;
    const int w = screen->GetWidth(), h = screen->GetHeight();
    // The step is at least one pixel, so a map narrower than 16 samples
    // neither divides by zero nor loops for ever.
    int step = std::max(m_gridStep, 1);
    int ticks = 1;
    if (w / step < 4) {
        step = std::max(step / 2, 1);
        ticks = w / step < 4 ? 0 : 2;
    }
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    auto sx = [zx](int v) { return static_cast<int>(v * zx + 0.5f); };
    auto sy = [zy](int v) { return static_cast<int>(v * zy + 0.5f); };
    g.centreX = sx(w / 2 + m_rulerOffset);
    g.centreY = sy(m_equatorRow);
    g.halfHeight = sy(h * 9 / 20);
    g.step = std::max(sx(step), 1);
    g.ticks = ticks;
    return g;
}

int CRectMapView::RulerHitTest(int x, int y) const
{
    const RulerGeometry g = GetRulerGeometry();
    if (std::abs(x - g.centreX) <= 10 && std::abs(y - g.centreY) <= 10) return 2;
    if (std::abs(x - g.centreX) <= 10 && std::abs(y - g.centreY) <= g.halfHeight) return 1;
    return 0;
}

bool CRectMapView::EnsureLevelingMap()
{
    if (m_levelingMap) return true;
    if (!m_worldMap) return false;
    auto* map = new WorldMap(m_worldMap->GetWidth(), nullptr, 0, m_worldMap->GetChannels());
    if (map->GetHeight() <= 0) {
        Logger::log("ERROR CRectMapView::LevelStep cannot make a %d-wide map", 1, m_worldMap->GetWidth());
        map->Release();
        return false;
    }
    m_levelingMap = map;
    return true;
}

void CRectMapView::LevelStep(const float step[3])
{
    if (!step || (step[0] == 0.0f && step[1] == 0.0f && step[2] == 0.0f)) return;
    float stepMatrix[9];
    Utilities::RotVecToMatrix(step, stepMatrix);
    Utilities::MulMatrix3(m_savedLevelMatrix, stepMatrix, m_levelMatrix);
    std::copy(std::begin(m_levelMatrix), std::end(m_levelMatrix), m_savedLevelMatrix);
    if (!EnsureLevelingMap()) return;
    Utilities::RotateWorldMap(m_worldMap, m_levelingMap, m_levelMatrix);
    BuildScreenBitmap(m_levelingMap);
    UpdateScrollSizes(false);
    if (m_hWnd) {
        Invalidate(FALSE);
        UpdateWindow();
    }
}

void CRectMapView::FinishLevelStep()
{
    Utilities::MatrixToRotVec(m_levelMatrix, m_levelRotation);
    if (m_levelingMap) m_levelingMap->Release();
    m_levelingMap = nullptr;
}

void CRectMapView::LevelButtonDown(int x, int y)
{
    Utilities::RotVecToMatrix(m_levelRotation, m_levelMatrix);
    std::copy(std::begin(m_levelMatrix), std::end(m_levelMatrix), m_savedLevelMatrix);
    const int hit = RulerHitTest(x, y);
    m_rulerDrag = hit == 2 ? 1 : 0;
    m_tiltDrag = hit == 1 ? 1 : 0;
    m_rulerDragStart = m_rulerOffset;
    m_levelDrag = true;
    m_levelLastX = x;
    m_levelLastY = y;
}

void CRectMapView::LevelMove(int x, int y)
{
    const bool button = m_levelDrag && (GetStateFlags() & kMouseDrag) != 0;
    if (!button) {
        m_toolCursor = kRulerCursors[RulerHitTest(x, y)];
        return;
    }
    const int W = m_worldMap ? m_worldMap->GetWidth() : 0;
    Image* screen = GetScreen();
    if (W <= 0 || !screen) return;
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    const int lastX = m_levelLastX, lastY = m_levelLastY;
    m_levelLastX = x;
    m_levelLastY = y;
    if (m_rulerDrag) {
        int mx = x, my = y;
        MouseMove(mx, my);
        int dx = 0, dy = 0;
        GetMouseMotion(dx, dy);
        const int limit = screen->GetWidth() / 2 - 10;
        m_rulerOffset = std::clamp(m_rulerDragStart + static_cast<int>(dx / zx), -std::max(limit, 0), std::max(limit, 0));
        if (m_hWnd) {
            Invalidate(FALSE);
            UpdateWindow();
        }
        return;
    }
    const double azimuth = (m_rulerOffset - m_columnShift) * kTwoPi / W;
    if (m_tiltDrag) {
        const double dy = (lastY - y) / zy;
        if (dy == 0) return;
        const double angle = dy * kTwoPi / W;
        const float step[3] = {static_cast<float>(-std::sin(azimuth) * angle),
                               static_cast<float>(-std::cos(azimuth) * angle), 0.0f};
        LevelStep(step);
        return;
    }
    const RulerGeometry g = GetRulerGeometry();
    auto nearCentre = [&g](int px, int py) {
        return (px - g.centreX) * (px - g.centreX) + (py - g.centreY) * (py - g.centreY) <=
               kNoRotateRadius * kNoRotateRadius;
    };
    if (nearCentre(lastX, lastY) || nearCentre(x, y)) {
        m_toolCursor = kNoRotateCursor;
        return;
    }
    // The signed angle swept about the ruler centre (screen y downwards).
    const double ax = lastX - g.centreX, ay = lastY - g.centreY;
    const double bx = x - g.centreX, by = y - g.centreY;
    const double swept = std::atan2(ax * by - ay * bx, ax * bx + ay * by);
    const double a = swept * 0.2;
    if (a == 0) return;
    const float step[3] = {static_cast<float>(std::cos(azimuth) * -a), static_cast<float>(-std::sin(azimuth) * -a),
                           0.0f};
    LevelStep(step);
}

void CRectMapView::LevelButtonUp()
{
    if (!m_levelDrag) return;
    m_levelDrag = false;
    m_rulerDrag = 0;
    m_tiltDrag = 0;
    FinishLevelStep();
}

void CRectMapView::OnKeyDown(UINT ch, UINT repeat, UINT flags)
{
    const int W = m_worldMap ? m_worldMap->GetWidth() : 0;
    if (!(m_mode & levelTool) || IsFinal() || m_zoomDialog || W <= 0) {
        CScrollView::OnKeyDown(ch, repeat, flags);
        return;
    }
    const double azimuth = (m_rulerOffset - m_columnShift) * kTwoPi / W;
    float step[3] = {0, 0, 0};
    if (ch == VK_LEFT || ch == VK_RIGHT) {
        const double a = ch == VK_LEFT ? -kKeyRotation : kKeyRotation;
        step[0] = static_cast<float>(std::cos(azimuth) * -a);
        step[1] = static_cast<float>(-std::sin(azimuth) * -a);
    } else if (ch == VK_UP || ch == VK_DOWN) {
        const double angle = (ch == VK_UP ? -1.0 : 1.0) * kTwoPi / W;
        step[0] = static_cast<float>(-std::sin(azimuth) * angle);
        step[1] = static_cast<float>(-std::cos(azimuth) * angle);
    } else {
        CScrollView::OnKeyDown(ch, repeat, flags);
        return;
    }
    Utilities::RotVecToMatrix(m_levelRotation, m_levelMatrix);
    std::copy(std::begin(m_levelMatrix), std::end(m_levelMatrix), m_savedLevelMatrix);
    LevelStep(step);
    FinishLevelStep();
}

void CRectMapView::DrawRuler(CDC* dc)
{
    Image* screen = GetScreen();
    if (!dc || !screen || screen->GetWidth() <= 0) return;
    const RulerGeometry g = GetRulerGeometry();
    int ox = 0, oy = 0, vw = 0, vh = 0;
    GetOffset(ox, oy);
    GetViewSize(vw, vh);
    const int cx = g.centreX + ox, cy = g.centreY + oy, half = g.halfHeight;
    CPen red(PS_SOLID, 1, RGB(255, 0, 0));
    CPen orange(PS_DASH, 1, RGB(255, 200, 128));
    CPen green(PS_DASH, 1, RGB(0, 255, 0));
    CPen* oldPen = dc->SelectObject(&red);
    CGdiObject* oldBrush = dc->SelectStockObject(NULL_BRUSH);
    dc->MoveTo(cx, cy - half);
    dc->LineTo(cx, cy + half + 1);
    dc->Rectangle(cx - 10, cy - 10, cx + 10, cy + 10);
    dc->MoveTo(ox, cy);
    dc->LineTo(ox + vw, cy);
    if (g.ticks != 0) {
        // Ticks every 22.5 (or 11.25) degrees both ways from the centre.
        const int perRightAngle = g.ticks == 1 ? 4 : 8;
        for (int k = 1; k * g.step <= vw; ++k) {
            CPen* pen = k % perRightAngle == 0 ? &red : (k % (perRightAngle / 2) == 0 ? &orange : &green);
            dc->SelectObject(pen);
            for (int side : {-1, 1}) {
                const int x = cx + side * k * g.step;
                if (x < ox || x >= ox + vw) continue;
                dc->MoveTo(x, cy - half);
                dc->LineTo(x, cy + half + 1);
            }
        }
    }
    // The tilt handles above and below the centre.
    dc->SelectObject(&green);
    if (half > 11) {
        dc->Rectangle(cx - 10, cy - half, cx + 10, cy - 11);
        dc->Rectangle(cx - 10, cy + 11, cx + 10, cy + half);
    }
    dc->SelectObject(oldPen);
    if (oldBrush) dc->SelectObject(static_cast<CBrush*>(oldBrush));
}

#include "viewkit/printing.h"

#include "platform/utilkit/logger.h"
#include "platform/win/dib.h"
#include "platform/win/resources.h"
#include "viewkit/bmp_info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Offset rows of a bee net interleave at the height of an equilateral
// triangle.
constexpr float kBeeStep = 0.8660254f;
// A ratio drag changes the ratio by dx / 250, at most 10 % down or 20 % up.
constexpr float kRatioDragScale = 250.0f;
constexpr float kMinRatio = 0.01f;
// Margins are dragged in steps of ratio / 250 inch a pixel and stay within
// a quarter of the paper.
constexpr float kMarginDragScale = 250.0f;
// A layout of more pages than this is refused: the page table holds a byte
// a page, and a ratio near one pixel a page over a large panorama would ask
// for billions.
constexpr int64_t kMaxPages = int64_t{1} << 22;
const COLORREF kGridGrey = RGB(150, 150, 150);
const COLORREF kNavy = RGB(0, 0, 128);
const COLORREF kRed = RGB(255, 0, 0);

win::ResourceModule& ViewkitResources()
{
    win::ResourceModule& module = win::Resources::Module("Viewkit");
    if (!module.FindToolBar(CPrinting::kToolBarResource)) {
        win::ToolBarTemplate bar;
        bar.commands = {32810, 32811, 32812, 0, 32813, 32814, 32815};
        bar.buttonSize = SIZE{31, 15};
        module.AddToolBar(CPrinting::kToolBarResource, bar);
    }
    return module;
}

// Image (or preview) pixels of a length in inches at a ratio, truncated or
// rounded; at least `minimum` and far below the int range whatever the paper.
int LengthPixels(float inches, float ratio, float zoom, bool rounded, double minimum = 1.0)
{
    const double v = static_cast<double>(inches) * 100 / ratio * zoom + (rounded ? 0.5 : 0.0);
    return static_cast<int>(std::clamp(v, minimum, 1e9));
}

// Device dots of a length in inches, bounded likewise.
int Dots(int dotsPerInch, float inches)
{
    return static_cast<int>(std::clamp(static_cast<double>(dotsPerInch) * inches, 1.0, 1e9));
}

int ClippedLength(int from, int to, int lo, int hi)
{
    return std::max(0, std::min(to, hi) - std::max(from, lo));
}

}  // namespace

CPrinting::CPrinting() = default;

CPrinting::~CPrinting()
{
    if (m_toolBar && m_toolBar->m_hWnd) m_toolBar->DestroyWindow();
}

// ---- Set-up -----------------------------------------------------------------------

void CPrinting::Init(Image* image, POINT* paper, RECT* margins, RECT* minMargins, RECT* crop, POINT* offset,
                     float ratio)
{
    m_image = RefPtr<Image>::share(image);
    if (paper) {
        if (paper->x > 0 && paper->y > 0) {
            m_paperWidth = paper->x / 1000.0f;
            m_paperHeight = paper->y / 1000.0f;
        } else {
            Logger::log("ERROR CPrinting::Init paper of %d x %d thousandths ignored", 1, paper->x, paper->y);
        }
    }
    if (minMargins) {
        m_minLeft = minMargins->left / 1000.0f;
        m_minTop = minMargins->top / 1000.0f;
        m_minRight = minMargins->right / 1000.0f;
        m_minBottom = minMargins->bottom / 1000.0f;
    }
    if (margins) {
        m_marginLeft = margins->left / 1000.0f;
        m_marginTop = margins->top / 1000.0f;
        m_marginRight = margins->right / 1000.0f;
        m_marginBottom = margins->bottom / 1000.0f;
    }
    // The margins obey the same bounds as when dragged, so that a page keeps
    // at least half the paper: the minimums within [0, paper / 4], each
    // margin within [its minimum, paper / 4].
    auto bound = [](float& minimum, float& margin, float paper) {
        minimum = std::clamp(minimum, 0.0f, paper / 4);
        margin = std::clamp(margin, minimum, paper / 4);
    };
    bound(m_minLeft, m_marginLeft, m_paperWidth);
    bound(m_minRight, m_marginRight, m_paperWidth);
    bound(m_minTop, m_marginTop, m_paperHeight);
    bound(m_minBottom, m_marginBottom, m_paperHeight);

    if (offset && (offset->x != 0 || offset->y != 0)) {
        m_offsetX = offset->x;
        m_offsetY = offset->y;
    }
    const int width = image ? image->GetWidth() : 0;
    const int height = image ? image->GetHeight() : 0;
    if (crop && crop->left < crop->right && crop->top < crop->bottom) {
        m_cropLeft = std::clamp(crop->left, 0, width);
        m_cropRight = std::clamp(crop->right, 0, width);
        m_cropTop = std::clamp(crop->top, 0, height);
        m_cropBottom = std::clamp(crop->bottom, 0, height);
    } else {
        m_cropLeft = m_cropTop = 0;
        m_cropRight = width;
        m_cropBottom = height;
    }
    m_ratio = ratio;
    ChangeOffset(m_cropLeft, m_cropTop);
    if (!(m_ratio > 0)) ChooseProperRatio();
    if (!ComputeLayout()) {
        // A ratio that would cut the image into too many pages gives way
        // to the one chosen for it.
        ChooseProperRatio();
        ComputeLayout();
    }
}

void CPrinting::CreateToolBar(UINT /*unused*/, CWnd* parent)
{
    if (m_toolBar && m_toolBar->m_hWnd) m_toolBar->DestroyWindow();
    m_toolBar.reset();
    auto bar = std::make_unique<CToolBar>();
    win::ModuleScope scope(ViewkitResources());
    if (!parent || !bar->Create(parent, kToolBarStyle, kToolBarId) || !bar->LoadToolBar(kToolBarResource)) {
        Logger::log("ERROR CPrinting::CreateToolBar the print toolbar cannot be created", 1);
        if (bar->m_hWnd) bar->DestroyWindow();
        return;
    }
    bar->SetBarStyle(bar->GetBarStyle() | 0x32);
    const CSize size = bar->CalcFixedLayout(FALSE, TRUE);
    bar->MoveWindow(0, 0, size.cx, size.cy);
    bar->EnableWindow(TRUE);
    m_toolBar = std::move(bar);
}

void CPrinting::SetToolBarPos(int x, int y)
{
    if (!m_toolBar || !m_toolBar->m_hWnd) return;
    RECT r{};
    m_toolBar->GetWindowRect(&r);
    m_toolBar->MoveWindow(x, y, r.right - r.left, r.bottom - r.top);
}

void CPrinting::SetStyle(int style)
{
    m_style = std::clamp(style, 0, 2);
}

// ---- Layout -----------------------------------------------------------------------

float CPrinting::MaxRatio() const
{
    return std::min(PrintableWidth(), PrintableHeight()) * 100.0f;
}

void CPrinting::ChooseProperRatio()
{
    const float a = static_cast<float>(m_cropRight - m_cropLeft + 1);
    const float b = PrintableWidth();
    const float c = a / b;
    const float d = static_cast<float>(m_cropBottom - m_cropTop + 1);
    const float e = PrintableHeight();
    const float f = d / e;
    if (c >= f)
        m_ratio = b * 100 * static_cast<float>(static_cast<int>(c / (3 * f) - 1e-8) + 1) / a;
    else
        m_ratio = e * 100 * static_cast<float>(static_cast<int>(f / (3 * c) - 1e-8) + 1) / d;
}

namespace {
int64_t PageCount(int64_t columns, int64_t rows, int style)
{
    switch (style) {
    case CPrinting::kSimple: return columns * rows;
    case CPrinting::kBrickWall: return columns * ((rows + 1) / 2) + (rows / 2) * (columns + 1);
    default: return ((columns + 1) / 2) * (rows + 1) + rows * (columns / 2);
    }
}
}  // namespace

int CPrinting::GetNmbPages(int columns, int rows, int style) const
{
    return static_cast<int>(std::min(PageCount(columns, rows, style), kMaxPages));
}

int CPrinting::ColumnsInRow(int row) const
{
    return (m_style == kBrickWall && (row & 1)) ? m_columns + 1 : m_columns;
}

int CPrinting::IndexOf(int row, int column) const
{
    return m_style == kBrickWall ? column + row * m_columns + row / 2 : column + row * m_columns;
}

bool CPrinting::AtPos(int index, int& row, int& column) const
{
    if (index < 0 || index >= static_cast<int>(m_pageState.size())) return false;
    if (m_style != kBrickWall) {
        row = index / m_columns;
        column = index % m_columns;
        return true;
    }
    // Row pairs hold 2c + 1 pages.
    const int pair = index / (2 * m_columns + 1);
    const int rest = index % (2 * m_columns + 1);
    row = 2 * pair + (rest >= m_columns ? 1 : 0);
    column = rest >= m_columns ? rest - m_columns : rest;
    return true;
}

bool CPrinting::ComputeLayout()
{
    m_ratio = std::max(kMinRatio, std::min(m_ratio, MaxRatio()));
    const int pw = LengthPixels(PrintableWidth(), m_ratio, 1.0f, true);
    const int ph = LengthPixels(PrintableHeight(), m_ratio, 1.0f, true);
    const int cropWidth = m_cropRight - m_cropLeft;
    const int cropHeight = m_cropBottom - m_cropTop;
    int columns = (cropWidth + pw) / pw;
    int rows = (cropHeight + ph) / ph;
    if (m_style == kBeeNet) {
        if (PrintableHeight() <= PrintableWidth())
            columns = (cropWidth + pw) / std::max(1, pw - static_cast<int>(kBeeStep * ph));
        else
            rows = (cropHeight + ph) / std::max(1, ph - static_cast<int>(kBeeStep * pw));
    }
    columns = std::max(columns, 1);
    rows = std::max(rows, 1);
    if (PageCount(columns, rows, m_style) > kMaxPages) {
        Logger::log("ERROR CPrinting::ComputeLayout %d x %d pages refused", 1, columns, rows);
        return false;
    }
    const bool changed = columns != m_columns || rows != m_rows || m_tableStyle != m_style ||
                         static_cast<int>(m_pageState.size()) != GetNmbPages(columns, rows, m_style);
    if (changed) {
        UpdatePageStatus(columns, rows);
        RemoveSmallPage();
    }
    return true;
}

bool CPrinting::ChangeLayout(int columns, int rows)
{
    if (columns <= 0 || rows <= 0 || (columns == m_columns && rows == m_rows) ||
        PageCount(columns, rows, m_style) > kMaxPages)
        return false;
    const int cropWidth = m_cropRight - m_cropLeft;
    const int cropHeight = m_cropBottom - m_cropTop;
    const int e = std::max(1, static_cast<int>(static_cast<float>(cropWidth + 1) / columns + 0.5f));
    const int f = std::max(1, static_cast<int>(static_cast<float>(cropHeight + 1) / rows + 0.5f));
    const float byWidth = PrintableWidth() * 100 / e;
    const float byHeight = PrintableHeight() * 100 / f;
    m_ratio = std::min({byWidth, byHeight, MaxRatio()});
    int pw = 0;
    int ph = 0;
    GetPagePixelNumbs(pw, ph, false);
    int newColumns = columns;
    int newRows = rows;
    if (byWidth <= byHeight) {
        newRows = std::max(1, std::min(rows, (cropHeight + ph) / ph));
        m_offsetY = m_cropTop - (newRows * ph - cropHeight - 1) / 2;
        m_offsetX = m_cropLeft;
    } else {
        newColumns = std::max(1, std::min(columns, (cropWidth + pw) / pw));
        m_offsetX = m_cropLeft - (newColumns * pw - cropWidth - 1) / 2;
        m_offsetY = m_cropTop;
    }
    UpdatePageStatus(newColumns, newRows);
    RemoveSmallPage();
    return true;
}

void CPrinting::UpdatePageStatus(int columns, int rows)
{
    const int count = GetNmbPages(columns, rows, m_style);
    if (columns == m_columns && rows == m_rows && m_tableStyle == m_style &&
        count == static_cast<int>(m_pageState.size()))
        return;
    std::vector<uint8_t> table(static_cast<size_t>(count), 1);
    const int oldColumns = m_columns;
    const int oldRows = m_rows;
    const int oldStyle = m_tableStyle;
    auto oldIndex = [&](int row, int column) -> int {
        const int inRow = (oldStyle == kBrickWall && (row & 1)) ? oldColumns + 1 : oldColumns;
        if (row >= oldRows || column >= inRow) return -1;
        return oldStyle == kBrickWall ? column + row * oldColumns + row / 2 : column + row * oldColumns;
    };
    m_columns = columns;
    m_rows = rows;
    m_tableStyle = m_style;
    for (int index = 0; index < count; ++index) {
        int row = 0;
        int column = 0;
        m_pageState.resize(std::max(m_pageState.size(), table.size()), 1);  // AtPos reads the length
        if (!AtPos(index, row, column)) continue;
        const int old = oldIndex(row, column);
        if (old >= 0 && old < static_cast<int>(m_pageState.size())) table[static_cast<size_t>(index)] = m_pageState[static_cast<size_t>(old)];
    }
    m_pageState = std::move(table);
}

bool CPrinting::RemoveSmallPage()
{
    int pw = 0;
    int ph = 0;
    GetPagePixelNumbs(pw, ph, false);
    bool changed = false;
    for (int index = 0; index < static_cast<int>(m_pageState.size()); ++index) {
        int row = 0;
        int column = 0;
        if (!AtPos(index, row, column)) continue;
        const int top = row * ph + m_offsetY;
        int left = column * pw + m_offsetX;
        if (m_style == kBrickWall && (row & 1)) left -= pw / 2;
        const int height = ClippedLength(top, top + ph, m_cropTop, m_cropBottom);
        const int width = ClippedLength(left, left + pw, m_cropLeft, m_cropRight);
        const uint8_t state = (10 * height >= ph && 10 * width >= pw) ? 1 : 0;
        if (m_pageState[static_cast<size_t>(index)] != state) {
            m_pageState[static_cast<size_t>(index)] = state;
            changed = true;
        }
    }
    return changed;
}

// ---- Editing ------------------------------------------------------------------------

bool CPrinting::ChangeRatio(float factor)
{
    const float ratio = std::min(std::max(m_ratio * factor, kMinRatio), MaxRatio());
    if (!(ratio == ratio) || ratio == m_ratio) return false;
    const float old = std::exchange(m_ratio, ratio);
    if (ComputeLayout()) return true;
    m_ratio = old;
    return false;
}

bool CPrinting::ChangeOffset(int dx, int dy)
{
    if (dx == 0 && dy == 0) return false;
    m_offsetX += dx;
    m_offsetY += dy;
    return true;
}

bool CPrinting::ChangeMargin(float& margin, float minimum, float paper, int d)
{
    const float changed = std::clamp(margin + d * m_ratio / kMarginDragScale, minimum, std::max(minimum, paper / 4));
    if (changed == margin) return false;
    const float old = std::exchange(margin, changed);
    if (ComputeLayout()) return true;
    margin = old;
    return false;
}

bool CPrinting::ChangeLeftMargin(int d)
{
    return ChangeMargin(m_marginLeft, m_minLeft, m_paperWidth, d);
}

bool CPrinting::ChangeRightMargin(int d)
{
    return ChangeMargin(m_marginRight, m_minRight, m_paperWidth, d);
}

bool CPrinting::ChangeTopMargin(int d)
{
    return ChangeMargin(m_marginTop, m_minTop, m_paperHeight, d);
}

bool CPrinting::ChangeBottomMargin(int d)
{
    return ChangeMargin(m_marginBottom, m_minBottom, m_paperHeight, d);
}

int CPrinting::GetNumbPages() const
{
    return static_cast<int>(std::count(m_pageState.begin(), m_pageState.end(), uint8_t{1}));
}

int CPrinting::GetPageIndex(int x, int y) const
{
    const Preview p = PreviewSizes();
    const int ox = p.offsetX, oy = p.offsetY, pw = p.pageW, ph = p.pageH;
    int a = x - ox;
    const int b = y - oy;
    if (a <= 0 || b <= 0 || pw <= 0 || ph <= 0) return -1;
    const int row = b / ph;
    if (row >= m_rows) return -1;
    if (m_style == kBrickWall && (row & 1)) a += pw / 2;
    const int column = a / pw;
    if (column >= ColumnsInRow(row)) return -1;
    const int index = IndexOf(row, column);
    return index < static_cast<int>(m_pageState.size()) ? index : -1;
}

int CPrinting::GetPageState(int x, int y) const
{
    const int index = GetPageIndex(x, y);
    if (index < 0) return 0;
    return m_pageState[static_cast<size_t>(index)] ? 1 : 2;
}

bool CPrinting::ToggleSelection(int x, int y)
{
    const int index = GetPageIndex(x, y);
    if (index < 0) return false;
    m_pageState[static_cast<size_t>(index)] = m_pageState[static_cast<size_t>(index)] ? 0 : 1;
    return true;
}

bool CPrinting::ToggleSelection()
{
    return ToggleSelection(m_downX, m_downY);
}

void CPrinting::MouseDown(int x, int y)
{
    m_downX = m_lastX = static_cast<int16_t>(x);
    m_downY = m_lastY = static_cast<int16_t>(y);
    m_dragTarget = GetMouseLocation(x, y);
}

bool CPrinting::MouseMove(int x, int y)
{
    const int dx = x - m_lastX;
    const int dy = y - m_lastY;
    m_lastX = static_cast<int16_t>(x);
    m_lastY = static_cast<int16_t>(y);
    switch (m_dragTarget) {
    case kRatioHandle: return ChangeRatio(std::clamp(1.0f - dx / kRatioDragScale, 0.9f, 1.2f));
    case kLeftMargin: return ChangeLeftMargin(-dx);
    case kRightMargin: return ChangeRightMargin(dx);
    case kTopMargin: return ChangeTopMargin(-dy);
    case kBottomMargin: return ChangeBottomMargin(dy);
    case kImage: return ChangeOffset(dx, dy);
    default: return false;
    }
}

void CPrinting::MouseUp(int /*x*/, int /*y*/)
{
    m_dragTarget = kNowhere;
}

int CPrinting::GetMouseLocation(int x, int y) const
{
    const Preview p = PreviewSizes();
    const int ox = p.offsetX, oy = p.offsetY, pw = p.pageW, ph = p.pageH;
    const int ml = p.left, mt = p.top, mr = p.right, mb = p.bottom;
    if (pw <= 0 || ph <= 0) return kNowhere;
    int a = x - ox;
    const int b = y - oy;
    if ((a < -ml && (ml >= 4 || a < -4)) || (b < -mt && (mt >= 4 || b < -4))) return kNowhere;
    const int e = b / ph;
    int q = b % ph;
    int columns = m_columns;
    if (m_style == kBrickWall && (e & 1)) {
        ++columns;
        a += pw / 2;
    }
    const int g = a / pw;
    int r = a % pw;
    if (e >= m_rows || g >= columns) {
        if (e > m_rows || g > columns) return kNowhere;
        if (e == m_rows && q > mb && (mb > 3 || q > 4)) return kNowhere;
        if (g == columns && r > mr && (mr > 3 || r > 4)) return kNowhere;
    }
    const bool horizontal = a <= 0 || g == columns || r <= 10 || r < mr || pw - r <= 10 || pw - r < ml;
    if (horizontal) {
        if (a <= 0)
            r = std::max(mr, 11);
        else if (g == columns)
            r = 0;
    }
    const bool vertical = b <= 0 || e == m_rows || q <= 10 || q < mb || ph - q <= 10 || ph - q < mt;
    if (vertical) {
        if (b <= 0)
            q = std::max(mb, 11);
        else if (e == m_rows)
            q = 0;
    }
    if (horizontal && vertical) return kRatioHandle;
    if (horizontal) {
        if (r <= 10 || r < mr) return g == 0 ? kImage : kRightMargin;
        return (g > 0 && g + 1 == columns) ? kImage : kLeftMargin;
    }
    if (vertical) {
        if (q <= 10 || q < mb) return e == 0 ? kImage : kBottomMargin;
        return (e > 0 && e + 1 == m_rows) ? kImage : kTopMargin;
    }
    return kImage;
}

// ---- Accessors -------------------------------------------------------------------------

void CPrinting::GetOffset(int& x, int& y, bool zoomed) const
{
    if (!zoomed) {
        x = m_offsetX;
        y = m_offsetY;
        return;
    }
    x = static_cast<int>(std::lround(m_offsetX * m_zoomX));
    y = static_cast<int>(std::lround(m_offsetY * m_zoomY));
}

void CPrinting::GetMargin(RECT* margins) const
{
    if (!margins) return;
    *margins = RECT{static_cast<int32_t>(std::lround(m_marginLeft * 1000)),
                    static_cast<int32_t>(std::lround(m_marginTop * 1000)),
                    static_cast<int32_t>(std::lround(m_marginRight * 1000)),
                    static_cast<int32_t>(std::lround(m_marginBottom * 1000))};
}

void CPrinting::GetPagePixelNumbs(int& width, int& height, bool zoomed) const
{
    const float zx = zoomed ? m_zoomX : 1.0f;
    const float zy = zoomed ? m_zoomY : 1.0f;
    width = LengthPixels(PrintableWidth(), m_ratio, zx, false);
    height = LengthPixels(PrintableHeight(), m_ratio, zy, false);
}

void CPrinting::GetMarginPixelNumbs(int& left, int& top, int& right, int& bottom, bool zoomed) const
{
    const float zx = zoomed ? m_zoomX : 1.0f;
    const float zy = zoomed ? m_zoomY : 1.0f;
    left = LengthPixels(m_marginLeft, m_ratio, zx, false, 0.0);
    right = LengthPixels(m_marginRight, m_ratio, zx, false, 0.0);
    top = LengthPixels(m_marginTop, m_ratio, zy, false, 0.0);
    bottom = LengthPixels(m_marginBottom, m_ratio, zy, false, 0.0);
}

// ---- Preview -------------------------------------------------------------------------

CPrinting::Preview CPrinting::PreviewSizes() const
{
    Preview p;
    GetOffset(p.offsetX, p.offsetY, true);
    GetPagePixelNumbs(p.pageW, p.pageH, true);
    GetMarginPixelNumbs(p.left, p.top, p.right, p.bottom, true);
    return p;
}

void CPrinting::DrawPreView(CDC* cdc, int x, int y, float zoomX, float zoomY)
{
    if (!cdc) return;
    m_zoomX = zoomX;
    m_zoomY = zoomY;
    switch (m_style) {
    case kSimple: DrawSimple(cdc, x, y); break;
    case kBrickWall: DrawBrickWall(cdc, x, y); break;
    default: DrawBeeNet(cdc, x, y); break;
    }
}

void CPrinting::DrawSimple(CDC* cdc, int x, int y)
{
    DrawGrid(cdc, x, y, 0);
}

void CPrinting::DrawBrickWall(CDC* cdc, int x, int y)
{
    DrawGrid(cdc, x, y, 1);
}

void CPrinting::DrawBeeNet(CDC* cdc, int x, int y)
{
    DrawGrid(cdc, x, y, 0);
}

void CPrinting::DrawGrid(CDC* cdc, int x, int y, int bricks)
{
    const Preview p = PreviewSizes();
    const int ox = p.offsetX, oy = p.offsetY, pw = p.pageW, ph = p.pageH;
    const int ml = p.left, mt = p.top, mr = p.right, mb = p.bottom;
    const int gx = x + ox;
    const int gy = y + oy;
    auto rowLeft = [&](int row) { return gx - ((bricks && (row & 1)) ? pw / 2 : 0); };
    auto columnsIn = [&](int row) { return (bricks && (row & 1)) ? m_columns + 1 : m_columns; };
    auto lines = [&](CPen& pen) {
        CPen* old = cdc->SelectObject(&pen);
        for (int row = 0; row < m_rows; ++row) {
            const int left = rowLeft(row);
            const int right = left + columnsIn(row) * pw;
            const int top = gy + row * ph;
            cdc->MoveTo(left, top);
            cdc->LineTo(right, top);
            cdc->MoveTo(left, top + ph);
            cdc->LineTo(right, top + ph);
            for (int column = 0; column <= columnsIn(row); ++column) {
                cdc->MoveTo(left + column * pw, top);
                cdc->LineTo(left + column * pw, top + ph);
            }
        }
        cdc->SelectObject(old);
    };
    CPen dashed(PS_DASH, 1, kGridGrey);
    lines(dashed);

    const COLORREF oldText = cdc->SetTextColor(kRed);
    const int oldMode = cdc->SetBkMode(TRANSPARENT);
    int number = 0;
    for (int index = 0; index < static_cast<int>(m_pageState.size()); ++index) {
        int row = 0;
        int column = 0;
        if (!m_pageState[static_cast<size_t>(index)] || !AtPos(index, row, column) || row >= m_rows) continue;
        char label[32];
        std::snprintf(label, sizeof label, " page %d", ++number);
        cdc->TextOut(rowLeft(row) + column * pw, gy + row * ph, label);
    }
    cdc->SetBkMode(oldMode);
    cdc->SetTextColor(oldText);

    if (m_marginLeft != 0 || m_marginTop != 0 || m_marginRight != 0 || m_marginBottom != 0) {
        CPen solid(PS_SOLID, 1, kRed);
        lines(solid);
    }
    // The margins around every grid corner: the right and bottom margins of
    // the pages before it, the left and top margins of those after it.
    for (int row = 0; row <= m_rows; ++row) {
        const int lineRow = std::min(row, m_rows - 1);
        for (int column = 0; column <= columnsIn(lineRow); ++column) {
            const int cx = rowLeft(lineRow) + column * pw;
            const int cy = gy + row * ph;
            cdc->FillSolidRect(cx - std::max(mr, 5), cy - std::max(mb, 5), std::max(mr, 5) + std::max(ml, 5),
                               std::max(mb, 5) + std::max(mt, 5), kNavy);
        }
    }
}

// ---- Printing ---------------------------------------------------------------------------

bool CPrinting::FindSelectedPage(int n, int& originX, int& originY) const
{
    if (n < 1) return false;
    int pw = 0;
    int ph = 0;
    GetPagePixelNumbs(pw, ph, false);
    int seen = 0;
    for (int index = 0; index < static_cast<int>(m_pageState.size()); ++index) {
        if (!m_pageState[static_cast<size_t>(index)] || ++seen != n) continue;
        int row = 0;
        int column = 0;
        if (!AtPos(index, row, column)) return false;
        originX = column * pw + m_offsetX - ((m_style == kBrickWall && (row & 1)) ? pw / 2 : 0);
        originY = row * ph + m_offsetY;
        return true;
    }
    return false;
}

bool CPrinting::Print(CDC* cdc, int n)
{
    Image* image = m_image.get();
    if (!cdc || !cdc->GetSafeHdc() || !image || !image->GetData()) return false;
    const int channels = image->GetChannels();
    if (channels != 1 && channels != 3) return false;
    int ox = 0;
    int oy = 0;
    if (!FindSelectedPage(n, ox, oy)) return false;
    int pw = 0;
    int ph = 0;
    GetPagePixelNumbs(pw, ph, false);
    const int x0 = std::max(ox, m_cropLeft);
    const int x1 = std::min(ox + pw, m_cropRight);
    const int y0 = std::max(oy, m_cropTop);
    const int y1 = std::min(oy + ph, m_cropBottom);
    if (x0 >= x1 || y0 >= y1) return false;

    cdc->SetMapMode(MM_ISOTROPIC);
    cdc->SetWindowExt(pw, ph);
    cdc->SetViewportExt(Dots(cdc->GetDeviceCaps(LOGPIXELSX), m_paperWidth - m_minLeft - m_minRight),
                        Dots(cdc->GetDeviceCaps(LOGPIXELSY), m_paperHeight - m_minTop - m_minBottom));
    const int sx = LengthPixels(m_marginLeft - m_minLeft, m_ratio, 1.0f, false, 0.0) - ox;
    const int sy = LengthPixels(m_marginTop - m_minTop, m_ratio, 1.0f, false, 0.0) - oy;

    // One row at a time through a buffer that grows with the widest page.
    const int width = x1 - x0;
    const int bits = channels * 8;
    if (width > m_rowBufferWidth) {
        m_rowBufferWidth = width;
        m_rowBuffer.assign(static_cast<size_t>(DibRowBytes(m_rowBufferWidth, bits)), 0);
    } else if (m_rowBuffer.size() < static_cast<size_t>(DibRowBytes(m_rowBufferWidth, bits))) {
        m_rowBuffer.assign(static_cast<size_t>(DibRowBytes(m_rowBufferWidth, bits)), 0);
    }
    for (int y = y0; y < y1; ++y) {
        std::memcpy(m_rowBuffer.data(),
                    image->GetData() + static_cast<size_t>(image->GetRowByte()) * y + static_cast<size_t>(x0) * channels,
                    static_cast<size_t>(width) * channels);
        BITMAPINFO* info = FillBmpInfo(m_rowBufferWidth, 1, bits);
        if (!info) return false;
        StretchDIBits(cdc, x0 + sx, y + sy, width, 1, 0, 0, width, 1, m_rowBuffer.data(), info, DIB_RGB_COLORS,
                      SRCCOPY);
    }
    return true;
}

bool CPrinting::GetPageImage(int n, Image** page)
{
    if (!page) return false;
    if (n < 0) {
        ReleaseImage(*page);
        *page = nullptr;
        return false;
    }
    Image* image = m_image.get();
    if (!image || !image->GetData()) return false;
    int ox = 0;
    int oy = 0;
    if (!FindSelectedPage(n, ox, oy)) return false;
    int pw = 0;
    int ph = 0;
    GetPagePixelNumbs(pw, ph, false);
    const int channels = image->GetChannels();
    // A page image from another layout is replaced, never written past.
    if (*page && ((*page)->GetWidth() != pw || (*page)->GetHeight() != ph || (*page)->GetChannels() != channels ||
                  !(*page)->GetData())) {
        ReleaseImage(*page);
        *page = nullptr;
    }
    if (!*page) {
        *page = new Image(pw, ph, channels);
        if (!(*page)->GetData()) {
            Logger::log("ERROR CPrinting::GetPageImage no memory for a page of %d x %d", 1, pw, ph);
            ReleaseImage(*page);
            *page = nullptr;
            return false;
        }
    }
    Image* out = *page;
    // White paper where the image does not reach, the clipped page's
    // pixels at their place: each byte written once.
    const int x0 = std::max(ox, m_cropLeft);
    const int x1 = std::min(ox + pw, m_cropRight);
    const int y0 = std::max(oy, m_cropTop);
    const int y1 = std::min(oy + ph, m_cropBottom);
    const size_t rowUsed = static_cast<size_t>(pw) * channels;
    const bool covered = x0 < x1 && y0 < y1;
    const size_t before = covered ? static_cast<size_t>(x0 - ox) * channels : rowUsed;
    const size_t bytes = covered ? static_cast<size_t>(x1 - x0) * channels : 0;
    for (int row = 0; row < ph; ++row) {
        unsigned char* to = out->GetData() + static_cast<size_t>(out->GetRowByte()) * row;
        const int y = oy + row;
        if (!covered || y < y0 || y >= y1) {
            std::memset(to, 0xFF, rowUsed);
            continue;
        }
        std::memset(to, 0xFF, before);
        std::memcpy(to + before,
                    image->GetData() + static_cast<size_t>(image->GetRowByte()) * y + static_cast<size_t>(x0) * channels,
                    bytes);
        std::memset(to + before + bytes, 0xFF, rowUsed - before - bytes);
    }
    return true;
}

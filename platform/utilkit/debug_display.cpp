#include "platform/utilkit/debug_display.h"

#include "imaging/image.h"
#include "platform/utilkit/log_base.h"
#include "core/logger.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>
#include <vector>

namespace {

struct Window {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;
};

struct DebugState {
    std::mutex lock;
    int flag = 0;
    std::string folder;
    std::map<std::string, Window> windows;
    CreateMarkerGroupFn createMarkerGroup = nullptr;
    GetMarkerGroupFn getMarkerGroup = nullptr;
    DeleteMarkerGroupFn deleteMarkerGroup = nullptr;
    Get2DCurvsFn get2DCurvs = nullptr;
    DeleteCurvesFn deleteCurves = nullptr;
    GetStitchParamFn getStitchParam = nullptr;

    DebugState()
    {
        if (const char* v = std::getenv("FENDRAKE_DEBUG_DISP")) flag = std::atoi(v);
        if (const char* v = std::getenv("FENDRAKE_DEBUG_DIR"); v && *v) folder = v;
    }
};

DebugState& state()
{
    static DebugState s;
    return s;
}

// Windows larger than this are refused: a debug view, not a panorama.
constexpr int64_t kMaxWindowPixels = int64_t{1} << 26;

bool Resize(Window& w, int width, int height)
{
    if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxWindowPixels) return false;
    w.width = width;
    w.height = height;
    w.bgr.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
    return true;
}

std::string FolderLocked(DebugState& s)
{
    return s.folder.empty() ? LogBase::getPath_log() + "/debug" : s.folder;
}

// Writes the window as "<folder>/<name>.ppm" (binary PPM, R G B).
void WriteLocked(DebugState& s, const std::string& name, const Window& w)
{
    const std::string dir = FolderLocked(s);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    std::string file = name;
    for (char& c : file)
        if (c == '/' || c == '\\') c = '_';
    const std::string path = dir + "/" + file + ".ppm";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        Logger::log("ERROR DebugDisplay cannot write %s", 1, path.c_str());
        return;
    }
    std::fprintf(f, "P6\n%d %d\n255\n", w.width, w.height);
    std::vector<uint8_t> row(static_cast<size_t>(w.width) * 3);
    for (int y = 0; y < w.height; ++y) {
        const uint8_t* src = w.bgr.data() + static_cast<size_t>(y) * w.width * 3;
        for (int x = 0; x < w.width; ++x) {
            row[3 * x] = src[3 * x + 2];
            row[3 * x + 1] = src[3 * x + 1];
            row[3 * x + 2] = src[3 * x];
        }
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
}

void Plot(Window& w, int64_t x, int64_t y, COLORREF colour)
{
    if (x < 0 || y < 0 || x >= w.width || y >= w.height) return;
    uint8_t* p = w.bgr.data() + (static_cast<size_t>(y) * w.width + static_cast<size_t>(x)) * 3;
    p[0] = GetBValue(colour);
    p[1] = GetGValue(colour);
    p[2] = GetRValue(colour);
}

// A line including both ends, walked only over the part that can show.
void Line(Window& w, double x0, double y0, double x1, double y1, COLORREF colour)
{
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
    const double steps = std::max(std::fabs(x1 - x0), std::fabs(y1 - y0));
    if (steps > 4.0 * (w.width + w.height) + 4) {
        // A far-reaching line: clip to the window box first (Liang-Barsky).
        double t0 = 0, t1 = 1;
        const double dx = x1 - x0, dy = y1 - y0;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {x0 + 1, w.width - x0, y0 + 1, w.height - y0};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0) {
                if (q[i] < 0) return;
                continue;
            }
            const double r = q[i] / p[i];
            if (p[i] < 0) t0 = std::max(t0, r);
            else t1 = std::min(t1, r);
        }
        if (t0 > t1) return;
        Line(w, x0 + t0 * dx, y0 + t0 * dy, x0 + t1 * dx, y0 + t1 * dy, colour);
        return;
    }
    const int n = static_cast<int>(std::ceil(steps));
    for (int i = 0; i <= n; ++i) {
        const double t = n ? static_cast<double>(i) / n : 0.0;
        Plot(w, std::llround(x0 + t * (x1 - x0)), std::llround(y0 + t * (y1 - y0)), colour);
    }
}

Window* WindowLocked(DebugState& s, const std::string& name)
{
    auto it = s.windows.find(name);
    return it == s.windows.end() ? nullptr : &it->second;
}

}  // namespace

int GetDebugDispFlag()
{
    DebugState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.flag;
}

void SetDebugDispFlag(int on)
{
    DebugState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.flag = on;
}

std::string GetDebugDispFolder()
{
    DebugState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    return FolderLocked(s);
}

void SetDebugDispFolder(const char* folder)
{
    DebugState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    s.folder = folder ? LogBase::ToNativePath(folder) : "";
}

const char* GetNameDebugWin0() { return "DebugWin0"; }
const char* GetNameDebugWin1() { return "DebugWin1"; }
const char* GetNameDebugWin2() { return "DebugWin2"; }

bool CreateImageWindow(int width, int height, const char* name)
{
    DebugState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.flag || !name || !*name) return false;
    Window w;
    if (!Resize(w, width, height)) return false;
    WriteLocked(s, name, w);
    s.windows[name] = std::move(w);
    return true;
}

void DisplayImageWin(const char* name, const Image* image, const RECT* rect, int x, int y)
{
    DebugState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.flag || !name || !image || !image->GetData() || image->GetDataType() != IMG_UINT8 ||
        !image->IsInterleaved() || (image->GetChannels() != 1 && image->GetChannels() != 3))
        return;
    RECT r{0, 0, image->GetWidth(), image->GetHeight()};
    if (rect) {
        r.left = std::max(rect->left, 0);
        r.top = std::max(rect->top, 0);
        r.right = std::min(rect->right, image->GetWidth());
        r.bottom = std::min(rect->bottom, image->GetHeight());
    }
    if (r.right <= r.left || r.bottom <= r.top) return;
    Window* w = WindowLocked(s, name);
    if (!w) {
        Window fresh;
        const int64_t width = std::max<int64_t>(1, int64_t{x} + r.right - r.left);
        const int64_t height = std::max<int64_t>(1, int64_t{y} + r.bottom - r.top);
        if (width > INT32_MAX || height > INT32_MAX || !Resize(fresh, static_cast<int>(width), static_cast<int>(height)))
            return;
        w = &(s.windows[name] = std::move(fresh));
    }
    const int channels = image->GetChannels();
    for (int sy = r.top; sy < r.bottom; ++sy) {
        const int64_t dy = int64_t{y} + (sy - r.top);
        if (dy < 0 || dy >= w->height) continue;
        const uint8_t* row = image->GetData() + static_cast<size_t>(sy) * static_cast<size_t>(image->GetRowByte());
        for (int sx = r.left; sx < r.right; ++sx) {
            const int64_t dx = int64_t{x} + (sx - r.left);
            if (dx < 0 || dx >= w->width) continue;
            uint8_t* p = w->bgr.data() + (static_cast<size_t>(dy) * w->width + static_cast<size_t>(dx)) * 3;
            const uint8_t* q = row + static_cast<size_t>(sx) * channels;
            p[0] = q[0];
            p[1] = channels == 3 ? q[1] : q[0];
            p[2] = channels == 3 ? q[2] : q[0];
        }
    }
    WriteLocked(s, name, *w);
}

void DisplayImageWin0(const Image* image, const RECT* rect, int x, int y)
{
    DisplayImageWin(GetNameDebugWin0(), image, rect, x, y);
}

void DisplayImageWin1(const Image* image, const RECT* rect, int x, int y)
{
    DisplayImageWin(GetNameDebugWin1(), image, rect, x, y);
}

void DisplayImageWin2(const Image* image, const RECT* rect, int x, int y)
{
    DisplayImageWin(GetNameDebugWin2(), image, rect, x, y);
}

int DrawOnePt2Array(const POINT2* points, int n, int x, int y, float scale, int colour)
{
    DebugState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.flag || !points || n <= 0) return 0;
    Window* w = WindowLocked(s, GetNameDebugWin0());
    if (!w) return 0;
    auto px = [&](int i) { return x + static_cast<double>(scale) * points[i].x; };
    auto py = [&](int i) { return y + static_cast<double>(scale) * points[i].y; };
    for (int i = 0; i < n; ++i) {
        const int j = (i + 1) % n;
        Line(*w, px(i), py(i), px(j), py(j), static_cast<COLORREF>(colour));
    }
    WriteLocked(s, GetNameDebugWin0(), *w);
    return 1;
}

int DrawRegion(const REGION* box, int x, int y, float scale, int colour, const char* window)
{
    DebugState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.flag || !box || !window) return 0;
    Window* w = WindowLocked(s, window);
    if (!w) return 0;
    const double x0 = x + static_cast<double>(scale) * box->x0, x1 = x + static_cast<double>(scale) * box->x1;
    const double y0 = y + static_cast<double>(scale) * box->y0, y1 = y + static_cast<double>(scale) * box->y1;
    const COLORREF c = static_cast<COLORREF>(colour);
    Line(*w, x0, y0, x1, y0, c);
    Line(*w, x1, y0, x1, y1, c);
    Line(*w, x1, y1, x0, y1, c);
    Line(*w, x0, y1, x0, y0, c);
    WriteLocked(s, window, *w);
    return 1;
}

COLORREF GetDebugWindowPixel(const char* name, int x, int y)
{
    DebugState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    Window* w = name ? WindowLocked(s, name) : nullptr;
    if (!w || x < 0 || y < 0 || x >= w->width || y >= w->height) return 0xFFFFFFFF;
    const uint8_t* p = w->bgr.data() + (static_cast<size_t>(y) * w->width + static_cast<size_t>(x)) * 3;
    return RGB(p[2], p[1], p[0]);
}

void SetCreateMarkerGroup(CreateMarkerGroupFn fn) { std::lock_guard<std::mutex> g(state().lock); state().createMarkerGroup = fn; }
void SetGetMarkerGroup(GetMarkerGroupFn fn) { std::lock_guard<std::mutex> g(state().lock); state().getMarkerGroup = fn; }
void SetDeleteMarkerGroup(DeleteMarkerGroupFn fn) { std::lock_guard<std::mutex> g(state().lock); state().deleteMarkerGroup = fn; }
void SetGet2DCurvs(Get2DCurvsFn fn) { std::lock_guard<std::mutex> g(state().lock); state().get2DCurvs = fn; }
void SetDeleteCurves(DeleteCurvesFn fn) { std::lock_guard<std::mutex> g(state().lock); state().deleteCurves = fn; }
void SetGetStitchParam(GetStitchParamFn fn) { std::lock_guard<std::mutex> g(state().lock); state().getStitchParam = fn; }

namespace {

// The registered callback while the display is on; the lock is not held
// during the call, which may wait for the user-interface thread.
template <class Fn>
Fn Bridge(Fn DebugState::*member, bool needsFlag = true)
{
    DebugState& s = state();
    std::lock_guard<std::mutex> guard(s.lock);
    if (needsFlag && !s.flag) return nullptr;
    return s.*member;
}

}  // namespace

Marker* CreateMarkerGroup(int id, const char* window, int x, int y)
{
    auto fn = Bridge(&DebugState::createMarkerGroup);
    return fn && window ? fn(id, window, x, y) : nullptr;
}

Marker* GetMarkerGroup(int id, const char* window)
{
    auto fn = Bridge(&DebugState::getMarkerGroup);
    return fn && window ? fn(id, window) : nullptr;
}

int DeleteMarkerGroup(int id, const char* window)
{
    auto fn = Bridge(&DebugState::deleteMarkerGroup);
    return fn && window ? fn(id, window) : 0;
}

TwoDCurves* Get2DCurvs(const char* window)
{
    auto fn = Bridge(&DebugState::get2DCurvs);
    return fn && window ? fn(window) : nullptr;
}

int DeleteCurves(const char* window, int start, int end)
{
    auto fn = Bridge(&DebugState::deleteCurves);
    return fn && window ? fn(start, end, window) : 0;
}

StitchSettings* GetStitchParam()
{
    auto fn = Bridge(&DebugState::getStitchParam, false);
    return fn ? fn() : nullptr;
}

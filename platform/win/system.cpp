#include "platform/win/system.h"

#include "platform/win/resources.h"
#include "platform/win/window_system.h"

#include <atomic>
#include <mutex>
#include <set>

namespace {

std::atomic<int> g_screenWidth{1280};
std::atomic<int> g_screenHeight{1024};

std::mutex g_stateLock;
HCURSOR g_cursor = nullptr;
HCURSOR g_cursorBeforeWait = nullptr;
int g_waitDepth = 0;
std::set<UINT> g_keysDown;
POINT g_pointer{0, 0};

// Cursor handles carry their id: standard cursors in one range, resource
// cursors in another, so that a handle tells what it shows.
constexpr uintptr_t kStandardCursorBase = 0x100000;
constexpr uintptr_t kResourceCursorBase = 0x200000;
constexpr uintptr_t kResourceIconBase = 0x300000;

}  // namespace

int GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXSCREEN: return g_screenWidth;
    case SM_CYSCREEN: return g_screenHeight;
    case SM_CXFULLSCREEN: return g_screenWidth;
    // The full-screen client height leaves out a caption and a task bar.
    case SM_CYFULLSCREEN: return g_screenHeight - win::kCaptionHeight - 30;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return win::kScrollBarThickness;
    case SM_CYCAPTION: return win::kCaptionHeight;
    case SM_CYMENU: return win::kMenuHeight;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return win::kDialogFrameBorder;
    case SM_CXFRAME:
    case SM_CYFRAME: return win::kFrameBorder;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    default: return 0;
    }
}

COLORREF GetSysColor(int index)
{
    switch (index) {
    case COLOR_SCROLLBAR: return RGB(212, 208, 200);
    case COLOR_BACKGROUND: return RGB(58, 110, 165);
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(10, 36, 106);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(212, 208, 200);
    case COLOR_BTNSHADOW: return RGB(128, 128, 128);
    case COLOR_GRAYTEXT: return RGB(128, 128, 128);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    case COLOR_BTNHIGHLIGHT: return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW: return RGB(64, 64, 64);
    default: return RGB(0, 0, 0);
    }
}

HCURSOR SetCursor(HCURSOR cursor)
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    const HCURSOR old = g_cursor;
    g_cursor = cursor;
    return old;
}

HCURSOR GetCursor()
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    return g_cursor;
}

HCURSOR LoadStandardCursor(UINT idc)
{
    return reinterpret_cast<HCURSOR>(kStandardCursorBase + idc);
}

HCURSOR LoadResourceCursor(UINT resourceId)
{
    if (!win::Resources::HasCursor(resourceId)) return nullptr;
    return reinterpret_cast<HCURSOR>(kResourceCursorBase + resourceId);
}

HICON LoadResourceIcon(UINT resourceId)
{
    if (!win::Resources::HasIcon(resourceId)) return nullptr;
    return reinterpret_cast<HICON>(kResourceIconBase + resourceId);
}

namespace win {

void SetScreenSize(int width, int height)
{
    g_screenWidth = width;
    g_screenHeight = height;
}

UINT CursorId(HCURSOR cursor, bool* isResource)
{
    const uintptr_t v = reinterpret_cast<uintptr_t>(cursor);
    if (isResource) *isResource = false;
    if (v >= kResourceIconBase) return static_cast<UINT>(v - kResourceIconBase);
    if (v >= kResourceCursorBase) {
        if (isResource) *isResource = true;
        return static_cast<UINT>(v - kResourceCursorBase);
    }
    if (v >= kStandardCursorBase) return static_cast<UINT>(v - kStandardCursorBase);
    return 0;
}

void PushWaitCursor()
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    if (g_waitDepth++ == 0) g_cursorBeforeWait = g_cursor;
    g_cursor = LoadStandardCursor(IDC_WAIT);
}

void PopWaitCursor()
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    if (g_waitDepth == 0) return;
    if (--g_waitDepth == 0) g_cursor = g_cursorBeforeWait;
}

void RestoreWaitCursor()
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    if (g_waitDepth > 0) g_cursor = LoadStandardCursor(IDC_WAIT);
}

bool WaitCursorShown()
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    return g_waitDepth > 0;
}

void SetKeyDown(UINT virtualKey, bool down)
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    if (down) g_keysDown.insert(virtualKey);
    else g_keysDown.erase(virtualKey);
}

bool IsKeyDown(UINT virtualKey)
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    return g_keysDown.count(virtualKey) != 0;
}

UINT ModifierFlags()
{
    UINT flags = 0;
    if (IsKeyDown(VK_SHIFT)) flags |= MK_SHIFT;
    if (IsKeyDown(VK_CONTROL)) flags |= MK_CONTROL;
    return flags;
}

void SetPointerPosition(POINT screen)
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    g_pointer = screen;
}

POINT PointerPosition()
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    return g_pointer;
}

void ResetSystemState()
{
    std::lock_guard<std::mutex> guard(g_stateLock);
    g_cursor = nullptr;
    g_cursorBeforeWait = nullptr;
    g_waitDepth = 0;
    g_keysDown.clear();
    g_pointer = POINT{0, 0};
    g_screenWidth = 1280;
    g_screenHeight = 1024;
}

}  // namespace win

// Key state: the high bit set while the key is down.
short GetKeyState(int virtualKey)
{
    return win::IsKeyDown(static_cast<UINT>(virtualKey)) ? static_cast<short>(0x8000) : 0;
}

short GetAsyncKeyState(int virtualKey)
{
    return GetKeyState(virtualKey);
}

BOOL GetCursorPos(POINT* point)
{
    if (!point) return FALSE;
    *point = win::PointerPosition();
    return TRUE;
}

BOOL SetCursorPos(int x, int y)
{
    win::SetPointerPosition(POINT{x, y});
    return TRUE;
}

#include "viewer/drowsel/drowsel_wnd.h"

#include "viewer/drowsel/album_files.h"
#include "viewer/drowsel/picture_loader.h"

#include "core/logger.h"
#include "platform/win/profile.h"
#include "platform/win/screen_session.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "platform/win/window_system.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#ifndef DROWSEL_CAPTION
#define DROWSEL_CAPTION "www.quorvane.com"
#endif

namespace drowsel {

UINT SpeedTimerInterval(int speed)
{
    const int magnitude = std::abs(speed);
    if (magnitude == 0) return 0;
    return magnitude <= 30 ? static_cast<UINT>(1000 / magnitude) : 30u;
}

int StepPixels(int64_t elapsedMs, int pixelsPerSecond)
{
    const double exact = static_cast<double>(elapsedMs) * pixelsPerSecond / 1000.0;
    int pixels = static_cast<int>(exact < 0 ? std::ceil(exact - 0.5) : std::floor(exact + 0.5));
    if (pixels == 0) pixels = pixelsPerSecond < 0 ? -1 : 1;
    return pixels;
}

namespace {

int ProfileInt(const char* entry, int defaultValue)
{
    const auto value = win::Profile::Get().ReadString(kConfigSection, entry);
    if (!value || value->empty()) return defaultValue;
    char* end = nullptr;
    const long v = std::strtol(value->c_str(), &end, 10);
    if (end == value->c_str()) return defaultValue;
    return static_cast<int>(std::clamp<long>(v, -1000000000L, 1000000000L));
}

bool EndsWithTxt(const std::string& name)
{
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".txt";
}

const char* kFullScreenClass = "DrowselSaver";

}  // namespace

}  // namespace drowsel

using namespace drowsel;

CDrowselWnd::CDrowselWnd()
{
    bitmapInfo.assign(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
}

CDrowselWnd::~CDrowselWnd()
{
    if (m_hWnd) DestroyWindow();
}

std::string CDrowselWnd::CaptionText()
{
    return DROWSEL_CAPTION;
}

void CDrowselWnd::ReadSettings()
{
    speed = std::clamp(ProfileInt("Speed", 1), -200, 200);
    if (speed == 0) speed = 1;
    fovPercent = std::clamp(ProfileInt("FieldOfView", 70), 50, 90);
    // The dialog keeps the period within 1..10000 minutes; a hand-edited
    // profile is held to the same range.
    period = std::clamp(ProfileInt("Period", 1), 1, 10000);
}

bool CDrowselWnd::LoadSaver(const std::string& handedOver, int w, int h)
{
    ReadSettings();
    imageName = handedOver;
    if (imageName.empty()) imageName = win::Profile::Get().ReadString(kConfigSection, "ImageName").value_or("");
    if (imageName.empty()) {
        Logger::log("ERROR CDrowselWnd::LoadSaver no picture or album is set (\"ImageName\" in \"%s\")", 1,
                    kConfigSection);
        return false;
    }
    albumEntries.clear();
    albumCount = 0;
    albumIndex = 0;
    if (EndsWithTxt(imageName)) {
        albumPath = imageName;
        if (!ReadAlbum(albumPath, albumEntries)) return false;
        if (albumEntries.empty()) {
            Logger::log("ERROR CDrowselWnd::LoadSaver the album %s names no picture that can be opened", 1,
                        albumPath.c_str());
            return false;
        }
        albumCount = static_cast<int>(albumEntries.size());
        imageName = albumEntries[0];
    }
    if (!LoadPicture(w, h)) return false;
    imageStart = lastTick = win::Clock::Now();
    SetSpeedTimer(speed);
    return true;
}

bool CDrowselWnd::LoadPicture(int w, int h)
{
    DisplayPicture loaded;
    if (!LoadDisplayPicture(imageName, w, h, fovPercent, preview, loaded)) return false;
    picture = std::move(loaded.picture);
    offsetX = loaded.plan.offsetX;
    offsetY = loaded.plan.offsetY;
    scrolls = loaded.plan.scrolls;
    bounces = loaded.plan.bounces;
    windowWidth = w;
    scrollX = 0;
    cleared = false;
    SetBitmapHeader();
    return true;
}

void CDrowselWnd::SetBitmapHeader()
{
    std::fill(bitmapInfo.begin(), bitmapInfo.end(), 0);
    BITMAPINFOHEADER& header = BitmapInfo()->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biPlanes = 1;
    header.biWidth = picture->GetWidth();
    header.biHeight = -picture->GetHeight();
    header.biBitCount = picture->GetChannels() == 1 ? 8 : 24;
    header.biCompression = BI_RGB;
    RGBQUAD* palette = BitmapInfo()->bmiColors;
    for (int i = 0; i < 256; ++i) {
        const BYTE v = static_cast<BYTE>(i);
        palette[i] = RGBQUAD{v, v, v, 0};
    }
}

void CDrowselWnd::SetSpeedTimer(int newSpeed)
{
    if (timerId) {
        KillTimer(timerId);
        timerId = 0;
    }
    const UINT interval = SpeedTimerInterval(newSpeed);
    if (interval && m_hWnd) timerId = SetTimer(kSpeedTimerId, interval);
}

bool CDrowselWnd::Step()
{
    if (!picture) return false;
    const int64_t now = win::Clock::Now();
    if (albumCount > 1) {
        const int64_t minutes = scrolls ? period : 1;
        if (now - imageStart > minutes * 60000) {
            SetSpeedTimer(0);
            imageStart = lastTick = now;
            albumIndex = (albumIndex + 1) % albumCount;
            imageName = albumEntries[static_cast<size_t>(albumIndex)];
            RECT client{0, 0, windowWidth, 0};
            if (m_hWnd) GetClientRect(&client);
            if (!LoadPicture(client.right, client.bottom)) return false;
            SetSpeedTimer(speed);
            return true;
        }
    }
    const int step = StepPixels(now - lastTick, -speed);
    lastTick = now;
    const int width = picture->GetWidth();
    if (scrolls) {
        if (!bounces) {
            scrollX = static_cast<int>(((static_cast<int64_t>(scrollX) + step) % width + width) % width);
        } else {
            scrollX += direction ? step : -step;
            if (scrollX <= 0) {
                scrollX = 0;
                direction = !direction;
            } else if (scrollX + windowWidth >= width) {
                scrollX = std::max(0, width - windowWidth);
                direction = !direction;
            }
        }
    }
    captionOldX = captionX;
    captionX -= step;
    if (captionX < kCaptionMargin)
        captionX = windowWidth - kCaptionMargin;
    else if (captionX > windowWidth - kCaptionMargin)
        captionX = kCaptionMargin;
    return true;
}

void CDrowselWnd::DrawFrame(CDC& dc)
{
    if (!picture) return;
    drawing = true;
    RECT client{0, 0, windowWidth, 0};
    if (m_hWnd) GetClientRect(&client);
    if (!cleared) {
        dc.FillSolidRect(0, 0, client.right, client.bottom, RGB(0, 0, 0));
        cleared = true;
    }
    const int width = picture->GetWidth(), height = picture->GetHeight();
    // The caption: 10 pixels below the picture, at most 30 above the bottom.
    const std::string caption = CaptionText();
    const SIZE extent = dc.GetTextExtent(caption);
    const int captionY = std::min(offsetY + height + 10, static_cast<int>(client.bottom) - 30);
    dc.FillSolidRect(captionOldX, captionY, std::max(100, static_cast<int>(extent.cx) + 4), 25, RGB(0, 0, 0));
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(RGB(255, 255, 128));
    dc.TextOut(captionX, captionY, caption);
    // The picture from column scrollX on, then from column 0 again where it
    // ends before the window does.
    const int room = std::max(0, windowWidth - 2 * offsetX);
    const int first = std::min(width - scrollX, room);
    const void* bits = picture->GetData();
    if (first > 0)
        SetDIBitsToDevice(dc.GetSafeHdc(), offsetX, offsetY, static_cast<DWORD>(first), static_cast<DWORD>(height),
                          scrollX, 0, 0, static_cast<UINT>(height), bits, BitmapInfo(), DIB_RGB_COLORS);
    const int rest = std::min(room - std::max(first, 0), width);
    if (rest > 0)
        SetDIBitsToDevice(dc.GetSafeHdc(), offsetX + std::max(first, 0), offsetY, static_cast<DWORD>(rest),
                          static_cast<DWORD>(height), 0, 0, 0, static_cast<UINT>(height), bits, BitmapInfo(),
                          DIB_RGB_COLORS);
    drawing = false;
}

BOOL CDrowselWnd::CreateFullScreen(const std::string& handedOver)
{
    preview = false;
    m_handedOver = handedOver;
    win::WindowSystem& system = win::WindowSystem::Get();
    if (!system.FindClass(kFullScreenClass))
        system.RegisterClass(win::WindowClass{kFullScreenClass, nullptr, nullptr, -1, kSaverCursorId});
    const RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (!CreateEx(WS_EX_TOPMOST, kFullScreenClass, "Drowsel", WS_POPUP | WS_VISIBLE, screen, nullptr, 0))
        return FALSE;
    ShowCursor(FALSE);
    SetActiveWindow();
    SetFocus();
    return TRUE;
}

BOOL CDrowselWnd::CreatePreview(uint64_t foreignParent, const std::string& handedOver)
{
    int width = 0, height = 0;
    if (!win::ForeignWindowSize(foreignParent, width, height)) {
        Logger::log("ERROR CDrowselWnd::CreatePreview no window %llu to show the preview in", 1,
                    static_cast<unsigned long long>(foreignParent));
        return FALSE;
    }
    preview = true;
    m_handedOver = handedOver;
    if (!CreateEx(0, nullptr, "Drowsel Preview", WS_POPUP, RECT{0, 0, width, height}, nullptr, 0)) return FALSE;
    win::EmbedInForeignWindow(m_hWnd, foreignParent);
    ShowWindow(SW_SHOW);
    return TRUE;
}

int CDrowselWnd::OnCreate(LPCREATESTRUCT cs)
{
    if (!LoadSaver(m_handedOver, cs->cx, cs->cy)) return -1;
    m_created = true;
    return 0;
}

BOOL CDrowselWnd::OnEraseBkgnd(CDC*)
{
    return TRUE;  // the frame covers everything it needs; the first one is black
}

void CDrowselWnd::OnPaint()
{
    CPaintDC dc(this);
    cleared = false;
    DrawFrame(dc);
}

void CDrowselWnd::OnTimer(UINT_PTR id)
{
    if (id != timerId || drawing) return;
    if (!Step()) return;
    CClientDC dc(this);
    DrawFrame(dc);
}

void CDrowselWnd::OnDestroy()
{
    SetSpeedTimer(0);
    if (!preview) ShowCursor(TRUE);
    CWnd::OnDestroy();
    if (m_created) PostQuitMessage(0);
}

bool CDrowselWnd::HandleInput(UINT message, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        PostMessage(WM_CLOSE);
        return true;
    case WM_MOUSEMOVE: {
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (!m_sawPointer) {
            m_sawPointer = true;
            m_firstPointer = at;
        } else if (at.x != m_firstPointer.x || at.y != m_firstPointer.y) {
            PostMessage(WM_CLOSE);
        }
        return true;
    }
    default: return false;
    }
}

LRESULT CDrowselWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!preview && m_hWnd) {
        switch (message) {
        case WM_SYSCOMMAND: {
            const UINT command = static_cast<UINT>(wParam & 0xFFF0);
            if (command == SC_SCREENSAVE || command == SC_CLOSE) return 0;
            break;
        }
        case WM_NCACTIVATE:
            if (!wParam) return FALSE;  // never drawn as inactive
            break;
        case WM_ACTIVATE:
            if (LOWORD(static_cast<DWORD>(wParam)) == WA_INACTIVE) PostMessage(WM_CLOSE);
            break;
        case WM_ACTIVATEAPP:
            if (!wParam) PostMessage(WM_CLOSE);
            break;
        default:
            if (HandleInput(message, lParam)) return 0;
            break;
        }
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

// The saver window: loads the picture or album named by the settings (or
// handed over), scales it to the window once, and on every tick of timer
// 100 scrolls it and draws the new frame with the caption below. It runs
// full screen (closing on any input) or as the preview inside another
// window (no input handling). The program's start-up makes one.
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "platform/win/dib.h"
#include "platform/win/wnd.h"

#include <cstdint>
#include <string>
#include <vector>

namespace drowsel {

// The profile section and keys of the saver's settings.
inline constexpr const char* kConfigSection = "Config";
inline constexpr UINT kSpeedTimerId = 100;
// The full-screen window's cursor resource (a blank one: it is hidden).
inline constexpr UINT kSaverCursorId = 129;
// The caption's leftmost and (from the right edge) rightmost place.
inline constexpr int kCaptionMargin = 150;

// Timer period for a speed in pixels a second: 1000 / |speed| ms up to 30,
// 30 ms above; 0 for speed 0 (no timer).
UINT SpeedTimerInterval(int speed);
// Milliseconds times pixels a second, rounded half away from zero, at least
// one pixel in the sign of `pixelsPerSecond` (which is not 0).
int StepPixels(int64_t elapsedMs, int pixelsPerSecond);

}  // namespace drowsel

class CDrowselWnd : public CWnd {
public:
    CDrowselWnd();
    ~CDrowselWnd() override;

    // The full-screen saver: a topmost popup of the screen's size. False
    // (an ERROR line) when nothing can be shown; the object stays the
    // caller's either way.
    BOOL CreateFullScreen(const std::string& handedOver);
    // The preview: a visible window filling the client area of another
    // program's window (its X11 window id); no input handling.
    BOOL CreatePreview(uint64_t foreignParent, const std::string& handedOver);

    // Loading for a client area of w x h: the settings, the picture name
    // (handed over, else the profile's; an album is read), the picture, the
    // times and the timer. False when there is nothing to show.
    bool LoadSaver(const std::string& handedOver, int w, int h);
    // Loads `imageName` for a window of w x h; false (an ERROR line) when it
    // cannot be read.
    bool LoadPicture(int w, int h);
    void SetSpeedTimer(int speed);
    // One animation step; true when the frame should be drawn.
    bool Step();
    void DrawFrame(CDC& dc);

    // Settings, in the profile's units.
    int speed = 30;
    int period = 5;
    int fovPercent = 70;
    std::string albumPath;
    std::string imageName;
    std::vector<std::string> albumEntries;
    int albumCount = 0;
    int albumIndex = 0;
    // The display image (3 channels, bitmap rows) and its DIB header with
    // the 256-entry grey palette.
    RefPtr<Image> picture;
    std::vector<unsigned char> bitmapInfo;
    int offsetX = 0;
    int offsetY = 0;
    int scrollX = 0;
    bool scrolls = false;
    bool bounces = false;
    bool direction = false;
    bool cleared = false;
    bool drawing = false;
    int captionX = drowsel::kCaptionMargin;
    int captionOldX = drowsel::kCaptionMargin;
    // Milliseconds on the runtime's monotonic clock (win::Clock).
    int64_t imageStart = 0;
    int64_t lastTick = 0;
    UINT_PTR timerId = 0;
    bool preview = false;
    int windowWidth = 0;

    BITMAPINFO* BitmapInfo() { return reinterpret_cast<BITMAPINFO*>(bitmapInfo.data()); }
    static std::string CaptionText();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnCreate(LPCREATESTRUCT cs) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

private:
    void ReadSettings();
    void SetBitmapHeader();
    // Full screen: input ends the saver.
    bool HandleInput(UINT message, LPARAM lParam);

    std::string m_handedOver;
    bool m_created = false;
    bool m_sawPointer = false;
    POINT m_firstPointer{0, 0};
};

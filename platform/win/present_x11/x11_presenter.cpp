#include "platform/win/present_x11/x11_presenter.h"

#include "platform/win/present_x11/x11_prompter.h"

#include "core/logger.h"
#include "platform/win/dialog.h"
#include "platform/win/message_queue.h"
#include "platform/win/screen_session.h"
#include "platform/win/shell.h"
#include "platform/win/system.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"
#include "platform/win/window_system.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <map>
#include <poll.h>
#include <string>

namespace win {

namespace {

struct Shown {
    Window xwindow = 0;
    int width = 0;
    int height = 0;
    uint64_t version = ~uint64_t{0};  // the surface version last put on the screen
    bool mapped = false;
    std::string title;
    uint64_t foreignParent = 0;  // the other program's window it lives in
    bool fullScreen = false;     // override-redirect, pointer and keyboard grabbed
    bool grabbed = false;
    bool blankCursor = false;
};

struct State {
    Display* display = nullptr;
    int screen = 0;
    Visual* visual = nullptr;
    int depth = 0;
    GC gc{};
    Atom deleteWindow = 0;
    std::map<HWND, Shown> windows;
    Time lastPress = 0;
    int lastX = -100;
    int lastY = -100;
    Window lastWindow = 0;
    InteractivePrompter prompter;
    bool ownsPrompter = false;  // installed by Start (a program's own prompter stays)
    Cursor blank = 0;           // shown while the program hides the cursor
};

State* g_state = nullptr;

WindowSystem& System()
{
    return WindowSystem::Get();
}

HWND WindowFor(Window xwindow)
{
    for (const auto& [hwnd, shown] : g_state->windows) {
        if (shown.xwindow == xwindow) return hwnd;
    }
    return nullptr;
}

// A topmost popup that covers the whole screen: a screen saver's window.
bool IsFullScreen(const WindowData& w)
{
    if (!(w.exStyle & WS_EX_TOPMOST) || !(w.style & WS_POPUP) || (w.style & WS_CAPTION) == WS_CAPTION) return false;
    return w.rect.left <= 0 && w.rect.top <= 0 && w.rect.right >= GetSystemMetrics(SM_CXSCREEN) &&
           w.rect.bottom >= GetSystemMetrics(SM_CYSCREEN);
}

// A cursor without visible pixels, made once.
Cursor BlankCursor()
{
    State& s = *g_state;
    if (!s.blank) {
        static const char nothing[1] = {0};
        const Pixmap pixmap = XCreateBitmapFromData(s.display, RootWindow(s.display, s.screen), nothing, 1, 1);
        XColor black{};
        s.blank = XCreatePixmapCursor(s.display, pixmap, pixmap, &black, &black, 0, 0);
        XFreePixmap(s.display, pixmap);
    }
    return s.blank;
}

void UpdateCursor(Shown& shown)
{
    const bool hide = CursorHidden();
    if (hide == shown.blankCursor) return;
    if (hide) XDefineCursor(g_state->display, shown.xwindow, BlankCursor());
    else XUndefineCursor(g_state->display, shown.xwindow);
    shown.blankCursor = hide;
}

// The pointer and the keyboard go to the full-screen window alone.
void Grab(Shown& shown)
{
    State& s = *g_state;
    XSync(s.display, False);
    XSetInputFocus(s.display, shown.xwindow, RevertToParent, CurrentTime);
    const int pointer = XGrabPointer(s.display, shown.xwindow, True,
                                     ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                                     GrabModeAsync, None, None, CurrentTime);
    const int keyboard = XGrabKeyboard(s.display, shown.xwindow, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    shown.grabbed = pointer == GrabSuccess && keyboard == GrabSuccess;
    if (!shown.grabbed)
        Logger::log("ERROR X11Presenter::Grab the display refused the grab (pointer %d, keyboard %d)", 1, pointer,
                    keyboard);
}

// Creates, places, titles, maps and unmaps the X windows after the runtime's.
void Sync()
{
    State& s = *g_state;
    for (auto it = s.windows.begin(); it != s.windows.end();) {
        if (!System().IsWindow(it->first)) {
            if (it->second.grabbed) {
                XUngrabPointer(s.display, CurrentTime);
                XUngrabKeyboard(s.display, CurrentTime);
            }
            if (it->second.xwindow) XDestroyWindow(s.display, it->second.xwindow);
            it = s.windows.erase(it);
        } else {
            ++it;
        }
    }
    for (HWND top : System().TopLevelWindows()) {
        WindowData* w = System().Find(top);
        if (!w || w->windowClass->name == "Desktop") continue;
        const bool visible = (w->style & WS_VISIBLE) && !(w->style & WS_MINIMIZE);
        const RECT client = System().ClientRect(top);
        const int width = std::max(1, static_cast<int>(client.right)), height = std::max(1, static_cast<int>(client.bottom));
        auto found = s.windows.find(top);
        if (found == s.windows.end()) {
            if (!visible) continue;
            const POINT origin = System().ClientOriginScreen(top);
            Shown shown;
            shown.foreignParent = ForeignParentOf(top);
            shown.fullScreen = !shown.foreignParent && IsFullScreen(*w);
            if (shown.foreignParent || shown.fullScreen) {
                // Inside another program's window, or over everything: no
                // window manager decorates or places it.
                XSetWindowAttributes attributes{};
                attributes.override_redirect = True;
                attributes.background_pixel = BlackPixel(s.display, s.screen);
                const Window parent = shown.foreignParent ? static_cast<Window>(shown.foreignParent)
                                                          : RootWindow(s.display, s.screen);
                const int x = shown.foreignParent ? 0 : origin.x, y = shown.foreignParent ? 0 : origin.y;
                shown.xwindow = XCreateWindow(s.display, parent, x, y, static_cast<unsigned>(width),
                                              static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                                              CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
            } else {
                shown.xwindow = XCreateSimpleWindow(s.display, RootWindow(s.display, s.screen), origin.x, origin.y,
                                                    static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0, 0);
            }
            shown.width = width;
            shown.height = height;
            XSelectInput(s.display, shown.xwindow,
                         ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask |
                             KeyReleaseMask | StructureNotifyMask | FocusChangeMask);
            XSetWMProtocols(s.display, shown.xwindow, &s.deleteWindow, 1);
            if (w->owner) {
                auto owner = s.windows.find(System().TopLevelOf(w->owner));
                if (owner != s.windows.end()) XSetTransientForHint(s.display, shown.xwindow, owner->second.xwindow);
            }
            // The runtime places its windows; the window manager is asked to keep that.
            XSizeHints hints{};
            hints.flags = PPosition | USPosition;
            hints.x = origin.x;
            hints.y = origin.y;
            XSetWMNormalHints(s.display, shown.xwindow, &hints);
            found = s.windows.emplace(top, shown).first;
        }
        Shown& shown = found->second;
        if (shown.title != w->text) {
            shown.title = w->text;
            XStoreName(s.display, shown.xwindow, shown.title.c_str());
        }
        if (shown.width != width || shown.height != height) {
            shown.width = width;
            shown.height = height;
            XResizeWindow(s.display, shown.xwindow, static_cast<unsigned>(width), static_cast<unsigned>(height));
            shown.version = ~uint64_t{0};
        }
        if (visible && !shown.mapped) {
            XMapRaised(s.display, shown.xwindow);
            shown.mapped = true;
            shown.version = ~uint64_t{0};
            if (shown.fullScreen) Grab(shown);
        } else if (!visible && shown.mapped) {
            XUnmapWindow(s.display, shown.xwindow);
            shown.mapped = false;
        }
        UpdateCursor(shown);
    }
}

// Puts every changed surface on the screen.
void Blit()
{
    State& s = *g_state;
    for (auto& [hwnd, shown] : s.windows) {
        if (!shown.mapped) continue;
        SurfaceView view;
        if (!WindowSurface(hwnd, view) || view.version == shown.version) continue;
        XImage* image = XCreateImage(s.display, s.visual, static_cast<unsigned>(s.depth), ZPixmap, 0,
                                     reinterpret_cast<char*>(view.data), static_cast<unsigned>(view.width),
                                     static_cast<unsigned>(view.height), 32, view.rowBytes);
        if (!image) continue;
        XPutImage(s.display, shown.xwindow, s.gc, image, 0, 0, 0, 0, static_cast<unsigned>(view.width),
                  static_cast<unsigned>(view.height));
        image->data = nullptr;  // the surface's memory stays the runtime's
        XDestroyImage(image);
        shown.version = view.version;
    }
    XFlush(s.display);
}

UINT Keys(unsigned state)
{
    UINT keys = 0;
    if (state & ShiftMask) keys |= MK_SHIFT;
    if (state & ControlMask) keys |= MK_CONTROL;
    if (state & Button1Mask) keys |= MK_LBUTTON;
    if (state & Button3Mask) keys |= MK_RBUTTON;
    return keys;
}

UINT VirtualKey(KeySym sym)
{
    switch (sym) {
    case XK_Return:
    case XK_KP_Enter: return VK_RETURN;
    case XK_Escape: return VK_ESCAPE;
    case XK_Left: return VK_LEFT;
    case XK_Right: return VK_RIGHT;
    case XK_Up: return VK_UP;
    case XK_Down: return VK_DOWN;
    case XK_Shift_L:
    case XK_Shift_R: return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R: return VK_CONTROL;
    case XK_space: return ' ';
    default: break;
    }
    if (sym >= XK_a && sym <= XK_z) return static_cast<UINT>('A' + (sym - XK_a));
    if (sym >= XK_A && sym <= XK_Z) return static_cast<UINT>(sym);
    if (sym >= XK_0 && sym <= XK_9) return static_cast<UINT>(sym);
    return 0;
}

void Pointer(HWND hwnd, UINT message, int x, int y, unsigned state)
{
    const POINT origin = System().ClientOriginScreen(hwnd);
    SetKeyDown(VK_SHIFT, (state & ShiftMask) != 0);
    SetKeyDown(VK_CONTROL, (state & ControlMask) != 0);
    MouseEvent(message, POINT{origin.x + x, origin.y + y}, Keys(state));
}

void HandleEvent(XEvent& e)
{
    State& s = *g_state;
    const HWND hwnd = WindowFor(e.xany.window);
    if (!hwnd || !System().IsWindow(hwnd)) return;
    switch (e.type) {
    case Expose:
        if (e.xexpose.count == 0) s.windows[hwnd].version = ~uint64_t{0};
        break;
    case ConfigureNotify: {
        // The user resized the window: the runtime window follows.
        Shown& shown = s.windows[hwnd];
        if (e.xconfigure.width == shown.width && e.xconfigure.height == shown.height) break;
        shown.width = e.xconfigure.width;
        shown.height = e.xconfigure.height;
        WindowData* w = System().Find(hwnd);
        const RECT in = System().NonClientInsets(*w);
        const RECT r = w->rect;
        System().SetWindowRect(hwnd, RECT{r.left, r.top, r.left + shown.width + in.left + in.right,
                                          r.top + shown.height + in.top + in.bottom});
        break;
    }
    case ButtonPress: {
        UINT message = 0;
        if (e.xbutton.button == Button1) {
            // A second press soon and near the first is a double click.
            const bool again = e.xbutton.window == s.lastWindow && e.xbutton.time - s.lastPress < 400 &&
                               std::abs(e.xbutton.x - s.lastX) <= 4 && std::abs(e.xbutton.y - s.lastY) <= 4;
            message = again ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
            s.lastPress = again ? 0 : e.xbutton.time;
            s.lastX = e.xbutton.x;
            s.lastY = e.xbutton.y;
            s.lastWindow = e.xbutton.window;
        } else if (e.xbutton.button == Button3) {
            message = WM_RBUTTONDOWN;
        } else if (e.xbutton.button == Button2) {
            message = WM_MBUTTONDOWN;
        }
        if (message) Pointer(hwnd, message, e.xbutton.x, e.xbutton.y, e.xbutton.state);
        break;
    }
    case ButtonRelease:
        if (e.xbutton.button == Button1) Pointer(hwnd, WM_LBUTTONUP, e.xbutton.x, e.xbutton.y, e.xbutton.state);
        if (e.xbutton.button == Button3) Pointer(hwnd, WM_RBUTTONUP, e.xbutton.x, e.xbutton.y, e.xbutton.state);
        if (e.xbutton.button == Button2) Pointer(hwnd, WM_MBUTTONUP, e.xbutton.x, e.xbutton.y, e.xbutton.state);
        break;
    case MotionNotify: Pointer(hwnd, WM_MOUSEMOVE, e.xmotion.x, e.xmotion.y, e.xmotion.state); break;
    case KeyPress:
    case KeyRelease: {
        char text[8] = {};
        KeySym sym = 0;
        const int n = XLookupString(&e.xkey, text, sizeof text, &sym, nullptr);
        if (e.xkey.state & Mod1Mask) {
            // With Alt held: a system key, to the window that has the keyboard.
            const UINT vk = VirtualKey(sym) ? VirtualKey(sym) : 0xFF;
            ::PostMessage(hwnd, e.type == KeyPress ? WM_SYSKEYDOWN : WM_SYSKEYUP, vk, 0x20000000);
            break;
        }
        if (const UINT vk = VirtualKey(sym)) KeyEvent(vk, e.type == KeyPress);
        else if (e.type == KeyPress && System().GetActiveWindow() == hwnd)
            ::PostMessage(hwnd, WM_KEYDOWN, 0xFF, 1);  // a key the runtime has no code for
        if (e.type == KeyPress) {
            if (sym == XK_BackSpace) CharEvent('\b');
            else if (n == 1 && static_cast<unsigned char>(text[0]) >= 32) CharEvent(text[0]);
        }
        break;
    }
    case FocusOut:
        // The user moved to another program (not a grab, not a child of ours).
        if (e.xfocus.mode == NotifyNormal && e.xfocus.detail != NotifyInferior && e.xfocus.detail != NotifyPointer &&
            e.xfocus.detail != NotifyPointerRoot && e.xfocus.detail != NotifyDetailNone) {
            Window focus = 0;
            int revert = 0;
            XGetInputFocus(s.display, &focus, &revert);
            if (!WindowFor(focus)) ApplicationActivation(false);
        }
        break;
    case DestroyNotify:
        // The other program's window went and took ours with it.
        if (const uint64_t foreign = s.windows[hwnd].foreignParent) {
            s.windows[hwnd].xwindow = 0;
            ForeignWindowGone(foreign);
        }
        break;
    case ClientMessage:
        if (static_cast<Atom>(e.xclient.data.l[0]) == s.deleteWindow) ::PostMessage(hwnd, WM_CLOSE, 0, 0);
        break;
    default: break;
    }
}

void ProcessEvents()
{
    while (XPending(g_state->display) > 0) {
        XEvent e;
        XNextEvent(g_state->display, &e);
        HandleEvent(e);
    }
}

// The message loop's hook: bring the screen up to date, take the input,
// wait up to `timeoutMs` for more.
void Poll(int timeoutMs)
{
    if (!g_state) return;
    Sync();
    ProcessEvents();
    Blit();
    if (timeoutMs > 0) {
        pollfd fd{ConnectionNumber(g_state->display), POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) > 0) ProcessEvents();
    }
}

bool g_xError = false;

int NoteXError(Display*, XErrorEvent*)
{
    g_xError = true;
    return 0;
}

// The client size of another program's window; false when the display has
// no such window (the error is caught, not fatal).
bool ForeignWindowGeometry(uint64_t id, int& width, int& height)
{
    if (!g_state || id == 0 || id > 0xFFFFFFFFu) return false;
    XSync(g_state->display, False);
    g_xError = false;
    auto previous = XSetErrorHandler(NoteXError);
    XWindowAttributes attributes{};
    const Status ok = XGetWindowAttributes(g_state->display, static_cast<Window>(id), &attributes);
    XSync(g_state->display, False);
    XSetErrorHandler(previous);
    if (!ok || g_xError) return false;
    width = attributes.width;
    height = attributes.height;
    return true;
}

}  // namespace

bool X11Presenter::Start(const char* displayName)
{
    if (g_state) return true;
    Display* display = XOpenDisplay(displayName);
    if (!display) {
        Logger::log("ERROR X11Presenter::Start no display %s", 1, displayName ? displayName : "(DISPLAY)");
        return false;
    }
    const int screen = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, screen);
    const int depth = DefaultDepth(display, screen);
    // Surfaces are B, G, R, unused bytes: a 24-bit true-colour visual with
    // red in the high byte takes them as they are.
    if ((depth != 24 && depth != 32) || visual->red_mask != 0xFF0000 || visual->green_mask != 0xFF00 ||
        visual->blue_mask != 0xFF) {
        Logger::log("ERROR X11Presenter::Start the display needs a 24-bit true-colour visual", 1);
        XCloseDisplay(display);
        return false;
    }
    g_state = new State();
    g_state->display = display;
    g_state->screen = screen;
    g_state->visual = visual;
    g_state->depth = depth;
    g_state->gc = DefaultGC(display, screen);
    g_state->deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    SetScreenSize(DisplayWidth(display, screen), DisplayHeight(display, screen));
    SetInteractive(true);
    SetShellLaunching(true);
    if (!InstalledPrompter()) {
        SetPrompter(&g_state->prompter);
        g_state->ownsPrompter = true;
    }
    MessageQueue::Get().SetEventSource([](int timeoutMs) { Poll(timeoutMs); });
    SetForeignWindowLookup([](uint64_t id, int& width, int& height) { return ForeignWindowGeometry(id, width, height); });
    return true;
}

void X11Presenter::Stop()
{
    if (!g_state) return;
    MessageQueue::Get().SetEventSource(nullptr);
    SetInteractive(false);
    SetShellLaunching(false);
    if (g_state->ownsPrompter && InstalledPrompter() == &g_state->prompter) SetPrompter(nullptr);
    SetForeignWindowLookup(nullptr);
    for (auto& [hwnd, shown] : g_state->windows)
        if (shown.xwindow) XDestroyWindow(g_state->display, shown.xwindow);
    if (g_state->blank) XFreeCursor(g_state->display, g_state->blank);
    XCloseDisplay(g_state->display);
    delete g_state;
    g_state = nullptr;
}

bool X11Presenter::Running()
{
    return g_state != nullptr;
}

void X11Presenter::Flush()
{
    if (!g_state) return;
    Sync();
    PaintAll();
    Blit();
    XSync(g_state->display, False);
    ProcessEvents();
}

unsigned long X11Presenter::XWindowOf(HWND topLevel)
{
    if (!g_state) return 0;
    auto it = g_state->windows.find(topLevel);
    return it == g_state->windows.end() ? 0 : it->second.xwindow;
}

}  // namespace win

#include "platform/win/window_system.h"

#include "core/logger.h"
#include "platform/win/message_queue.h"
#include "platform/win/system.h"
#include "platform/win/wnd.h"

#include <algorithm>
#include <cstring>

namespace win {

// Defined with the controls and the painting code; they register the
// built-in window classes and paint the default backgrounds.
void RegisterControlClasses(WindowSystem& system);
void PaintWindowBackground(HWND hwnd, CDC* dc);
void DefaultPaint(HWND hwnd);
void ApplyClassCursor(HWND hwnd);

void ControlModel::Paint(WindowData&, CDC&) {}

WindowSystem& WindowSystem::Get()
{
    static WindowSystem* system = new WindowSystem();  // lives for the process
    return *system;
}

WindowSystem::WindowSystem() : m_uiThread(std::this_thread::get_id())
{
    RegisterBuiltInClasses();
}

void WindowSystem::RegisterBuiltInClasses()
{
    RegisterClass({"Wnd", nullptr, nullptr, COLOR_WINDOW, IDC_ARROW});
    RegisterClass({"Desktop", nullptr, nullptr, COLOR_BACKGROUND, IDC_ARROW});
    RegisterControlClasses(*this);
}

const WindowClass* WindowSystem::FindClass(const std::string& name) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& c : m_classes) {
        if (strcasecmp(c->name.c_str(), name.c_str()) == 0) return c.get();
    }
    return nullptr;
}

const WindowClass* WindowSystem::RegisterClass(WindowClass windowClass)
{
    if (const WindowClass* existing = FindClass(windowClass.name)) return existing;
    std::lock_guard<std::mutex> guard(m_lock);
    m_classes.push_back(std::make_unique<WindowClass>(std::move(windowClass)));
    return m_classes.back().get();
}

const WindowClass* WindowSystem::RegisterClassName(const std::string& name)
{
    return RegisterClass({name, nullptr, nullptr, COLOR_WINDOW, IDC_ARROW});
}

WindowData* WindowSystem::Find(HWND hwnd) const
{
    if (!hwnd) return nullptr;
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_windows.find(KeyOf(hwnd));
    return it == m_windows.end() ? nullptr : it->second.get();
}

bool WindowSystem::IsWindow(HWND hwnd) const
{
    WindowData* w = Find(hwnd);
    return w != nullptr;
}

std::vector<HWND> WindowSystem::TopLevelWindows() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_topLevel;
}

std::vector<HWND> WindowSystem::Children(HWND parent) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_windows.find(KeyOf(parent));
    return it == m_windows.end() ? std::vector<HWND>() : it->second->children;
}

HWND WindowSystem::ChildById(HWND parent, UINT id) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_windows.find(KeyOf(parent));
    if (it == m_windows.end()) return nullptr;
    for (HWND child : it->second->children) {
        auto c = m_windows.find(KeyOf(child));
        if (c != m_windows.end() && c->second->id == id) return child;
    }
    return nullptr;
}

std::vector<HWND> WindowSystem::AllWindows() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<HWND> all;
    for (const auto& [key, w] : m_windows) all.push_back(w->hwnd);
    return all;
}

HWND WindowSystem::Create(DWORD exStyle, const char* className, const char* text, DWORD style, const RECT& rect,
                          HWND parent, UINT idOrMenu, void* createParam, CWnd* object)
{
    if (!IsUiThread()) {
        Logger::log("ERROR WindowSystem::Create windows are created on the user-interface thread", 1);
        return nullptr;
    }
    const WindowClass* cls = FindClass(className && *className ? className : "Wnd");
    if (!cls) {
        Logger::log("ERROR WindowSystem::Create unknown window class %s", 1, className);
        return nullptr;
    }
    WindowData* parentData = Find(parent);
    if ((style & WS_CHILD) && !parentData) {
        Logger::log("ERROR WindowSystem::Create child window without a live parent", 1);
        return nullptr;
    }
    if (parentData && parentData->destroying) return nullptr;

    auto data = std::make_unique<WindowData>();
    WindowData* w = data.get();
    w->windowClass = cls;
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->rect = rect;
    w->normalRect = rect;
    w->text = text ? text : "";
    if (style & WS_CHILD) {
        w->parent = parent;
        w->id = idOrMenu;
    } else {
        w->owner = parent;  // a top-level window's "parent" is its owner
        w->menu = reinterpret_cast<HMENU>(static_cast<uintptr_t>(idOrMenu));
    }
    if (cls->makeModel) w->model = cls->makeModel();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        w->hwnd = HandleOf(m_nextHandle);
        m_nextHandle += 4;
        m_windows.emplace(KeyOf(w->hwnd), std::move(data));
        if (style & WS_CHILD) parentData->children.push_back(w->hwnd);  // bottom of the z-order
        else m_topLevel.insert(m_topLevel.begin(), w->hwnd);
    }
    const HWND hwnd = w->hwnd;
    if (object) {
        object->m_hWnd = hwnd;
        object->m_hadWindow = true;
        w->object = object;
    } else {
        CWnd* wrapper = cls->makeWrapper ? cls->makeWrapper() : new CWnd();
        wrapper->m_hWnd = hwnd;
        w->object = wrapper;
        w->ownsObject = true;
    }

    CREATESTRUCT cs{};
    cs.lpCreateParams = createParam;
    cs.hMenu = w->menu;
    cs.hwndParent = parent;
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = text;
    cs.lpszClass = cls->name.c_str();
    cs.dwExStyle = exStyle;
    if (Call(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        Destroy(hwnd);
        return nullptr;
    }
    if (!Find(hwnd)) return nullptr;  // the handler destroyed it
    w->created = true;
    const RECT client = ClientRect(hwnd);
    Call(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    if (!Find(hwnd)) return nullptr;
    Call(hwnd, WM_MOVE, 0, MAKEPOINTLPARAM(w->rect.left, w->rect.top));
    if (!Find(hwnd)) return nullptr;
    if (style & WS_VISIBLE) Show(hwnd, (style & WS_CHILD) ? SW_SHOWNA : SW_SHOW);
    return Find(hwnd) ? hwnd : nullptr;
}

void WindowSystem::DestroyRecursive(HWND hwnd, std::vector<HWND>& order)
{
    WindowData* w = Find(hwnd);
    if (!w || w->destroying) return;
    // Windows owned by this one go first (dialogs of a frame).
    for (HWND top : TopLevelWindows()) {
        WindowData* t = Find(top);
        if (t && t->owner == hwnd) DestroyRecursive(top, order);
    }
    w = Find(hwnd);
    if (!w || w->destroying) return;
    w->destroying = true;
    order.push_back(hwnd);
    Call(hwnd, WM_DESTROY, 0, 0);
    w = Find(hwnd);
    if (!w) return;
    const std::vector<HWND> children = w->children;
    for (HWND child : children) DestroyRecursive(child, order);
}

void WindowSystem::RemoveFromParent(WindowData& w)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (w.parent) {
        auto it = m_windows.find(KeyOf(w.parent));
        if (it != m_windows.end()) {
            auto& siblings = it->second->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), w.hwnd), siblings.end());
        }
    } else {
        m_topLevel.erase(std::remove(m_topLevel.begin(), m_topLevel.end(), w.hwnd), m_topLevel.end());
    }
}

bool WindowSystem::Destroy(HWND hwnd)
{
    WindowData* w = Find(hwnd);
    if (!w || w->destroying) return false;
    if (!IsUiThread()) {
        Logger::log("ERROR WindowSystem::Destroy windows are destroyed on the user-interface thread", 1);
        return false;
    }
    const bool wasActive = (m_active == hwnd);
    if (w->style & WS_VISIBLE) {
        w->style &= ~WS_VISIBLE;
        if (w->parent) Invalidate(w->parent, nullptr, true);
    }
    std::vector<HWND> order;
    DestroyRecursive(hwnd, order);
    // WM_NCDESTROY from the leaves up; then the handles go stale.
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const HWND h = *it;
        MessageQueue::Get().KillTimersOf(h);
        if (m_focus == h) m_focus = nullptr;
        if (m_capture == h) m_capture = nullptr;
        if (m_active == h) m_active = nullptr;
        WindowData* before = Find(h);
        if (!before) continue;
        CWnd* object = before->object;
        const bool owned = before->ownsObject;
        // The object's OnNcDestroy detaches it and may delete it (frames and
        // views do): after this call it is touched only when it stayed attached.
        Call(h, WM_NCDESTROY, 0, 0);
        WindowData* d = Find(h);
        if (!d) continue;
        std::vector<CWnd*> retired = std::move(d->retiredObjects);
        if (d->object && d->object == object) d->object->m_hWnd = nullptr;
        d->object = nullptr;
        CWnd* ownedObject = owned ? object : nullptr;
        RemoveFromParent(*d);
        std::unique_ptr<WindowData> dying;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            auto found = m_windows.find(KeyOf(h));
            dying = std::move(found->second);
            m_windows.erase(found);
        }
        delete ownedObject;
        for (CWnd* r : retired) delete r;
    }
    if (wasActive) {
        for (HWND top : TopLevelWindows()) {
            if (IsVisible(top)) {
                SetActiveWindow(top);
                break;
            }
        }
    }
    return true;
}

void WindowSystem::DestroyAll()
{
    // Owned windows go with their owners; loop until nothing is left.
    for (int guard = 0; guard < 1000; ++guard) {
        std::vector<HWND> tops = TopLevelWindows();
        if (tops.empty()) break;
        Destroy(tops.back());
    }
    m_focus = m_capture = m_active = nullptr;
    m_desktop = nullptr;
}

LRESULT WindowSystem::Call(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowData* w = Find(hwnd);
    if (!w) return 0;
    if (CWnd* object = w->object) return object->WindowProc(message, wParam, lParam);
    return DefaultProc(hwnd, message, wParam, lParam);
}

LRESULT WindowSystem::DefaultProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowData* w = Find(hwnd);
    if (!w) return 0;
    if (w->model) {
        LRESULT result = 0;
        if (w->model->Handle(*w, message, wParam, lParam, result)) return result;
        w = Find(hwnd);
        if (!w) return 0;
    }
    switch (message) {
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        Invalidate(hwnd, nullptr, true);
        return TRUE;
    case WM_GETTEXT: {
        if (wParam == 0 || !lParam) return 0;
        const size_t n = std::min<size_t>(w->text.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), w->text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_CLOSE:
        Destroy(hwnd);
        return 0;
    case WM_PAINT:
        DefaultPaint(hwnd);
        Validate(hwnd, nullptr);
        return 0;
    case WM_ERASEBKGND:
        PaintWindowBackground(hwnd, reinterpret_cast<CDC*>(wParam));
        return 1;
    case WM_SETCURSOR:
        // A parent may decide for its children first.
        if (w->parent && Call(w->parent, WM_SETCURSOR, wParam, lParam)) return TRUE;
        ApplyClassCursor(hwnd);
        return TRUE;
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL:
        if (w->parent) return Call(w->parent, message, wParam, lParam);
        return 0;
    default:
        return 0;
    }
}

CWnd* WindowSystem::ObjectOf(HWND hwnd) const
{
    if (!hwnd) return nullptr;
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_windows.find(KeyOf(hwnd));
    return it == m_windows.end() ? nullptr : it->second->object;
}

bool WindowSystem::AttachObject(HWND hwnd, CWnd* object)
{
    WindowData* w = Find(hwnd);
    if (!w || !object) return false;
    std::lock_guard<std::mutex> guard(m_lock);
    if (w->object == object) return true;
    if (w->object && !w->ownsObject) return false;  // the program's own object holds it
    if (w->object) {
        // Callers may still hold the runtime-made wrapper: keep it until the
        // window goes.
        w->object->m_hWnd = nullptr;
        w->retiredObjects.push_back(w->object);
    }
    w->object = object;
    w->ownsObject = false;
    object->m_hWnd = hwnd;
    return true;
}

void WindowSystem::DetachObject(HWND hwnd, CWnd* object)
{
    WindowData* w = Find(hwnd);
    if (!w || w->object != object) return;
    std::lock_guard<std::mutex> guard(m_lock);
    object->m_hWnd = nullptr;
    CWnd* wrapper = w->windowClass->makeWrapper ? w->windowClass->makeWrapper() : new CWnd();
    wrapper->m_hWnd = hwnd;
    w->object = wrapper;
    w->ownsObject = true;
}

RECT WindowSystem::NonClientInsets(const WindowData& w) const
{
    int border = 0;
    if (w.style & WS_THICKFRAME) border = kFrameBorder;
    else if ((w.style & WS_DLGFRAME) || (w.exStyle & WS_EX_DLGMODALFRAME)) border = kDialogFrameBorder;
    else if (w.style & WS_BORDER) border = 1;
    if (w.exStyle & WS_EX_CLIENTEDGE) border += kClientEdge;
    RECT r{border, border, border, border};
    if ((w.style & WS_CAPTION) == WS_CAPTION) r.top += kCaptionHeight;
    if (!(w.style & WS_CHILD) && w.menu) r.top += kMenuHeight;
    if (w.style & WS_VSCROLL) r.right += kScrollBarThickness;
    if (w.style & WS_HSCROLL) r.bottom += kScrollBarThickness;
    return r;
}

RECT WindowSystem::ClientRect(HWND hwnd) const
{
    WindowData* w = Find(hwnd);
    if (!w) return RECT{0, 0, 0, 0};
    const RECT in = NonClientInsets(*w);
    const int width = (w->rect.right - w->rect.left) - in.left - in.right;
    const int height = (w->rect.bottom - w->rect.top) - in.top - in.bottom;
    return RECT{0, 0, std::max(0, width), std::max(0, height)};
}

POINT WindowSystem::ClientOriginScreen(HWND hwnd) const
{
    WindowData* w = Find(hwnd);
    if (!w) return POINT{0, 0};
    const RECT in = NonClientInsets(*w);
    POINT p{w->rect.left + in.left, w->rect.top + in.top};
    if (w->parent) {
        const POINT o = ClientOriginScreen(w->parent);
        p.x += o.x;
        p.y += o.y;
    }
    return p;
}

RECT WindowSystem::WindowRectScreen(HWND hwnd) const
{
    WindowData* w = Find(hwnd);
    if (!w) return RECT{0, 0, 0, 0};
    RECT r = w->rect;
    if (w->parent) {
        const POINT o = ClientOriginScreen(w->parent);
        r.left += o.x;
        r.right += o.x;
        r.top += o.y;
        r.bottom += o.y;
    }
    return r;
}

void WindowSystem::SetWindowRect(HWND hwnd, const RECT& rect, bool notify)
{
    WindowData* w = Find(hwnd);
    if (!w) return;
    const RECT oldRect = w->rect;
    const RECT oldClient = ClientRect(hwnd);
    if (oldRect.left == rect.left && oldRect.top == rect.top && oldRect.right == rect.right &&
        oldRect.bottom == rect.bottom)
        return;
    if (w->parent && (w->style & WS_VISIBLE)) Invalidate(w->parent, nullptr, true, false);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        w->rect = rect;
        if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->normalRect = rect;
    }
    Invalidate(hwnd, nullptr, true);
    if (!notify) return;
    if (oldRect.left != rect.left || oldRect.top != rect.top)
        Call(hwnd, WM_MOVE, 0, MAKEPOINTLPARAM(rect.left, rect.top));
    w = Find(hwnd);
    if (!w) return;
    const RECT client = ClientRect(hwnd);
    if (client.right != oldClient.right || client.bottom != oldClient.bottom) {
        const UINT type = (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED;
        Call(hwnd, WM_SIZE, type, MAKELPARAM(client.right, client.bottom));
    }
}

void WindowSystem::NonClientChanged(HWND hwnd, const RECT& oldClient)
{
    WindowData* w = Find(hwnd);
    if (!w || !w->created) return;
    const RECT client = ClientRect(hwnd);
    if (client.right != oldClient.right || client.bottom != oldClient.bottom) {
        Invalidate(hwnd, nullptr, true);
        Call(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    }
}

bool WindowSystem::SetZOrder(HWND hwnd, HWND insertAfter)
{
    WindowData* w = Find(hwnd);
    if (!w) return false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::vector<HWND>* list = &m_topLevel;
        if (w->parent) {
            auto it = m_windows.find(KeyOf(w->parent));
            if (it == m_windows.end()) return false;
            list = &it->second->children;
        }
        list->erase(std::remove(list->begin(), list->end(), hwnd), list->end());
        if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST) {
            list->insert(list->begin(), hwnd);
        } else if (insertAfter == HWND_BOTTOM || insertAfter == HWND_NOTOPMOST) {
            if (insertAfter == HWND_NOTOPMOST) list->insert(list->begin(), hwnd);
            else list->push_back(hwnd);
        } else {
            auto pos = std::find(list->begin(), list->end(), insertAfter);
            if (pos == list->end()) list->insert(list->begin(), hwnd);
            else list->insert(pos + 1, hwnd);
        }
    }
    Invalidate(hwnd, nullptr, true);
    return true;
}

void WindowSystem::BringToTop(HWND hwnd)
{
    SetZOrder(hwnd, HWND_TOP);
}

HWND WindowSystem::ChildFromPoint(HWND parent, POINT client) const
{
    WindowData* p = Find(parent);
    if (!p) return nullptr;
    for (HWND child : p->children) {
        WindowData* c = Find(child);
        if (!c || !(c->style & WS_VISIBLE)) continue;
        if (client.x >= c->rect.left && client.x < c->rect.right && client.y >= c->rect.top &&
            client.y < c->rect.bottom)
            return child;
    }
    return nullptr;
}

HWND WindowSystem::WindowFromPoint(POINT screen) const
{
    for (HWND top : TopLevelWindows()) {
        WindowData* t = Find(top);
        if (!t || !(t->style & WS_VISIBLE) || top == m_desktop) continue;
        if (screen.x < t->rect.left || screen.x >= t->rect.right || screen.y < t->rect.top ||
            screen.y >= t->rect.bottom)
            continue;
        HWND found = top;
        for (;;) {
            const POINT o = ClientOriginScreen(found);
            const HWND child = ChildFromPoint(found, POINT{screen.x - o.x, screen.y - o.y});
            if (!child) break;
            found = child;
        }
        return found;
    }
    return nullptr;
}

bool WindowSystem::Show(HWND hwnd, int command)
{
    WindowData* w = Find(hwnd);
    if (!w) return false;
    const bool wasVisible = (w->style & WS_VISIBLE) != 0;
    if (command == SW_HIDE) {
        if (!wasVisible) return false;
        w->style &= ~WS_VISIBLE;
        Call(hwnd, WM_SHOWWINDOW, FALSE, 0);
        if (!Find(hwnd)) return true;
        if (w->parent) Invalidate(w->parent, nullptr, true);
        if (m_focus && (m_focus == hwnd)) m_focus = nullptr;
        if (m_active == hwnd) {
            m_active = nullptr;
            for (HWND top : TopLevelWindows()) {
                if (top != hwnd && IsVisible(top)) {
                    SetActiveWindow(top);
                    break;
                }
            }
        }
        return true;
    }
    const RECT oldClient = ClientRect(hwnd);
    const DWORD oldStyle = w->style;
    w->style |= WS_VISIBLE;
    if (!wasVisible) {
        Call(hwnd, WM_SHOWWINDOW, TRUE, 0);
        w = Find(hwnd);
        if (!w) return false;
    }
    switch (command) {
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        w->style = (w->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
        if (!(oldStyle & WS_MINIMIZE)) Call(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
        break;
    case SW_MAXIMIZE: {
        RECT area{0, 0, 0, 0};
        if (w->parent) area = ClientRect(w->parent);
        else {
            area.right = ::GetSystemMetrics(SM_CXSCREEN);
            area.bottom = ::GetSystemMetrics(SM_CYSCREEN);
        }
        if (!(oldStyle & (WS_MINIMIZE | WS_MAXIMIZE))) w->normalRect = w->rect;
        w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
        w->rect = area;
        const RECT client = ClientRect(hwnd);
        Call(hwnd, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(client.right, client.bottom));
        break;
    }
    case SW_RESTORE:
    case SW_SHOWNORMAL:
        if (oldStyle & (WS_MINIMIZE | WS_MAXIMIZE)) {
            w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
            w->rect = w->normalRect;
            const RECT client = ClientRect(hwnd);
            Call(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
        }
        break;
    default:
        break;
    }
    (void)oldClient;
    if (!Find(hwnd)) return wasVisible;
    Invalidate(hwnd, nullptr, true);
    const bool activates = command != SW_SHOWNA && command != SW_SHOWNOACTIVATE && command != SW_MINIMIZE &&
                           command != SW_SHOWMINIMIZED;
    if (activates && !Find(hwnd)->parent) SetActiveWindow(hwnd);
    return wasVisible;
}

bool WindowSystem::IsVisible(HWND hwnd) const
{
    for (WindowData* w = Find(hwnd); w; w = Find(w->parent)) {
        if (!(w->style & WS_VISIBLE)) return false;
        if (!w->parent) return true;
    }
    return false;
}

bool WindowSystem::Enable(HWND hwnd, bool enable)
{
    WindowData* w = Find(hwnd);
    if (!w) return false;
    const bool wasDisabled = (w->style & WS_DISABLED) != 0;
    if (wasDisabled == !enable) return wasDisabled;
    if (enable) w->style &= ~WS_DISABLED;
    else w->style |= WS_DISABLED;
    if (!enable && m_focus == hwnd) SetFocus(nullptr);
    Call(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    Invalidate(hwnd, nullptr, true);
    return wasDisabled;
}

HWND WindowSystem::SetFocus(HWND hwnd)
{
    const HWND old = m_focus;
    if (hwnd == old) return old;
    if (hwnd && !Find(hwnd)) return nullptr;
    m_focus = hwnd;
    if (old && Find(old)) Call(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && Find(hwnd) && m_focus == hwnd) Call(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND WindowSystem::SetCapture(HWND hwnd)
{
    const HWND old = m_capture;
    m_capture = Find(hwnd) ? hwnd : nullptr;
    return old;
}

void WindowSystem::ReleaseCapture()
{
    m_capture = nullptr;
}

HWND WindowSystem::TopLevelOf(HWND hwnd) const
{
    WindowData* w = Find(hwnd);
    while (w && w->parent) w = Find(w->parent);
    return w ? w->hwnd : nullptr;
}

HWND WindowSystem::SetActiveWindow(HWND hwnd)
{
    hwnd = TopLevelOf(hwnd);
    const HWND old = m_active;
    if (hwnd == old) return old;
    m_active = hwnd;
    if (old && Find(old)) Call(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    if (hwnd && Find(hwnd)) {
        BringToTop(hwnd);
        Call(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
    }
    return old;
}

void WindowSystem::Invalidate(HWND hwnd, const RECT* rect, bool erase, bool children)
{
    WindowData* w = Find(hwnd);
    if (!w || w->destroying) return;
    const RECT client = ClientRect(hwnd);
    CRect area = rect ? CRect(*rect) : CRect(client);
    CRect clipped;
    clipped.IntersectRect(area, client);
    if (rect && clipped.IsRectEmpty() && !children) return;
    CRect update;
    if (w->invalid) update.UnionRect(w->updateRect, clipped);
    else update = clipped;
    w->updateRect = update;
    w->invalid = true;
    w->eraseBackground = w->eraseBackground || erase;
    if (!children) return;
    // Children cover parts of their parent's surface: they paint again after it.
    for (HWND child : w->children) Invalidate(child, nullptr, erase, true);
}

void WindowSystem::Validate(HWND hwnd, const RECT*)
{
    WindowData* w = Find(hwnd);
    if (!w) return;
    w->invalid = false;
    w->eraseBackground = false;
    w->updateRect = RECT{0, 0, 0, 0};
}

namespace {
HWND FindInvalid(const WindowSystem& system, HWND hwnd)
{
    WindowData* w = system.Find(hwnd);
    if (!w || !(w->style & WS_VISIBLE) || w->destroying) return nullptr;
    if (w->invalid) return hwnd;
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        if (HWND found = FindInvalid(system, *it)) return found;
    }
    return nullptr;
}
}  // namespace

HWND WindowSystem::NextWindowToPaint() const
{
    const std::vector<HWND> tops = TopLevelWindows();
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        if (HWND found = FindInvalid(*this, *it)) return found;
    }
    return nullptr;
}

HWND WindowSystem::DesktopWindow()
{
    if (m_desktop && Find(m_desktop)) return m_desktop;
    if (!IsUiThread()) return nullptr;
    const RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    m_desktop = Create(0, "Desktop", "", WS_POPUP, screen, nullptr, 0, nullptr, nullptr);
    // The desktop stays below every other top-level window.
    if (m_desktop) SetZOrder(m_desktop, HWND_BOTTOM);
    return m_desktop;
}

HWND WindowSystem::FindWindowByText(const char* className, const char* text) const
{
    for (HWND top : TopLevelWindows()) {
        WindowData* w = Find(top);
        if (!w) continue;
        if (className && strcasecmp(w->windowClass->name.c_str(), className) != 0) continue;
        if (text && w->text != text) continue;
        return top;
    }
    return nullptr;
}

}  // namespace win

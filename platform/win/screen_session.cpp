#include "platform/win/screen_session.h"

#include "platform/win/window_system.h"
#include "platform/win/wnd.h"

#include <map>
#include <mutex>
#include <utility>

namespace win {

namespace {

struct Session {
    std::mutex lock;
    int cursorCount = 0;
    ForeignWindowLookup lookup;
    std::map<uint64_t, std::pair<int, int>> declared;
    std::map<HWND, uint64_t> embedded;
};

Session& State()
{
    static Session* session = new Session();  // lives for the process
    return *session;
}

}  // namespace

bool CursorHidden()
{
    Session& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.cursorCount < 0;
}

void SetForeignWindowLookup(ForeignWindowLookup lookup)
{
    Session& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.lookup = std::move(lookup);
}

void DeclareForeignWindow(uint64_t id, int width, int height)
{
    Session& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.declared[id] = {width, height};
}

bool ForeignWindowSize(uint64_t id, int& width, int& height)
{
    ForeignWindowLookup lookup;
    {
        Session& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = s.declared.find(id);
        if (it != s.declared.end()) {
            width = it->second.first;
            height = it->second.second;
            return true;
        }
        lookup = s.lookup;
    }
    return id != 0 && lookup && lookup(id, width, height);
}

void EmbedInForeignWindow(HWND hwnd, uint64_t foreignId)
{
    Session& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.embedded[hwnd] = foreignId;
}

uint64_t ForeignParentOf(HWND hwnd)
{
    Session& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.embedded.find(hwnd);
    if (it == s.embedded.end()) return 0;
    if (!WindowSystem::Get().IsWindow(hwnd)) {
        s.embedded.erase(it);
        return 0;
    }
    return it->second;
}

void ForeignWindowGone(uint64_t foreignId)
{
    std::vector<HWND> inside;
    {
        Session& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        for (auto it = s.embedded.begin(); it != s.embedded.end();) {
            if (it->second == foreignId) {
                inside.push_back(it->first);
                it = s.embedded.erase(it);
            } else {
                ++it;
            }
        }
        s.declared.erase(foreignId);
    }
    for (HWND hwnd : inside)
        if (WindowSystem::Get().IsWindow(hwnd)) ::DestroyWindow(hwnd);
}

void ApplicationActivation(bool active)
{
    WindowSystem& system = WindowSystem::Get();
    if (!active) {
        if (HWND was = system.GetActiveWindow(); was && system.IsWindow(was))
            ::SendMessage(was, WM_ACTIVATE, WA_INACTIVE, 0);
    }
    for (HWND top : system.TopLevelWindows())
        if (system.IsWindow(top)) ::SendMessage(top, WM_ACTIVATEAPP, active ? TRUE : FALSE, 0);
}

void ResetScreenSession()
{
    Session& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.cursorCount = 0;
    s.declared.clear();
    s.embedded.clear();
}

}  // namespace win

int ShowCursor(BOOL show)
{
    win::Session& s = win::State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.cursorCount += show ? 1 : -1;
    return s.cursorCount;
}

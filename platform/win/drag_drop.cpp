#include "platform/win/drag_drop.h"

#include "core/logger.h"
#include "platform/win/clipboard.h"
#include "platform/win/prompter.h"
#include "platform/win/window_system.h"
#include "platform/win/wnd.h"

#include <cstring>
#include <memory>
#include <mutex>

namespace {

struct Drop {
    std::vector<std::string> paths;
    POINT point;
};

std::mutex g_lock;
std::map<uintptr_t, std::unique_ptr<Drop>>& Drops()
{
    static auto* drops = new std::map<uintptr_t, std::unique_ptr<Drop>>();
    return *drops;
}
uintptr_t g_nextDrop = 0x70000;

std::map<HWND, COleDropTarget*>& Targets()
{
    static auto* targets = new std::map<HWND, COleDropTarget*>();
    return *targets;
}

Drop* FindDrop(HDROP drop)
{
    auto it = Drops().find(reinterpret_cast<uintptr_t>(drop));
    return it == Drops().end() ? nullptr : it->second.get();
}

}  // namespace

UINT DragQueryFile(HDROP drop, UINT index, char* buffer, UINT size)
{
    std::lock_guard<std::mutex> guard(g_lock);
    Drop* d = FindDrop(drop);
    if (!d) return 0;
    if (index == 0xFFFFFFFF) return static_cast<UINT>(d->paths.size());
    if (index >= d->paths.size()) return 0;
    const std::string& path = d->paths[index];
    if (buffer && size > 0) {
        const size_t n = std::min<size_t>(path.size(), size - 1);
        std::memcpy(buffer, path.data(), n);
        buffer[n] = '\0';
        return static_cast<UINT>(n);
    }
    return static_cast<UINT>(path.size());
}

BOOL DragQueryPoint(HDROP drop, POINT* point)
{
    std::lock_guard<std::mutex> guard(g_lock);
    Drop* d = FindDrop(drop);
    if (!d || !point) return FALSE;
    *point = d->point;
    return TRUE;
}

void DragFinish(HDROP drop)
{
    std::lock_guard<std::mutex> guard(g_lock);
    Drops().erase(reinterpret_cast<uintptr_t>(drop));
}

void DragAcceptFiles(HWND hwnd, BOOL accept)
{
    if (CWnd* w = CWnd::FromHandle(hwnd)) w->DragAcceptFiles(accept);
}

namespace win {

HDROP MakeDrop(const std::vector<std::string>& paths, POINT clientPoint)
{
    std::lock_guard<std::mutex> guard(g_lock);
    const uintptr_t key = g_nextDrop;
    g_nextDrop += 4;
    Drops().emplace(key, std::make_unique<Drop>(Drop{paths, clientPoint}));
    return reinterpret_cast<HDROP>(key);
}

size_t LiveDropCount()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return Drops().size();
}

void ResetDragDrop()
{
    std::lock_guard<std::mutex> guard(g_lock);
    Drops().clear();
    Targets().clear();
}

}  // namespace win

// ---- COleDataObject -----------------------------------------------------------------

BOOL COleDataObject::IsDataAvailable(CLIPFORMAT format) const
{
    return (m_data && m_data->count(format)) ? TRUE : FALSE;
}

HGLOBAL COleDataObject::GetGlobalData(CLIPFORMAT format) const
{
    if (!m_data) return nullptr;
    auto it = m_data->find(format);
    return it == m_data->end() ? nullptr : win::CopyGlobal(it->second);
}

std::vector<CLIPFORMAT> COleDataObject::Formats() const
{
    std::vector<CLIPFORMAT> formats;
    if (m_data) {
        for (const auto& [format, block] : *m_data) formats.push_back(format);
    }
    return formats;
}

// ---- COleDataSource ------------------------------------------------------------------

COleDataSource::~COleDataSource()
{
    Empty();
}

void COleDataSource::CacheGlobalData(CLIPFORMAT format, HGLOBAL block)
{
    auto it = m_data.find(format);
    if (it != m_data.end()) ::GlobalFree(it->second);
    m_data[format] = block;
}

void COleDataSource::Empty()
{
    for (auto& [format, block] : m_data) ::GlobalFree(block);
    m_data.clear();
}

DROPEFFECT COleDataSource::DoDragDrop(DWORD allowed, const RECT*)
{
    win::DragDropRequest request;
    request.allowed = allowed;
    for (const auto& [format, block] : m_data) request.formats.push_back(format);
    if (auto it = m_data.find(CF_TEXT); it != m_data.end()) {
        const char* text = static_cast<const char*>(::GlobalLock(it->second));
        const size_t size = ::GlobalSize(it->second);
        if (text) request.text.assign(text, strnlen(text, size));
        ::GlobalUnlock(it->second);
    }
    const win::DropAnswer answer = win::GetPrompter().DragDrop(request);
    if (!answer.drop || !::IsWindow(answer.target)) return DROPEFFECT_NONE;

    // The drop goes to the nearest window, from the target up, that has a
    // registered drop target.
    COleDropTarget* target = nullptr;
    HWND registered = nullptr;
    for (HWND h = answer.target; h && !target; h = ::GetParent(h)) {
        std::lock_guard<std::mutex> guard(g_lock);
        auto it = Targets().find(h);
        if (it != Targets().end()) {
            target = it->second;
            registered = h;
        }
    }
    if (!target) return DROPEFFECT_NONE;
    CWnd* window = CWnd::FromHandle(registered);
    POINT p = answer.clientPoint;
    CWnd::FromHandle(answer.target)->ClientToScreen(&p);
    window->ScreenToClient(&p);
    COleDataObject data;
    data.m_data = &m_data;
    DROPEFFECT effect = target->OnDragEnter(window, &data, answer.keyState, CPoint(p));
    if (effect != DROPEFFECT_NONE) effect = target->OnDragOver(window, &data, answer.keyState, CPoint(p));
    effect &= allowed;
    if (effect == DROPEFFECT_NONE) {
        target->OnDragLeave(window);
        return DROPEFFECT_NONE;
    }
    // Copy wins over move, move over link, as a drag offers one effect.
    if (effect & DROPEFFECT_COPY) effect = DROPEFFECT_COPY;
    else if (effect & DROPEFFECT_MOVE) effect = DROPEFFECT_MOVE;
    else effect = DROPEFFECT_LINK;
    return target->OnDrop(window, &data, effect, CPoint(p)) ? effect : DROPEFFECT_NONE;
}

// ---- COleDropTarget ---------------------------------------------------------------------

COleDropTarget::~COleDropTarget()
{
    Revoke();
}

BOOL COleDropTarget::Register(CWnd* window)
{
    if (!window || !window->m_hWnd) return FALSE;
    std::lock_guard<std::mutex> guard(g_lock);
    m_window = window;
    m_hwnd = window->m_hWnd;
    Targets()[m_hwnd] = this;
    return TRUE;
}

void COleDropTarget::Revoke()
{
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = Targets().find(m_hwnd);
    if (it != Targets().end() && it->second == this) Targets().erase(it);
    m_window = nullptr;
    m_hwnd = nullptr;
}

DROPEFFECT COleDropTarget::OnDragEnter(CWnd* window, COleDataObject* data, DWORD keyState, CPoint point)
{
    return OnDragOver(window, data, keyState, point);
}

DROPEFFECT COleDropTarget::OnDragOver(CWnd*, COleDataObject*, DWORD, CPoint)
{
    return DROPEFFECT_NONE;
}

BOOL COleDropTarget::OnDrop(CWnd*, COleDataObject*, DROPEFFECT, CPoint)
{
    return FALSE;
}

void COleDropTarget::OnDragLeave(CWnd*) {}

#include "platform/win/resources.h"

#include <cstring>
#include <memory>
#include <mutex>

namespace win {

namespace {
std::mutex g_modulesLock;
std::map<std::string, std::unique_ptr<ResourceModule>>& Modules()
{
    static auto* modules = new std::map<std::string, std::unique_ptr<ResourceModule>>();
    return *modules;
}
thread_local ResourceModule* t_current = nullptr;

// Current module first, then the application's.
template <class F>
auto Search(F find) -> decltype(find(Resources::App()))
{
    if (t_current) {
        if (auto found = find(*t_current)) return found;
    }
    return find(Resources::App());
}
}  // namespace

const std::string* ResourceModule::FindString(UINT id) const
{
    auto it = m_strings.find(id);
    return it == m_strings.end() ? nullptr : &it->second;
}

const DialogTemplate* ResourceModule::FindDialog(UINT id) const
{
    auto it = m_dialogs.find(id);
    return it == m_dialogs.end() ? nullptr : &it->second;
}

const MenuTemplate* ResourceModule::FindMenu(UINT id) const
{
    auto it = m_menus.find(id);
    return it == m_menus.end() ? nullptr : &it->second;
}

const ToolBarTemplate* ResourceModule::FindToolBar(UINT id) const
{
    auto it = m_toolBars.find(id);
    return it == m_toolBars.end() ? nullptr : &it->second;
}

Image* ResourceModule::FindBitmap(UINT id) const
{
    auto it = m_bitmaps.find(id);
    return it == m_bitmaps.end() ? nullptr : it->second.get();
}

void ResourceModule::Clear()
{
    m_strings.clear();
    m_dialogs.clear();
    m_menus.clear();
    m_toolBars.clear();
    m_bitmaps.clear();
    m_icons.clear();
    m_cursors.clear();
}

ResourceModule& Resources::App()
{
    return Module("app");
}

ResourceModule& Resources::Module(const std::string& name)
{
    std::lock_guard<std::mutex> guard(g_modulesLock);
    auto& modules = Modules();
    auto it = modules.find(name);
    if (it == modules.end()) it = modules.emplace(name, std::make_unique<ResourceModule>(name)).first;
    return *it->second;
}

const std::string* Resources::FindString(UINT id)
{
    return Search([id](ResourceModule& m) { return m.FindString(id); });
}

std::string Resources::LoadString(UINT id)
{
    const std::string* s = FindString(id);
    return s ? *s : std::string();
}

const DialogTemplate* Resources::FindDialog(UINT id)
{
    return Search([id](ResourceModule& m) { return m.FindDialog(id); });
}

const MenuTemplate* Resources::FindMenu(UINT id)
{
    return Search([id](ResourceModule& m) { return m.FindMenu(id); });
}

const ToolBarTemplate* Resources::FindToolBar(UINT id)
{
    return Search([id](ResourceModule& m) { return m.FindToolBar(id); });
}

Image* Resources::FindBitmap(UINT id)
{
    return Search([id](ResourceModule& m) { return m.FindBitmap(id); });
}

bool Resources::HasIcon(UINT id)
{
    return Search([id](ResourceModule& m) { return m.HasIcon(id); });
}

bool Resources::HasCursor(UINT id)
{
    return Search([id](ResourceModule& m) { return m.HasCursor(id); });
}

void Resources::ClearAll()
{
    std::lock_guard<std::mutex> guard(g_modulesLock);
    for (auto& [name, module] : Modules()) module->Clear();
}

ModuleScope::ModuleScope(ResourceModule& module) : m_previous(t_current)
{
    t_current = &module;
}

ModuleScope::~ModuleScope()
{
    t_current = m_previous;
}

std::string CommandPrompt(UINT id)
{
    const std::string text = Resources::LoadString(id);
    const size_t nl = text.find('\n');
    return nl == std::string::npos ? text : text.substr(0, nl);
}

std::string CommandTip(UINT id)
{
    const std::string text = Resources::LoadString(id);
    const size_t nl = text.find('\n');
    return nl == std::string::npos ? std::string() : text.substr(nl + 1);
}

std::string DocStringField(const std::string& docString, int index)
{
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const size_t nl = docString.find('\n', start);
        if (nl == std::string::npos) return std::string();
        start = nl + 1;
    }
    const size_t end = docString.find('\n', start);
    return docString.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace win

int LoadString(HINSTANCE, UINT id, char* buffer, int maxCount)
{
    if (!buffer || maxCount <= 0) return 0;
    const std::string* s = win::Resources::FindString(id);
    if (!s) {
        buffer[0] = '\0';
        return 0;
    }
    const int n = std::min<int>(static_cast<int>(s->size()), maxCount - 1);
    std::memcpy(buffer, s->data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
}

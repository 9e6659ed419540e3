#include "platform/win/prompter.h"

#include "core/logger.h"
#include "platform/win/dialog.h"
#include "platform/win/file_system.h"

#include <filesystem>

#include <atomic>

namespace win {

int SafeMessageBoxAnswer(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
    }
}

namespace {

// Nobody to ask: every question is an error in the log and gets the answer
// that changes nothing.
class UnattendedPrompter : public Prompter {
public:
    int MessageBox(const MessageBoxRequest& request) override
    {
        Logger::log("ERROR Prompter::MessageBox unattended: %s", 1, request.text.c_str());
        return SafeMessageBoxAnswer(request.type);
    }
    FileDialogAnswer FileDialog(const FileDialogRequest& request) override
    {
        Logger::log("ERROR Prompter::FileDialog unattended: %s", 1, request.title.c_str());
        return FileDialogAnswer{};
    }
    PageSetupAnswer PageSetup(const PageSetupRequest&) override
    {
        Logger::log("ERROR Prompter::PageSetup unattended", 1);
        return PageSetupAnswer{};
    }
    PrintAnswer Print(const PrintRequest&) override
    {
        Logger::log("ERROR Prompter::Print unattended", 1);
        return PrintAnswer{};
    }
    UINT PopupMenu(const PopupMenuRequest&) override
    {
        Logger::log("ERROR Prompter::PopupMenu unattended", 1);
        return 0;
    }
    DropAnswer DragDrop(const DragDropRequest&) override
    {
        Logger::log("ERROR Prompter::DragDrop unattended", 1);
        return DropAnswer{};
    }
    bool DriveModal(CDialog& dialog) override
    {
        Logger::log("ERROR Prompter::DriveModal unattended dialog %u", 1, dialog.GetTemplateId());
        return false;
    }
};

UnattendedPrompter g_unattended;
std::atomic<Prompter*> g_prompter{nullptr};

}  // namespace

Prompter& GetPrompter()
{
    Prompter* p = g_prompter.load();
    return p ? *p : g_unattended;
}

void SetPrompter(Prompter* prompter)
{
    g_prompter = prompter;
}

Prompter* InstalledPrompter()
{
    return g_prompter.load();
}

ScriptedPrompter::ScriptedPrompter(Failure onUnscripted) : m_onUnscripted(std::move(onUnscripted)) {}

void ScriptedPrompter::Fail(const std::string& what)
{
    Logger::log("ERROR ScriptedPrompter %s", 1, what.c_str());
    if (m_onUnscripted) m_onUnscripted(what);
}

ScriptedPrompter& ScriptedPrompter::ExpectMessageBox(std::string text, int answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_messageBoxes.push_back(MessageBoxEntry{std::move(text), false, answer});
    return *this;
}

ScriptedPrompter& ScriptedPrompter::ExpectMessageBoxPrefix(std::string prefix, int answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_messageBoxes.push_back(MessageBoxEntry{std::move(prefix), true, answer});
    return *this;
}

ScriptedPrompter& ScriptedPrompter::ExpectFileDialog(std::string title, FileDialogAnswer answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_fileDialogs.emplace_back(std::move(title), std::move(answer));
    return *this;
}

ScriptedPrompter& ScriptedPrompter::ExpectPageSetup(PageSetupAnswer answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_pageSetups.push_back(answer);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::ExpectPrint(PrintAnswer answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_prints.push_back(std::move(answer));
    return *this;
}

ScriptedPrompter& ScriptedPrompter::ExpectPopupMenu(UINT choice)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_popupMenus.push_back(choice);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::ExpectDrop(DropAnswer answer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_drops.push_back(answer);
    return *this;
}

ScriptedPrompter& ScriptedPrompter::ExpectDialog(UINT templateId, std::function<void(CDialog&)> step)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_dialogSteps.push_back(DialogStep{templateId, std::move(step)});
    return *this;
}

std::vector<MessageBoxRequest> ScriptedPrompter::MessageBoxes() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_askedBoxes;
}

std::vector<FileDialogRequest> ScriptedPrompter::FileDialogs() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_askedFiles;
}

std::vector<PopupMenuRequest> ScriptedPrompter::PopupMenus() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_askedMenus;
}

std::vector<DragDropRequest> ScriptedPrompter::Drags() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_askedDrags;
}

std::vector<std::string> ScriptedPrompter::Unused() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::string> unused;
    for (const auto& e : m_messageBoxes) unused.push_back("message box \"" + e.text + "\"");
    for (const auto& e : m_fileDialogs) unused.push_back("file dialog \"" + e.first + "\"");
    for (size_t i = 0; i < m_pageSetups.size(); ++i) unused.push_back("page setup");
    for (size_t i = 0; i < m_prints.size(); ++i) unused.push_back("print dialog");
    for (UINT id : m_popupMenus) unused.push_back("popup menu choice " + std::to_string(id));
    for (size_t i = 0; i < m_drops.size(); ++i) unused.push_back("drop");
    for (const auto& s : m_dialogSteps) unused.push_back("dialog step for " + std::to_string(s.templateId));
    return unused;
}

int ScriptedPrompter::MessageBox(const MessageBoxRequest& request)
{
    MessageBoxEntry entry;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_askedBoxes.push_back(request);
        if (m_messageBoxes.empty()) {
            entry.answer = -1;
        } else {
            entry = m_messageBoxes.front();
            m_messageBoxes.pop_front();
        }
    }
    if (entry.answer == -1) {
        Fail("unexpected message box \"" + request.text + "\"");
        return SafeMessageBoxAnswer(request.type);
    }
    const bool matches = entry.prefix ? request.text.compare(0, entry.text.size(), entry.text) == 0
                                      : request.text == entry.text;
    if (!matches) {
        Fail("message box \"" + request.text + "\" where \"" + entry.text + "\" was expected");
        return SafeMessageBoxAnswer(request.type);
    }
    return entry.answer;
}

bool InLockedFolder(const FileDialogRequest& request, const std::string& path)
{
    if (request.lockedFolder.empty()) return true;
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(ResolvePath(request.lockedFolder)).lexically_normal();
    const fs::path parent = fs::path(ResolvePath(path)).lexically_normal().parent_path();
    auto trimmed = [](fs::path p) {
        std::string text = p.string();
        while (text.size() > 1 && text.back() == '/') text.pop_back();
        return text;
    };
    return trimmed(folder) == trimmed(parent);
}

FileDialogAnswer ScriptedPrompter::FileDialog(const FileDialogRequest& request)
{
    std::pair<std::string, FileDialogAnswer> entry;
    bool have = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_askedFiles.push_back(request);
        if (!m_fileDialogs.empty()) {
            entry = m_fileDialogs.front();
            m_fileDialogs.pop_front();
            have = true;
        }
    }
    if (!have || entry.first != request.title) {
        Fail("unexpected file dialog \"" + request.title + "\"");
        return FileDialogAnswer{};
    }
    if (entry.second.ok)
        for (const std::string& path : entry.second.paths)
            if (!InLockedFolder(request, path)) {
                Fail("file dialog answer \"" + path + "\" leaves the folder \"" + request.lockedFolder + "\"");
                return FileDialogAnswer{};
            }
    return entry.second;
}

namespace {
// Takes the next scripted answer of a kind; false when none is left.
template <class T>
bool TakeNext(std::mutex& lock, std::deque<T>& queue, T& out)
{
    std::lock_guard<std::mutex> guard(lock);
    if (queue.empty()) return false;
    out = std::move(queue.front());
    queue.pop_front();
    return true;
}
}  // namespace

PageSetupAnswer ScriptedPrompter::PageSetup(const PageSetupRequest&)
{
    PageSetupAnswer answer;
    if (TakeNext(m_lock, m_pageSetups, answer)) return answer;
    Fail("unexpected page setup dialog");
    return PageSetupAnswer{};
}

PrintAnswer ScriptedPrompter::Print(const PrintRequest&)
{
    PrintAnswer answer;
    if (TakeNext(m_lock, m_prints, answer)) return answer;
    Fail("unexpected print dialog");
    return PrintAnswer{};
}

UINT ScriptedPrompter::PopupMenu(const PopupMenuRequest& request)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_askedMenus.push_back(request);
    }
    UINT choice = 0;
    if (TakeNext(m_lock, m_popupMenus, choice)) return choice;
    Fail("unexpected popup menu");
    return 0;
}

DropAnswer ScriptedPrompter::DragDrop(const DragDropRequest& request)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_askedDrags.push_back(request);
    }
    DropAnswer answer;
    if (TakeNext(m_lock, m_drops, answer)) return answer;
    Fail("unexpected drag");
    return DropAnswer{};
}

bool ScriptedPrompter::DriveModal(CDialog& dialog)
{
    DialogStep step;
    bool have = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_dialogSteps.empty() && m_dialogSteps.front().templateId == dialog.GetTemplateId()) {
            step = std::move(m_dialogSteps.front());
            m_dialogSteps.pop_front();
            have = true;
        }
    }
    if (!have) {
        Fail("modal dialog " + std::to_string(dialog.GetTemplateId()) + " open with nothing planned for it");
        return false;
    }
    step.step(dialog);
    return true;
}

}  // namespace win

namespace win {

namespace {
std::mutex g_defaultPageLock;
PageSetupAnswer g_defaultPage{true, POINT{8500, 11000}, RECT{1000, 1000, 1000, 1000}, RECT{250, 250, 250, 250}};
}  // namespace

PageSetupAnswer GetDefaultPrinterPage()
{
    std::lock_guard<std::mutex> guard(g_defaultPageLock);
    return g_defaultPage;
}

void SetDefaultPrinterPage(const PageSetupAnswer& page)
{
    std::lock_guard<std::mutex> guard(g_defaultPageLock);
    g_defaultPage = page;
    g_defaultPage.ok = true;
}

PageSetupAnswer RunPageSetup(const PageSetupRequest& request)
{
    if (!(request.flags & PSD_RETURNDEFAULT)) return GetPrompter().PageSetup(request);
    PageSetupAnswer answer = GetDefaultPrinterPage();
    const RECT& m = request.margins;
    if ((request.flags & PSD_MARGINS) && (m.left || m.top || m.right || m.bottom)) answer.margins = m;
    return answer;
}

}  // namespace win

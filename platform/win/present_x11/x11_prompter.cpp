#include "platform/win/present_x11/x11_prompter.h"

#include "core/logger.h"
#include "platform/win/control_models.h"
#include "platform/win/dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/gdi.h"
#include "platform/win/message_queue.h"
#include "platform/win/system.h"
#include "platform/win/user_input.h"
#include "platform/win/window_system.h"
#include "platform/win/wnd.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>

namespace win {

namespace {

// Template ids of the presenter's own module (looked up first while one of
// its dialogs is made).
constexpr UINT kMessageBoxId = 0x7E01;
constexpr UINT kFileDialogId = 0x7E02;
constexpr UINT kPrintId = 0x7E03;
constexpr UINT kPageSetupId = 0x7E04;
constexpr UINT kPopupMenuId = 0x7E05;

constexpr UINT kEditId = 1000;
constexpr UINT kListId = 1001;
constexpr UINT kFromId = 1002;
constexpr UINT kToId = 1003;

constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kGap = 6;

// A dialog of the presenter: the buttons in `ends` end it with their id,
// after `accept` agreed; Escape and closing give `escape` (none: ignored).
class PromptDialog : public CDialog {
public:
    explicit PromptDialog(UINT templateId) : CDialog(templateId) {}
    std::set<int> ends;
    int escape = IDCANCEL;
    bool escapeAllowed = true;
    std::function<void(PromptDialog&)> init;
    std::function<bool(PromptDialog&, int id)> accept;
    // Notifications of the controls: (id, code) → true when handled.
    std::function<bool(PromptDialog&, UINT id, UINT code)> notify;

    std::string Text(int id) const
    {
        CWnd* control = GetDlgItem(id);
        return control ? control->GetWindowText() : std::string();
    }
    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }

    BOOL OnInitDialog() override
    {
        if (init) init(*this);
        return TRUE;
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override
    {
        const UINT id = LOWORD(wParam);
        const UINT code = HIWORD(wParam);
        if (lParam && notify && notify(*this, id, code)) return TRUE;
        if (code != BN_CLICKED) return CDialog::OnCommand(wParam, lParam);
        if (ends.count(static_cast<int>(id))) {
            if (!accept || accept(*this, static_cast<int>(id))) EndDialog(static_cast<int>(id));
            return TRUE;
        }
        if (id == static_cast<UINT>(IDCANCEL)) {
            // Escape or the window's close box.
            if (escapeAllowed) EndDialog(escape);
            return TRUE;
        }
        return CDialog::OnCommand(wParam, lParam);
    }
};

int RunModal(DialogTemplate t, PromptDialog& dialog)
{
    ResourceModule& module = Resources::Module("presenter");
    module.AddDialog(std::move(t));
    ModuleScope scope(module);
    return static_cast<int>(dialog.DoModal());
}

SIZE Measure(const std::string& text)
{
    CDC dc;
    SIZE size = dc.GetTextExtent(text.empty() ? std::string(" ") : text);
    if (text.empty()) size.cx = 0;
    return size;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    if (lines.empty()) lines.emplace_back();
    return lines;
}

std::vector<std::pair<int, std::string>> ButtonsOf(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE: return {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
    case MB_YESNOCANCEL: return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO: return {{IDYES, "Yes"}, {IDNO, "No"}};
    case MB_RETRYCANCEL: return {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
    default: return {{IDOK, "OK"}};
    }
}

// Questions come from the user-interface thread; anywhere else nobody can
// answer, and the safe answer is given.
bool OnUiThread(const char* what)
{
    if (WindowSystem::Get().IsUiThread()) return true;
    Logger::log("ERROR InteractivePrompter %s asked off the user-interface thread", 1, what);
    return false;
}

std::string HomeFolder()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : CurrentFolder();
}

// The patterns of the filter's first entry ("Name|*.a;*.b|...").
std::vector<std::string> Patterns(const std::string& filter, int index)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : filter) {
        if (c == '|') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    const size_t at = static_cast<size_t>(std::max(1, index) - 1) * 2 + 1;
    std::vector<std::string> patterns;
    if (at < parts.size()) {
        std::string p;
        std::istringstream in(parts[at]);
        while (std::getline(in, p, ';')) {
            if (!p.empty()) patterns.push_back(p);
        }
    }
    if (patterns.empty()) patterns.emplace_back("*");
    return patterns;
}

}  // namespace

MessageBoxLayout LayoutMessageBox(const MessageBoxRequest& request)
{
    MessageBoxLayout layout;
    const std::vector<std::string> lines = Lines(request.text);
    int textWidth = 0, lineHeight = Measure("Ag").cy + 2;
    for (const std::string& line : lines) textWidth = std::max<int>(textWidth, Measure(line).cx);
    const auto buttons = ButtonsOf(request.type);
    const int count = static_cast<int>(buttons.size());
    const int buttonsWidth = count * kButtonWidth + (count - 1) * kGap;
    layout.width = std::max(textWidth, buttonsWidth) + 2 * kMargin;
    const int textHeight = static_cast<int>(lines.size()) * lineHeight;
    const int top = kMargin + textHeight + kMargin;
    layout.height = top + kButtonHeight + kMargin;
    int x = (layout.width - buttonsWidth) / 2;
    for (const auto& [id, label] : buttons) {
        layout.buttons.emplace_back(id, RECT{x, top, x + kButtonWidth, top + kButtonHeight});
        x += kButtonWidth + kGap;
    }
    return layout;
}

int InteractivePrompter::MessageBox(const MessageBoxRequest& request)
{
    if (!OnUiThread("MessageBox")) return SafeMessageBoxAnswer(request.type);
    const MessageBoxLayout layout = LayoutMessageBox(request);
    DialogTemplate t;
    t.id = kMessageBoxId;
    t.caption = request.caption.empty() ? "Message" : request.caption;
    t.size = SIZE{layout.width, layout.height};
    const std::vector<std::string> lines = Lines(request.text);
    const int lineHeight = Measure("Ag").cy + 2;
    int y = kMargin;
    for (const std::string& line : lines) {
        t.controls.push_back({0, ControlKind::Static, RECT{kMargin, y, layout.width - kMargin, y + lineHeight}, line});
        y += lineHeight;
    }
    const auto buttons = ButtonsOf(request.type);
    const size_t preferred = (request.type & MB_DEFBUTTON2) ? 1 : 0;
    const size_t defaultIndex = preferred < buttons.size() ? preferred : 0;
    PromptDialog dialog(t.id);
    for (size_t i = 0; i < buttons.size(); ++i) {
        const int id = buttons[i].first;
        const ControlKind kind = i == defaultIndex ? ControlKind::DefPushButton : ControlKind::PushButton;
        t.controls.push_back({static_cast<UINT>(id), kind, layout.buttons[i].second, buttons[i].second});
        dialog.ends.insert(id);
    }
    // Escape: Cancel when offered, OK when it is the only answer, else nothing.
    const bool hasCancel = dialog.ends.count(IDCANCEL) > 0;
    dialog.escapeAllowed = hasCancel || buttons.size() == 1;
    dialog.escape = hasCancel ? IDCANCEL : buttons.front().first;
    const int defaultId = buttons[defaultIndex].first;
    dialog.init = [defaultId](PromptDialog& d) {
        d.SetDefID(static_cast<UINT>(defaultId));
        if (CWnd* button = d.GetDlgItem(defaultId)) button->SetFocus();
    };
    const int answer = RunModal(std::move(t), dialog);
    return answer > 0 ? answer : SafeMessageBoxAnswer(request.type);
}

FileDialogAnswer InteractivePrompter::FileDialog(const FileDialogRequest& request)
{
    FileDialogAnswer answer;
    answer.filterIndex = request.filterIndex;
    if (!OnUiThread("FileDialog")) return answer;
    namespace fs = std::filesystem;
    std::string folder = request.initialDir.empty() ? CurrentFolder() : ResolvePath(request.initialDir);
    const bool locked = !request.lockedFolder.empty();
    if (locked) folder = ResolvePath(request.lockedFolder);
    const std::vector<std::string> patterns = Patterns(request.filter, request.filterIndex);

    DialogTemplate t;
    t.id = kFileDialogId;
    t.caption = request.title.empty() ? (request.open ? "Open" : "Save As") : request.title;
    t.size = SIZE{420, 300};
    t.controls = {{0, ControlKind::Static, RECT{kMargin, kMargin, 80, kMargin + 20}, "File name:"},
                  {kEditId, ControlKind::Edit, RECT{84, kMargin - 2, 408, kMargin + 20}, request.fileName},
                  {kListId, ControlKind::ListBox, RECT{kMargin, 42, 408, 252}, "", WS_VSCROLL},
                  {IDOK, ControlKind::DefPushButton, RECT{252, 262, 327, 285}, request.open ? "Open" : "Save"},
                  {IDCANCEL, ControlKind::PushButton, RECT{333, 262, 408, 285}, "Cancel"}};

    PromptDialog dialog(t.id);
    dialog.ends = {IDOK};
    // The folder's subfolders ("name/") and the files the filter shows.
    const std::string caption = t.caption;
    auto fill = [&folder, &patterns, &caption, locked](PromptDialog& d) {
        const HWND list = d.Item(kListId);
        ::SendMessage(list, LB_RESETCONTENT, 0, 0);
        std::vector<std::string> folders, files;
        if (!locked) folders.push_back("../");
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            const std::string name = entry.path().filename().string();
            if (name.empty() || name[0] == '.') continue;
            if (entry.is_directory(error)) {
                if (!locked) folders.push_back(name + "/");
            } else if (std::any_of(patterns.begin(), patterns.end(),
                                   [&name](const std::string& p) { return WildcardMatch(p, name); })) {
                files.push_back(name);
            }
        }
        std::sort(folders.begin() + (locked ? 0 : 1), folders.end());
        std::sort(files.begin(), files.end());
        for (const auto* names : {&folders, &files}) {
            for (const std::string& name : *names)
                ::SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        }
        d.SetWindowText((caption + " - " + folder).c_str());
    };
    // A name of the folder shown: a folder is entered, a file is the answer.
    auto choose = [&](PromptDialog& d, std::string name) -> bool {
        if (name.empty()) return false;
        fs::path path = fs::path(name).is_absolute() ? fs::path(name) : fs::path(folder) / name;
        path = path.lexically_normal();
        std::error_code error;
        if (!InLockedFolder(request, path.string())) return false;  // the chooser stays where it was put
        if (fs::is_directory(path, error)) {
            if (locked) return false;
            folder = path.string();
            if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
            d.GetDlgItem(kEditId)->SetWindowText("");
            fill(d);
            return false;
        }
        if (!request.open && path.extension().empty() && !request.defaultExt.empty()) {
            path += (request.defaultExt[0] == '.' ? "" : ".") + request.defaultExt;
        }
        if (request.open && !fs::exists(path, error)) {
            MessageBoxRequest missing;
            missing.text = path.string() + "\nFile not found.";
            missing.caption = d.GetWindowText();
            MessageBox(missing);
            return false;
        }
        answer.paths = {path.string()};
        return true;
    };
    dialog.init = [&](PromptDialog& d) {
        fill(d);
        if (CWnd* edit = d.GetDlgItem(kEditId)) edit->SetFocus();
    };
    dialog.accept = [&](PromptDialog& d, int) { return choose(d, d.Text(kEditId)); };
    dialog.notify = [&](PromptDialog& d, UINT id, UINT code) {
        if (id != kListId) return false;
        const HWND list = d.Item(kListId);
        const LRESULT at = ::SendMessage(list, LB_GETCURSEL, 0, 0);
        if (at < 0) return true;
        std::string name(static_cast<size_t>(::SendMessage(list, LB_GETTEXTLEN, static_cast<WPARAM>(at), 0)), '\0');
        std::vector<char> buffer(name.size() + 1);
        ::SendMessage(list, LB_GETTEXT, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(buffer.data()));
        name.assign(buffer.data());
        const bool isFolder = !name.empty() && name.back() == '/';
        if (code == LBN_SELCHANGE && !isFolder) d.GetDlgItem(kEditId)->SetWindowText(name.c_str());
        if (code == LBN_DBLCLK && choose(d, isFolder ? name.substr(0, name.size() - 1) : name)) d.EndDialog(IDOK);
        return true;
    };
    answer.ok = RunModal(std::move(t), dialog) == IDOK && !answer.paths.empty();
    if (!answer.ok) answer.paths.clear();
    return answer;
}

PageSetupAnswer InteractivePrompter::PageSetup(const PageSetupRequest& request)
{
    PageSetupAnswer answer;
    answer.paperSize = request.paperSize;
    if (request.margins.right > 0) answer.margins = request.margins;
    if (!OnUiThread("PageSetup")) return answer;
    struct Paper {
        const char* name;
        POINT size;
    };
    static const Paper papers[] = {{"Letter (8.5 x 11 in)", {8500, 11000}},
                                   {"A4 (210 x 297 mm)", {8268, 11693}},
                                   {"Legal (8.5 x 14 in)", {8500, 14000}}};
    DialogTemplate t;
    t.id = kPageSetupId;
    t.caption = "Page Setup";
    t.size = SIZE{300, 100};
    t.controls = {{0, ControlKind::Static, RECT{kMargin, kMargin + 2, 60, kMargin + 20}, "Paper:"},
                  {kListId, ControlKind::ComboDropList, RECT{64, kMargin, 288, kMargin + 22}},
                  {IDOK, ControlKind::DefPushButton, RECT{132, 64, 207, 87}, "OK"},
                  {IDCANCEL, ControlKind::PushButton, RECT{213, 64, 288, 87}, "Cancel"}};
    PromptDialog dialog(t.id);
    dialog.ends = {IDOK};
    int chosen = 0;
    dialog.init = [&](PromptDialog& d) {
        int current = 0;
        for (int i = 0; i < 3; ++i) {
            ::SendMessage(d.Item(kListId), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(papers[i].name));
            if (papers[i].size.x == request.paperSize.x && papers[i].size.y == request.paperSize.y) current = i;
        }
        ::SendMessage(d.Item(kListId), CB_SETCURSEL, static_cast<WPARAM>(current), 0);
    };
    dialog.accept = [&](PromptDialog& d, int) {
        chosen = static_cast<int>(::SendMessage(d.Item(kListId), CB_GETCURSEL, 0, 0));
        return true;
    };
    if (RunModal(std::move(t), dialog) != IDOK) return answer;
    answer.ok = true;
    if (chosen >= 0 && chosen < 3) answer.paperSize = papers[chosen].size;
    return answer;
}

PrintAnswer InteractivePrompter::Print(const PrintRequest& request)
{
    PrintAnswer answer;
    answer.dotsPerInch = 150;
    if (!OnUiThread("Print")) return answer;
    DialogTemplate t;
    t.id = kPrintId;
    t.caption = "Print to PDF";
    t.size = SIZE{380, 110};
    const std::string output = (std::filesystem::path(HomeFolder()) / "print.pdf").string();
    t.controls = {{0, ControlKind::Static, RECT{kMargin, kMargin + 2, 80, kMargin + 20}, "Output file:"},
                  {kEditId, ControlKind::Edit, RECT{84, kMargin, 368, kMargin + 22}, output},
                  {0, ControlKind::Static, RECT{kMargin, 44, 80, 62}, "Pages:"},
                  {kFromId, ControlKind::Edit, RECT{84, 42, 134, 64}, std::to_string(request.minPage), ES_NUMBER},
                  {0, ControlKind::Static, RECT{140, 44, 160, 62}, "to"},
                  {kToId, ControlKind::Edit, RECT{162, 42, 212, 64}, std::to_string(request.maxPage), ES_NUMBER},
                  {IDOK, ControlKind::DefPushButton, RECT{212, 76, 287, 99}, "Print"},
                  {IDCANCEL, ControlKind::PushButton, RECT{293, 76, 368, 99}, "Cancel"}};
    PromptDialog dialog(t.id);
    dialog.ends = {IDOK};
    dialog.accept = [&](PromptDialog& d, int) {
        answer.outputPath = ResolvePath(d.Text(kEditId));
        answer.fromPage = std::max(request.minPage, std::atoi(d.Text(kFromId).c_str()));
        answer.toPage = std::min(request.maxPage, std::atoi(d.Text(kToId).c_str()));
        return !answer.outputPath.empty() && answer.fromPage <= answer.toPage;
    };
    answer.ok = RunModal(std::move(t), dialog) == IDOK;
    return answer;
}

UINT InteractivePrompter::PopupMenu(const PopupMenuRequest& request)
{
    if (!OnUiThread("PopupMenu") || request.items.empty()) return 0;
    const int rowHeight = kListItemHeight;
    int width = 80;
    std::vector<std::string> texts;
    for (const PopupMenuItem& item : request.items) {
        std::string text = (item.checked ? "* " : "  ") + item.text;
        text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
        std::replace(text.begin(), text.end(), '\t', ' ');
        width = std::max<int>(width, Measure(text).cx + 24);
        texts.push_back(std::move(text));
    }
    const int height = static_cast<int>(texts.size()) * rowHeight + 4;
    DialogTemplate t;
    t.id = kPopupMenuId;
    t.style = WS_POPUP | WS_BORDER;
    t.size = SIZE{width, height};
    t.controls = {{kListId, ControlKind::ListBox, RECT{0, 0, width, height}}};
    PromptDialog dialog(t.id);
    UINT chosen = 0;
    dialog.init = [&](PromptDialog& d) {
        for (const std::string& text : texts)
            ::SendMessage(d.Item(kListId), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        d.SetWindowPos(nullptr, request.screenPoint.x, request.screenPoint.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        if (CWnd* list = d.GetDlgItem(kListId)) list->SetFocus();
    };
    dialog.notify = [&](PromptDialog& d, UINT id, UINT code) {
        if (id != kListId || code != LBN_SELCHANGE) return id == kListId;
        const LRESULT at = ::SendMessage(d.Item(kListId), LB_GETCURSEL, 0, 0);
        const size_t index = static_cast<size_t>(at);
        if (at >= 0 && index < request.items.size() && request.items[index].enabled) {
            chosen = request.items[index].id;
            d.EndDialog(IDOK);
        }
        return true;
    };
    dialog.escape = IDCANCEL;
    return RunModal(std::move(t), dialog) == IDOK ? chosen : 0;
}

DropAnswer InteractivePrompter::DragDrop(const DragDropRequest&)
{
    DropAnswer answer;
    if (!OnUiThread("DragDrop")) return answer;
    // The drag started with the button down; it ends where the user lets go.
    while (IsKeyDown(VK_LBUTTON) && !MessageQueue::Get().QuitPending()) {
        PumpUntil([] { return !IsKeyDown(VK_LBUTTON); }, 1000);
    }
    const POINT at = PointerPosition();
    answer.target = InputWindowAt(at);
    if (!answer.target) return answer;
    answer.drop = true;
    const POINT origin = WindowSystem::Get().ClientOriginScreen(answer.target);
    answer.clientPoint = POINT{at.x - origin.x, at.y - origin.y};
    if (IsKeyDown(VK_CONTROL)) answer.keyState |= MK_CONTROL;
    if (IsKeyDown(VK_SHIFT)) answer.keyState |= MK_SHIFT;
    return answer;
}

}  // namespace win

#include "platform/win/control_models.h"

#include "platform/win/controls.h"
#include "platform/win/message_queue.h"
#include "platform/win/system.h"

#include <strings.h>
#include <algorithm>
#include <cstring>

namespace win {

namespace {

WindowSystem& System()
{
    return WindowSystem::Get();
}

bool IsDisabled(const WindowData& w)
{
    return (w.style & WS_DISABLED) != 0;
}

int CopyText(const std::string& text, LPARAM buffer)
{
    if (!buffer) return -1;
    std::memcpy(reinterpret_cast<char*>(buffer), text.c_str(), text.size() + 1);
    return static_cast<int>(text.size());
}

bool StartsWithNoCase(const std::string& text, const char* prefix)
{
    const size_t n = std::strlen(prefix);
    return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}

// Searches after `startAfter` (-1: from the start), wrapping once around.
int FindItem(const std::vector<ListItem>& items, WPARAM startAfter, const char* text, bool exact)
{
    if (!text || items.empty()) return -1;
    const int n = static_cast<int>(items.size());
    const int start = static_cast<int>(static_cast<intptr_t>(startAfter));
    for (int k = 1; k <= n; ++k) {
        const int i = ((start < 0 ? -1 : start) + k) % n;
        const std::string& t = items[static_cast<size_t>(i)].text;
        if (exact ? strcasecmp(t.c_str(), text) == 0 : StartsWithNoCase(t, text)) return i;
    }
    return -1;
}

// Insertion index of a new item: sorted lists keep case-insensitive order.
size_t SortedIndex(const std::vector<ListItem>& items, const char* text)
{
    size_t i = 0;
    while (i < items.size() && strcasecmp(items[i].text.c_str(), text) <= 0) ++i;
    return i;
}

void Redraw(HWND hwnd)
{
    System().Invalidate(hwnd, nullptr, true);
}

// Scroll notification of a slider to its parent.
void NotifyScroll(HWND slider, UINT code, int pos)
{
    WindowData* w = System().Find(slider);
    if (!w || !w->parent) return;
    const UINT message = (w->style & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    System().Call(w->parent, message, MAKEWPARAM(code, static_cast<unsigned>(pos)), reinterpret_cast<LPARAM>(slider));
}

}  // namespace

void NotifyParent(HWND control, UINT code)
{
    WindowData* w = System().Find(control);
    if (!w || !w->parent) return;
    System().Call(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(control));
}

LRESULT NotifyParent(HWND control, NMHDR& header)
{
    WindowData* w = System().Find(control);
    if (!w || !w->parent) return 0;
    header.hwndFrom = control;
    header.idFrom = w->id;
    return System().Call(w->parent, WM_NOTIFY, w->id, reinterpret_cast<LPARAM>(&header));
}

std::vector<HWND> RadioGroupOf(HWND button)
{
    WindowData* w = System().Find(button);
    if (!w || !w->parent) return {button};
    const std::vector<HWND> siblings = System().Children(w->parent);
    auto it = std::find(siblings.begin(), siblings.end(), button);
    if (it == siblings.end()) return {button};
    size_t start = static_cast<size_t>(it - siblings.begin());
    while (start > 0) {
        WindowData* s = System().Find(siblings[start]);
        if (s && (s->style & WS_GROUP)) break;
        --start;
    }
    std::vector<HWND> group;
    for (size_t i = start; i < siblings.size(); ++i) {
        WindowData* s = System().Find(siblings[i]);
        if (!s) continue;
        if (i > start && (s->style & WS_GROUP)) break;
        const DWORD type = s->style & BS_TYPEMASK;
        if (s->windowClass->name == "Button" && (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON))
            group.push_back(siblings[i]);
    }
    return group;
}

bool IsTransparentToMouse(const WindowData& w)
{
    const std::string& name = w.windowClass->name;
    if (name == "Static") return !(w.style & SS_NOTIFY);
    if (name == "Button") return (w.style & BS_TYPEMASK) == BS_GROUPBOX;
    return false;
}

// ---- Buttons -------------------------------------------------------------------

void ButtonModel::Click(HWND hwnd)
{
    WindowData* w = System().Find(hwnd);
    if (!w || IsDisabled(*w)) return;
    auto* model = static_cast<ButtonModel*>(w->model.get());
    switch (w->style & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX: model->check = model->check ? 0 : 1; break;
    case BS_AUTO3STATE: model->check = (model->check + 1) % 3; break;
    case BS_AUTORADIOBUTTON:
        for (HWND other : RadioGroupOf(hwnd)) {
            WindowData* o = System().Find(other);
            if (!o || other == hwnd) continue;
            auto* m = static_cast<ButtonModel*>(o->model.get());
            if (m->check) {
                m->check = 0;
                Redraw(other);
            }
        }
        model->check = 1;
        break;
    default: break;
    }
    Redraw(hwnd);
    NotifyParent(hwnd, BN_CLICKED);
}

bool ButtonModel::Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    return HandleState(w, message, wParam, lParam, result) || HandleInput(w, message, wParam, lParam) ||
           HandleFocus(w, message);
}

// What the program asks of a button: check, push state, style, image.
bool ButtonModel::HandleState(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const HWND hwnd = w.hwnd;
    const DWORD type = w.style & BS_TYPEMASK;
    switch (message) {
    case BM_GETCHECK: result = check; return true;
    case BM_SETCHECK:
        if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON && type != BS_OWNERDRAW && type != BS_GROUPBOX) {
            check = static_cast<UINT>(wParam) & 3;
            Redraw(hwnd);
        }
        result = 0;
        return true;
    case BM_GETSTATE: result = check | (pushed ? BST_PUSHED : 0) | (focused ? BST_FOCUS : 0); return true;
    case BM_SETSTATE:
        pushed = wParam != 0;
        Redraw(hwnd);
        return true;
    case BM_SETSTYLE:
        w.style = (w.style & ~BS_TYPEMASK) | (static_cast<DWORD>(wParam) & BS_TYPEMASK);
        Redraw(hwnd);
        return true;
    case BM_CLICK: Click(hwnd); return true;
    case BM_SETIMAGE:
        result = reinterpret_cast<LRESULT>(image);
        image = reinterpret_cast<HBITMAP>(lParam);
        Redraw(hwnd);
        return true;
    case BM_GETIMAGE: result = reinterpret_cast<LRESULT>(image); return true;
    default: return false;
    }
}

// Mouse and keyboard: pressed while the button is held, clicked on release
// inside it or by the space bar. Group boxes let the mouse through.
bool ButtonModel::HandleInput(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND hwnd = w.hwnd;
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if ((w.style & BS_TYPEMASK) == BS_GROUPBOX) return false;
        pushed = true;
        System().SetCapture(hwnd);
        System().SetFocus(hwnd);
        Redraw(hwnd);
        return true;
    case WM_LBUTTONUP: {
        if (!pushed) return true;
        pushed = false;
        System().ReleaseCapture();
        Redraw(hwnd);
        const RECT client = System().ClientRect(hwnd);
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (CRect(client).PtInRect(p)) Click(hwnd);  // the window may be gone afterwards
        return true;
    }
    case WM_KEYUP:
        if (wParam == ' ') Click(hwnd);
        return true;
    default: return false;
    }
}

bool ButtonModel::HandleFocus(WindowData& w, UINT message)
{
    switch (message) {
    case WM_SETFOCUS:
        focused = true;
        Redraw(w.hwnd);
        return true;
    case WM_KILLFOCUS:
        focused = false;
        pushed = false;
        Redraw(w.hwnd);
        return true;
    default: return false;
    }
}

// ---- Statics ----------------------------------------------------------------------

bool StaticModel::Handle(WindowData& w, UINT message, WPARAM, LPARAM lParam, LRESULT& result)
{
    const HWND hwnd = w.hwnd;
    switch (message) {
    case STM_SETIMAGE:
        result = reinterpret_cast<LRESULT>(image);
        image = reinterpret_cast<HBITMAP>(lParam);
        Redraw(hwnd);
        return true;
    case STM_GETIMAGE: result = reinterpret_cast<LRESULT>(image); return true;
    case WM_LBUTTONDOWN: pressed = true; return true;
    case WM_LBUTTONUP:
        if (pressed && (w.style & SS_NOTIFY)) {
            pressed = false;
            NotifyParent(hwnd, STN_CLICKED);
        }
        pressed = false;
        return true;
    case WM_LBUTTONDBLCLK:
        if (w.style & SS_NOTIFY) NotifyParent(hwnd, STN_DBLCLK);
        return true;
    default: return false;
    }
}

// ---- Edits ---------------------------------------------------------------------------

bool EditModel::Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_SETTEXT:
        SetText(w, lParam);
        result = TRUE;
        return true;
    case WMU_TYPE: TypeText(w, lParam); return true;
    case WM_CHAR: TypeChar(w, static_cast<char>(wParam)); return true;
    default: return HandleSettings(w, message, wParam, lParam, result) || HandleFocus(w, message);
    }
}

// A single-line edit reports every change of its text, also by program.
void EditModel::SetText(WindowData& w, LPARAM text)
{
    w.text = text ? reinterpret_cast<const char*>(text) : "";
    selStart = selEnd = static_cast<int>(w.text.size());
    Redraw(w.hwnd);
    NotifyParent(w.hwnd, EN_CHANGE);
}

// A whole text typed by the user: cut to the limit, digits only in number
// edits.
void EditModel::TypeText(WindowData& w, LPARAM typed)
{
    if (w.style & ES_READONLY) return;
    std::string text = typed ? reinterpret_cast<const char*>(typed) : "";
    if (limit > 0 && static_cast<int>(text.size()) > limit) text.resize(static_cast<size_t>(limit));
    if (w.style & ES_NUMBER) {
        text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c < '0' || c > '9'; }), text.end());
    }
    w.text = text;
    selStart = selEnd = static_cast<int>(w.text.size());
    Redraw(w.hwnd);
    NotifyParent(w.hwnd, EN_CHANGE);
}

// One typed character replaces the selection; backspace deletes it or the
// character before the caret.
void EditModel::TypeChar(WindowData& w, char c)
{
    if (w.style & ES_READONLY) return;
    std::string text = w.text;
    const int a = std::max(0, std::min(selStart, selEnd));
    const int b = std::min(static_cast<int>(text.size()), std::max(selStart, selEnd));
    if (c == '\b') {
        if (b > a) text.erase(static_cast<size_t>(a), static_cast<size_t>(b - a));
        else if (a > 0) text.erase(static_cast<size_t>(a - 1), 1);
    } else if (static_cast<unsigned char>(c) >= 32) {
        if ((w.style & ES_NUMBER) && (c < '0' || c > '9')) return;
        if (limit > 0 && static_cast<int>(text.size()) - (b - a) >= limit) return;
        text.replace(static_cast<size_t>(a), static_cast<size_t>(b - a), 1, c);
    } else {
        return;
    }
    w.text = text;
    selStart = selEnd = (c == '\b') ? std::max(0, (b > a) ? a : a - 1) : a + 1;
    Redraw(w.hwnd);
    NotifyParent(w.hwnd, EN_CHANGE);
}

// Selection, length limit and read-only state.
bool EditModel::HandleSettings(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case EM_SETSEL: {
        const int n = static_cast<int>(w.text.size());
        int a = static_cast<int>(static_cast<intptr_t>(wParam));
        int b = static_cast<int>(lParam);
        if (a < 0) a = b = n;  // -1: no selection
        if (b < 0) b = n;
        selStart = std::min(a, n);
        selEnd = std::min(b, n);
        return true;
    }
    case EM_LIMITTEXT: limit = static_cast<int>(wParam); return true;
    case EM_SETREADONLY:
        if (wParam) w.style |= ES_READONLY;
        else w.style &= ~ES_READONLY;
        Redraw(w.hwnd);
        result = TRUE;
        return true;
    default: return false;
    }
}

bool EditModel::HandleFocus(WindowData& w, UINT message)
{
    const HWND hwnd = w.hwnd;
    switch (message) {
    case WM_LBUTTONDOWN: System().SetFocus(hwnd); return true;
    case WM_SETFOCUS:
        focused = true;
        Redraw(hwnd);
        NotifyParent(hwnd, EN_SETFOCUS);
        return true;
    case WM_KILLFOCUS:
        focused = false;
        Redraw(hwnd);
        NotifyParent(hwnd, EN_KILLFOCUS);
        return true;
    default: return false;
    }
}

// ---- Item lists of list boxes and combo boxes ---------------------------------------------

namespace {

constexpr ItemMessages kListBoxItems{LB_ADDSTRING,   LB_INSERTSTRING,    LB_DELETESTRING, LB_RESETCONTENT,
                                     LB_GETCOUNT,    LB_GETTEXT,         LB_GETTEXTLEN,   LB_SETITEMDATA,
                                     LB_GETITEMDATA, LB_FINDSTRINGEXACT, LBS_SORT,        LB_ERR};
constexpr ItemMessages kComboItems{CB_ADDSTRING,   CB_INSERTSTRING,    CB_DELETESTRING, CB_RESETCONTENT,
                                   CB_GETCOUNT,    CB_GETLBTEXT,       CB_GETLBTEXTLEN, CB_SETITEMDATA,
                                   CB_GETITEMDATA, CB_FINDSTRINGEXACT, CBS_SORT,        CB_ERR};

}  // namespace

bool ItemListModel::HandleItems(WindowData& w, const ItemMessages& codes, UINT message, WPARAM wParam, LPARAM lParam,
                                LRESULT& result)
{
    const HWND hwnd = w.hwnd;
    // Negative indexes arrive as huge unsigned values and fail this test too.
    const bool inRange = wParam < items.size();
    if (message == codes.add || message == codes.insert) {
        const char* text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        size_t index = items.size();
        if (message == codes.add && (w.style & codes.sortStyle)) index = SortedIndex(items, text);
        if (message == codes.insert && static_cast<intptr_t>(wParam) >= 0) {
            if (wParam > items.size()) {
                result = codes.error;
                return true;
            }
            index = wParam;
        }
        items.insert(items.begin() + static_cast<long>(index), ListItem{text, 0, false});
        if (current >= static_cast<int>(index)) ++current;
        result = static_cast<LRESULT>(index);
        Redraw(hwnd);
    } else if (message == codes.remove) {
        if (!inRange) {
            result = codes.error;
            return true;
        }
        const int index = static_cast<int>(wParam);
        items.erase(items.begin() + index);
        if (current == index) current = -1;
        else if (current > index) --current;
        ItemsRemoved(w, false);
        result = static_cast<LRESULT>(items.size());
        Redraw(hwnd);
    } else if (message == codes.reset) {
        items.clear();
        current = -1;
        ItemsRemoved(w, true);
        Redraw(hwnd);
    } else if (message == codes.count) {
        result = static_cast<LRESULT>(items.size());
    } else if (message == codes.getText) {
        result = inRange ? CopyText(items[wParam].text, lParam) : codes.error;
    } else if (message == codes.getTextLength) {
        result = inRange ? static_cast<LRESULT>(items[wParam].text.size()) : codes.error;
    } else if (message == codes.setData) {
        if (inRange) items[wParam].data = static_cast<DWORD_PTR>(lParam);
        else result = codes.error;
    } else if (message == codes.getData) {
        result = inRange ? static_cast<LRESULT>(items[wParam].data) : codes.error;
    } else if (message == codes.findExact) {
        result = FindItem(items, wParam, reinterpret_cast<const char*>(lParam), true);
    } else {
        return false;
    }
    return true;
}

// ---- Combo boxes -------------------------------------------------------------------------

void ComboModel::ItemsRemoved(WindowData& w, bool all)
{
    if (all) w.text.clear();
}

bool ComboModel::Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    return HandleItems(w, kComboItems, message, wParam, lParam, result) ||
           HandleSelection(w, message, wParam, lParam, result) || HandleText(w, message, wParam, lParam, result) ||
           HandleInput(w, message, wParam, lParam, result);
}

bool ComboModel::IsEditable(const WindowData& w)
{
    return (w.style & 3) != CBS_DROPDOWNLIST;
}

// Makes item `index` current (none when out of range); an editable combo
// box shows its text.
void ComboModel::Select(WindowData& w, int index)
{
    current = (index >= 0 && index < static_cast<int>(items.size())) ? index : -1;
    if (IsEditable(w)) w.text = current >= 0 ? items[static_cast<size_t>(current)].text : w.text;
    Redraw(w.hwnd);
}

// The current item and the dropped list, as the program sets them (no
// selection notifications).
bool ComboModel::HandleSelection(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const HWND hwnd = w.hwnd;
    switch (message) {
    case CB_GETCURSEL: result = current; return true;
    case CB_SETCURSEL: {
        const int index = static_cast<int>(static_cast<intptr_t>(wParam));
        Select(w, index);
        result = (index >= 0 && index < static_cast<int>(items.size())) ? index : CB_ERR;
        return true;
    }
    case CB_FINDSTRING: result = FindItem(items, wParam, reinterpret_cast<const char*>(lParam), false); return true;
    case CB_SELECTSTRING: {
        const int found = FindItem(items, wParam, reinterpret_cast<const char*>(lParam), false);
        if (found >= 0) Select(w, found);
        result = found;
        return true;
    }
    case CB_SHOWDROPDOWN:
        if ((wParam != 0) != dropped) {
            dropped = wParam != 0;
            Redraw(hwnd);
            NotifyParent(hwnd, dropped ? CBN_DROPDOWN : CBN_CLOSEUP);
        }
        result = TRUE;
        return true;
    case CB_GETDROPPEDSTATE: result = dropped ? TRUE : FALSE; return true;
    default: return false;
    }
}

// The window text: the edit field of an editable combo box, else the
// current item's text (setting it selects the item of that text).
bool ComboModel::HandleText(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const bool editable = IsEditable(w);
    switch (message) {
    case WM_SETTEXT:
        if (editable) {
            w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
            Redraw(w.hwnd);
            result = TRUE;
        } else {
            const int found = FindItem(items, static_cast<WPARAM>(-1), reinterpret_cast<const char*>(lParam), true);
            if (found >= 0) Select(w, found);
            result = found >= 0 ? TRUE : CB_ERR;
        }
        return true;
    case WM_GETTEXT: {
        const std::string text = editable ? w.text : (current >= 0 ? items[static_cast<size_t>(current)].text : "");
        if (wParam == 0 || !lParam) {
            result = 0;
            return true;
        }
        const size_t n = std::min<size_t>(text.size(), wParam - 1);
        std::memcpy(reinterpret_cast<char*>(lParam), text.data(), n);
        reinterpret_cast<char*>(lParam)[n] = '\0';
        result = static_cast<LRESULT>(n);
        return true;
    }
    case WM_GETTEXTLENGTH:
        result = static_cast<LRESULT>(editable ? w.text.size()
                                               : (current >= 0 ? items[static_cast<size_t>(current)].text.size() : 0));
        return true;
    default: return false;
    }
}

// The user's picks, typing, clicks and focus changes, each with the
// notifications the platform raises for them.
bool ComboModel::HandleInput(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const HWND hwnd = w.hwnd;
    switch (message) {
    case WMU_PICK: Pick(w, static_cast<int>(wParam)); return true;
    case WMU_TYPE:
        if (!IsEditable(w)) return true;
        w.text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        Redraw(hwnd);
        NotifyParent(hwnd, CBN_EDITUPDATE);
        if (System().Find(hwnd)) NotifyParent(hwnd, CBN_EDITCHANGE);
        return true;
    case WM_CHAR: {
        if (!IsEditable(w)) return true;
        const char c = static_cast<char>(wParam);
        if (c == '\b') {
            if (!w.text.empty()) w.text.pop_back();
        } else if (static_cast<unsigned char>(c) >= 32) {
            w.text.push_back(c);
        } else {
            return true;
        }
        Redraw(hwnd);
        NotifyParent(hwnd, CBN_EDITCHANGE);
        return true;
    }
    case WM_LBUTTONDOWN:
        System().SetFocus(hwnd);
        if (System().Find(hwnd)) Handle(*System().Find(hwnd), CB_SHOWDROPDOWN, dropped ? FALSE : TRUE, 0, result);
        return true;
    case WM_SETFOCUS: NotifyParent(hwnd, CBN_SETFOCUS); return true;
    case WM_KILLFOCUS:
        if (dropped) {
            dropped = false;
            NotifyParent(hwnd, CBN_CLOSEUP);
        }
        if (System().Find(hwnd)) NotifyParent(hwnd, CBN_KILLFOCUS);
        return true;
    default: return false;
    }
}

// The user opens the list, picks an item and the list closes.
void ComboModel::Pick(WindowData& w, int index)
{
    const HWND hwnd = w.hwnd;
    if (index < 0 || index >= static_cast<int>(items.size())) return;
    if (!dropped) {
        dropped = true;
        NotifyParent(hwnd, CBN_DROPDOWN);
    }
    WindowData* again = System().Find(hwnd);
    if (!again) return;
    const bool changed = current != index;
    Select(w, index);
    if (changed) NotifyParent(hwnd, CBN_SELCHANGE);
    if (!System().Find(hwnd)) return;
    dropped = false;
    NotifyParent(hwnd, CBN_CLOSEUP);
    if (System().Find(hwnd)) NotifyParent(hwnd, CBN_SELENDOK);
}

// ---- List boxes ------------------------------------------------------------------------------

void ListBoxModel::ItemsRemoved(WindowData&, bool all)
{
    if (all) {
        caret = anchor = top = 0;
        return;
    }
    const int last = std::max(0, static_cast<int>(items.size()) - 1);
    caret = std::min(caret, last);
    anchor = std::min(anchor, last);
}

bool ListBoxModel::Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    return HandleItems(w, kListBoxItems, message, wParam, lParam, result) ||
           HandleSelection(w, message, wParam, lParam, result) || HandleScrolling(w, message, wParam, result) ||
           HandleInput(w, message, wParam, lParam, result);
}

bool ListBoxModel::IsMulti(const WindowData& w)
{
    return (w.style & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
}

bool ListBoxModel::InRange(intptr_t i) const
{
    return i >= 0 && i < static_cast<intptr_t>(items.size());
}

// The selection as the program reads and sets it: one current item, or the
// selected flags of a multiple-selection list (no notifications).
bool ListBoxModel::HandleSelection(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const HWND hwnd = w.hwnd;
    const int count = static_cast<int>(items.size());
    const bool multi = IsMulti(w);
    switch (message) {
    case LB_GETCURSEL: result = multi ? (count ? caret : LB_ERR) : current; return true;
    case LB_SETCURSEL: {
        if (multi) {
            result = LB_ERR;
            return true;
        }
        const intptr_t index = static_cast<intptr_t>(wParam);
        current = InRange(index) ? static_cast<int>(index) : -1;
        if (current >= 0) caret = current;
        result = current >= 0 ? current : LB_ERR;
        Redraw(hwnd);
        return true;
    }
    case LB_GETSEL: {
        const intptr_t index = static_cast<intptr_t>(wParam);
        if (!InRange(index)) {
            result = LB_ERR;
            return true;
        }
        result = multi ? (items[static_cast<size_t>(index)].selected ? 1 : 0) : (current == index ? 1 : 0);
        return true;
    }
    case LB_SETSEL: {
        if (!multi) {
            result = LB_ERR;
            return true;
        }
        const intptr_t index = static_cast<intptr_t>(lParam);
        if (index == -1) {
            for (auto& item : items) item.selected = wParam != 0;
        } else if (InRange(index)) {
            items[static_cast<size_t>(index)].selected = wParam != 0;
        } else {
            result = LB_ERR;
            return true;
        }
        Redraw(hwnd);
        return true;
    }
    case LB_GETSELCOUNT:
        result =
            multi ? std::count_if(items.begin(), items.end(), [](const ListItem& i) { return i.selected; }) : LB_ERR;
        return true;
    case LB_GETSELITEMS: {
        if (!multi) {
            result = LB_ERR;
            return true;
        }
        int* out = reinterpret_cast<int*>(lParam);
        int n = 0;
        for (int i = 0; i < count && n < static_cast<int>(wParam); ++i) {
            if (items[static_cast<size_t>(i)].selected) out[n++] = i;
        }
        result = n;
        return true;
    }
    default: return false;
    }
}

// The first item shown and the caret.
bool ListBoxModel::HandleScrolling(WindowData& w, UINT message, WPARAM wParam, LRESULT& result)
{
    switch (message) {
    case LB_GETTOPINDEX: result = top; return true;
    case LB_SETTOPINDEX:
        if (!InRange(static_cast<intptr_t>(wParam))) {
            result = LB_ERR;
            return true;
        }
        top = static_cast<int>(wParam);
        Redraw(w.hwnd);
        return true;
    case LB_GETCARETINDEX: result = caret; return true;
    case LB_SETCARETINDEX:
        if (!InRange(static_cast<intptr_t>(wParam))) {
            result = LB_ERR;
            return true;
        }
        caret = static_cast<int>(wParam);
        return true;
    default: return false;
    }
}

// Clicks pick items (a double click only notifies); focus changes notify.
bool ListBoxModel::HandleInput(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const HWND hwnd = w.hwnd;
    const int count = static_cast<int>(items.size());
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        System().SetFocus(hwnd);
        WindowData* again = System().Find(hwnd);
        if (!again) return true;
        const int index = top + GET_Y_LPARAM(lParam) / kListItemHeight;
        if (index < 0 || index >= count) return true;
        if (message == WM_LBUTTONDBLCLK) {
            if (w.style & LBS_NOTIFY) NotifyParent(hwnd, LBN_DBLCLK);
            return true;
        }
        return Handle(w, WMU_PICK, static_cast<WPARAM>(index), static_cast<LPARAM>(wParam), result);
    }
    case WMU_PICK: Pick(w, static_cast<int>(wParam), static_cast<UINT>(lParam)); return true;
    case WM_SETFOCUS:
        if (w.style & LBS_NOTIFY) NotifyParent(hwnd, LBN_SETFOCUS);
        return true;
    case WM_KILLFOCUS:
        if (w.style & LBS_NOTIFY) NotifyParent(hwnd, LBN_KILLFOCUS);
        return true;
    default: return false;
    }
}

// The user picks item `index` with the MK_ key flags `keys`: single lists
// move their selection, multiple ones toggle, extended ones follow Shift
// (range from the anchor) and Ctrl (keep the rest).
void ListBoxModel::Pick(WindowData& w, int index, UINT keys)
{
    const HWND hwnd = w.hwnd;
    if (index < 0 || index >= static_cast<int>(items.size())) return;
    bool changed = false;
    if (!IsMulti(w)) {
        changed = current != index;
        current = index;
    } else if (w.style & LBS_MULTIPLESEL) {
        items[static_cast<size_t>(index)].selected = !items[static_cast<size_t>(index)].selected;
        changed = true;
    } else if (keys & MK_SHIFT) {
        // Extended: Shift selects from the anchor, Ctrl keeps the rest.
        if (!(keys & MK_CONTROL)) {
            for (auto& item : items) item.selected = false;
        }
        const int a = std::min(anchor, index), b = std::max(anchor, index);
        for (int i = a; i <= b; ++i) items[static_cast<size_t>(i)].selected = true;
        changed = true;
    } else if (keys & MK_CONTROL) {
        items[static_cast<size_t>(index)].selected = !items[static_cast<size_t>(index)].selected;
        anchor = index;
        changed = true;
    } else {
        for (auto& item : items) item.selected = false;
        items[static_cast<size_t>(index)].selected = true;
        anchor = index;
        changed = true;
    }
    caret = index;
    Redraw(hwnd);
    if (changed && (w.style & LBS_NOTIFY)) NotifyParent(hwnd, LBN_SELCHANGE);
}

// ---- Sliders ---------------------------------------------------------------------------------

RECT SliderModel::ThumbRect(const WindowData& w) const
{
    const RECT client = System().ClientRect(w.hwnd);
    const bool vertical = (w.style & TBS_VERT) != 0;
    const int length = (vertical ? client.bottom : client.right) - 2 * kSliderMargin;
    const int span = std::max(1, maxPos - minPos);
    const int centre = kSliderMargin + static_cast<int>(static_cast<int64_t>(pos - minPos) * length / span);
    if (vertical) return RECT{0, centre - 5, client.right, centre + 5};
    return RECT{centre - 5, 0, centre + 5, client.bottom};
}

int SliderModel::PosFromPoint(const WindowData& w, POINT client) const
{
    const RECT rect = System().ClientRect(w.hwnd);
    const bool vertical = (w.style & TBS_VERT) != 0;
    const int length = std::max(1, (vertical ? rect.bottom : rect.right) - 2 * kSliderMargin);
    const int offset = (vertical ? client.y : client.x) - kSliderMargin;
    const int64_t span = maxPos - minPos;
    // Nearest position: round half up.
    const int64_t p = minPos + (2 * static_cast<int64_t>(offset) * span + length) / (2 * length);
    return static_cast<int>(std::clamp<int64_t>(p, minPos, maxPos));
}

bool SliderModel::Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    return HandleSettings(w, message, wParam, lParam, result) || HandleMouse(w, message, lParam) ||
           HandleKeys(w, message, wParam);
}

void SliderModel::ClampPos()
{
    pos = std::clamp(pos, minPos, std::max(minPos, maxPos));
}

// Position, range, page and line sizes and tick marks as the program sets
// them (no scroll notifications).
bool SliderModel::HandleSettings(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const HWND hwnd = w.hwnd;
    switch (message) {
    case TBM_GETPOS: result = pos; return true;
    case TBM_SETPOS:
        pos = static_cast<int>(lParam);
        ClampPos();
        Redraw(hwnd);
        return true;
    case TBM_SETRANGE:
        minPos = static_cast<int16_t>(LOWORD(static_cast<uintptr_t>(lParam)));
        maxPos = static_cast<int16_t>(HIWORD(static_cast<uintptr_t>(lParam)));
        ClampPos();
        Redraw(hwnd);
        return true;
    case TBM_SETRANGEMIN:
        minPos = static_cast<int>(lParam);
        ClampPos();
        Redraw(hwnd);
        return true;
    case TBM_SETRANGEMAX:
        maxPos = static_cast<int>(lParam);
        ClampPos();
        Redraw(hwnd);
        return true;
    case TBM_GETRANGEMIN: result = minPos; return true;
    case TBM_GETRANGEMAX: result = maxPos; return true;
    case TBM_SETPAGESIZE:
        result = page;
        page = static_cast<int>(lParam);
        return true;
    case TBM_GETPAGESIZE: result = page; return true;
    case TBM_SETLINESIZE:
        result = line;
        line = static_cast<int>(lParam);
        return true;
    case TBM_GETLINESIZE: result = line; return true;
    case TBM_SETTICFREQ:
        ticFrequency = static_cast<int>(wParam);
        Redraw(hwnd);
        return true;
    case TBM_SETTIC:
        if (lParam < minPos || lParam > maxPos) {
            result = FALSE;
            return true;
        }
        tics.push_back(static_cast<int>(lParam));
        result = TRUE;
        Redraw(hwnd);
        return true;
    case TBM_CLEARTICS:
        tics.clear();
        if (wParam) Redraw(hwnd);
        return true;
    case TBM_GETNUMTICS: result = static_cast<LRESULT>(tics.size()); return true;
    case TBM_GETTIC:
        result = wParam < tics.size() ? tics[wParam] : -1;
        return true;
    default: return false;
    }
}

// Dragging the thumb, or a click beside it that moves it by a page.
bool SliderModel::HandleMouse(WindowData& w, UINT message, LPARAM lParam)
{
    const HWND hwnd = w.hwnd;
    switch (message) {
    case WM_LBUTTONDOWN: {
        System().SetFocus(hwnd);
        if (!System().Find(hwnd)) return true;
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (CRect(ThumbRect(w)).PtInRect(p)) {
            tracking = true;
            System().SetCapture(hwnd);
            return true;
        }
        // A click beside the thumb moves it by a page towards the click.
        const int target = PosFromPoint(w, p);
        const UINT code = target < pos ? TB_PAGEUP : TB_PAGEDOWN;
        pos += target < pos ? -page : page;
        ClampPos();
        Redraw(hwnd);
        NotifyScroll(hwnd, code, 0);
        if (System().Find(hwnd)) NotifyScroll(hwnd, TB_ENDTRACK, 0);
        return true;
    }
    case WM_MOUSEMOVE: {
        if (!tracking) return true;
        const int target = PosFromPoint(w, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        if (target != pos) {
            pos = target;
            Redraw(hwnd);
            NotifyScroll(hwnd, TB_THUMBTRACK, pos);
        }
        return true;
    }
    case WM_LBUTTONUP: {
        if (!tracking) return true;
        tracking = false;
        System().ReleaseCapture();
        const int final = pos;
        NotifyScroll(hwnd, TB_THUMBPOSITION, final);
        if (System().Find(hwnd)) NotifyScroll(hwnd, TB_ENDTRACK, 0);
        return true;
    }
    default: return false;
    }
}

// Arrow keys move by a line; their release ends the scroll.
bool SliderModel::HandleKeys(WindowData& w, UINT message, WPARAM wParam)
{
    const HWND hwnd = w.hwnd;
    switch (message) {
    case WM_KEYDOWN: {
        int delta = 0;
        UINT code = 0;
        if (wParam == VK_LEFT || wParam == VK_UP) {
            delta = -line;
            code = TB_LINEUP;
        } else if (wParam == VK_RIGHT || wParam == VK_DOWN) {
            delta = line;
            code = TB_LINEDOWN;
        } else {
            return false;
        }
        pos += delta;
        ClampPos();
        Redraw(hwnd);
        NotifyScroll(hwnd, code, 0);
        return true;
    }
    case WM_KEYUP:
        if (wParam == VK_LEFT || wParam == VK_UP || wParam == VK_RIGHT || wParam == VK_DOWN)
            NotifyScroll(hwnd, TB_ENDTRACK, 0);
        return true;
    default: return false;
    }
}

// ---- Progress bars ------------------------------------------------------------------------------

bool ProgressModel::Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const HWND hwnd = w.hwnd;
    auto clampPos = [&] { pos = std::clamp(pos, lower, std::max(lower, upper)); };
    switch (message) {
    case PBM_SETRANGE:
        // Both bounds are 16-bit values.
        result = static_cast<LRESULT>(MAKELONG(static_cast<unsigned>(lower), static_cast<unsigned>(upper)));
        lower = LOWORD(static_cast<uintptr_t>(lParam));
        upper = HIWORD(static_cast<uintptr_t>(lParam));
        clampPos();
        Redraw(hwnd);
        return true;
    case PBM_SETRANGE32:
        result = static_cast<LRESULT>(MAKELONG(static_cast<unsigned>(lower), static_cast<unsigned>(upper)));
        lower = static_cast<int>(wParam);
        upper = static_cast<int>(lParam);
        clampPos();
        Redraw(hwnd);
        return true;
    case PBM_GETRANGE: {
        if (auto* range = reinterpret_cast<PBRANGE*>(lParam)) {
            range->iLow = lower;
            range->iHigh = upper;
        }
        result = wParam ? lower : upper;
        return true;
    }
    case PBM_SETPOS:
        result = pos;
        pos = static_cast<int>(wParam);
        clampPos();
        Redraw(hwnd);
        return true;
    case PBM_DELTAPOS:
        result = pos;
        pos += static_cast<int>(wParam);
        clampPos();
        Redraw(hwnd);
        return true;
    case PBM_SETSTEP:
        result = step;
        step = static_cast<int>(wParam);
        return true;
    case PBM_STEPIT:
        result = pos;
        pos += step;
        if (pos > upper) pos = lower;  // starts over from the beginning
        if (pos < lower) pos = lower;
        Redraw(hwnd);
        return true;
    case PBM_GETPOS: result = pos; return true;
    default: return false;
    }
}

// ---- Class registration ---------------------------------------------------------------------------

void RegisterControlClasses(WindowSystem& system)
{
    system.RegisterClass({"Button", [] { return std::make_unique<ButtonModel>(); }, [] { return new CButton(); },
                          COLOR_BTNFACE, IDC_ARROW});
    system.RegisterClass({"Static", [] { return std::make_unique<StaticModel>(); }, [] { return new CStatic(); },
                          COLOR_BTNFACE, IDC_ARROW});
    system.RegisterClass(
        {"Edit", [] { return std::make_unique<EditModel>(); }, [] { return new CEdit(); }, COLOR_WINDOW, IDC_IBEAM});
    system.RegisterClass({"ComboBox", [] { return std::make_unique<ComboModel>(); }, [] { return new CComboBox(); },
                          COLOR_WINDOW, IDC_ARROW});
    system.RegisterClass({"ListBox", [] { return std::make_unique<ListBoxModel>(); }, [] { return new CListBox(); },
                          COLOR_WINDOW, IDC_ARROW});
    system.RegisterClass({"Trackbar", [] { return std::make_unique<SliderModel>(); }, [] { return new CSliderCtrl(); },
                          COLOR_BTNFACE, IDC_ARROW});
    system.RegisterClass({"Progress", [] { return std::make_unique<ProgressModel>(); },
                          [] { return new CProgressCtrl(); }, COLOR_BTNFACE, IDC_ARROW});
    system.RegisterClass({"Dialog", nullptr, nullptr, COLOR_BTNFACE, IDC_ARROW});
    system.RegisterClass({"MDIClient", nullptr, nullptr, COLOR_BTNSHADOW, IDC_ARROW});
    RegisterTreeClass(system);
    RegisterBarClasses(system);
}

}  // namespace win

// State and behaviour of the built-in controls, kept with their windows:
// what each control message does, how mouse and keyboard input change a
// control, and which notification it then raises to its parent. The control
// objects of controls.h, the dialogs and the user-input driver all reach a
// control only through these messages.
#pragma once

#include "platform/win/window_system.h"

#include <string>
#include <vector>

namespace win {

// Runtime-private messages of the control classes: the effect of a user
// action that has no single input message (picking a list item, typing a
// whole text, expanding a tree item). wParam and lParam as noted.
constexpr UINT WMU_PICK = 0x7E00;    // list / combo: wParam index, lParam MK_ key flags
constexpr UINT WMU_TYPE = 0x7E01;    // edit / editable combo: lParam const char* replacing the text
constexpr UINT WMU_EXPAND = 0x7E02;  // tree: lParam HTREEITEM toggled by the user
constexpr UINT WMU_SELECT = 0x7E03;  // tree: lParam HTREEITEM clicked by the user

// Sends WM_COMMAND with a notification code to the parent (synchronously,
// as controls do). The control may be gone afterwards.
void NotifyParent(HWND control, UINT code);
// Sends WM_NOTIFY with `header` (hwndFrom and idFrom filled here).
LRESULT NotifyParent(HWND control, NMHDR& header);
// The buttons of the radio group `button` belongs to, in z-order.
std::vector<HWND> RadioGroupOf(HWND button);
// Controls that let mouse input through to their parent (plain statics,
// group boxes).
bool IsTransparentToMouse(const WindowData& w);

constexpr int kListItemHeight = 16;
constexpr int kSliderMargin = 8;

class ButtonModel : public ControlModel {
public:
    UINT check = 0;
    bool pushed = false;
    bool focused = false;
    HBITMAP image = nullptr;
    bool Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Paint(WindowData& w, CDC& dc) override;
    // The effect of a click: automatic check boxes toggle, automatic radio
    // buttons take the check from their group; then BN_CLICKED.
    static void Click(HWND hwnd);

private:
    bool HandleState(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleInput(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam);
    bool HandleFocus(WindowData& w, UINT message);
};

class StaticModel : public ControlModel {
public:
    HBITMAP image = nullptr;
    bool pressed = false;
    bool Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Paint(WindowData& w, CDC& dc) override;
};

class EditModel : public ControlModel {
public:
    int selStart = 0;
    int selEnd = 0;
    int limit = 0;
    bool focused = false;
    bool Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Paint(WindowData& w, CDC& dc) override;

private:
    void SetText(WindowData& w, LPARAM text);
    void TypeText(WindowData& w, LPARAM typed);
    void TypeChar(WindowData& w, char c);
    bool HandleSettings(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleFocus(WindowData& w, UINT message);
};

struct ListItem {
    std::string text;
    DWORD_PTR data = 0;
    bool selected = false;
};

// The numbers of one control's item messages (list box LB_*, combo box CB_*).
struct ItemMessages {
    UINT add, insert, remove, reset, count, getText, getTextLength, setData, getData, findExact;
    DWORD sortStyle;
    LRESULT error;
};

// The item list of a list box or of a combo box's list: adding, inserting,
// removing, reading and finding items answer alike in both controls.
class ItemListModel : public ControlModel {
public:
    std::vector<ListItem> items;
    int current = -1;

protected:
    // Answers the item messages of `codes`; false for any other message.
    bool HandleItems(WindowData& w, const ItemMessages& codes, UINT message, WPARAM wParam, LPARAM lParam,
                     LRESULT& result);
    // After one item (or, when `all`, every item) was removed.
    virtual void ItemsRemoved(WindowData& w, bool all) = 0;
};

class ComboModel : public ItemListModel {
public:
    bool dropped = false;
    bool Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Paint(WindowData& w, CDC& dc) override;

private:
    static bool IsEditable(const WindowData& w);
    void Select(WindowData& w, int index);
    void Pick(WindowData& w, int index);
    bool HandleSelection(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleText(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleInput(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void ItemsRemoved(WindowData& w, bool all) override;
};

// `current` is the selection of a single-selection list box.
class ListBoxModel : public ItemListModel {
public:
    int caret = 0;
    int anchor = 0;
    int top = 0;
    bool Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Paint(WindowData& w, CDC& dc) override;

private:
    static bool IsMulti(const WindowData& w);
    bool InRange(intptr_t i) const;
    void Pick(WindowData& w, int index, UINT keys);
    bool HandleSelection(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleScrolling(WindowData& w, UINT message, WPARAM wParam, LRESULT& result);
    bool HandleInput(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    void ItemsRemoved(WindowData& w, bool all) override;
};

class SliderModel : public ControlModel {
public:
    int minPos = 0;
    int maxPos = 100;
    int pos = 0;
    int page = 20;
    int line = 1;
    int ticFrequency = 1;
    std::vector<int> tics;  // chosen tick positions; empty: every ticFrequency
    bool tracking = false;
    bool Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Paint(WindowData& w, CDC& dc) override;
    // Position under a client x (or y for vertical sliders).
    int PosFromPoint(const WindowData& w, POINT client) const;
    RECT ThumbRect(const WindowData& w) const;

private:
    void ClampPos();
    bool HandleSettings(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool HandleMouse(WindowData& w, UINT message, LPARAM lParam);
    bool HandleKeys(WindowData& w, UINT message, WPARAM wParam);
};

class ProgressModel : public ControlModel {
public:
    int lower = 0;
    int upper = 100;
    int pos = 0;
    int step = 10;
    bool Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Paint(WindowData& w, CDC& dc) override;
};

// Registration of the tree view and the bars (their own files).
void RegisterTreeClass(WindowSystem& system);
void RegisterBarClasses(WindowSystem& system);

}  // namespace win

// The controls as their parents see them: the notifications each user
// action raises (and the program's own calls do not), the selection rules
// of list boxes, the slider's scroll sequence, the progress bar's 16-bit
// range, the tree view, window scroll bars and popup menus.
#include "platform/win/controls.h"
#include "platform/win/menu.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/tree_ctrl.h"
#include "platform/win/user_input.h"
#include "platform/win/window_dc.h"
#include "platform/win/window_system.h"

#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

namespace {

// A parent that writes down every notification it gets.
class Parent : public CWnd {
public:
    struct Note {
        UINT message;
        UINT id;
        UINT code;
        int pos;
        bool operator==(const Note& o) const
        {
            return std::tie(message, id, code, pos) == std::tie(o.message, o.id, o.code, o.pos);
        }
    };
    std::vector<Note> notes;
    std::vector<NMTREEVIEW> tree;
    std::vector<UINT> commands;
    int clicks = 0;
    LRESULT vetoExpand = 0;

    BOOL Make()
    {
        return CreateEx(0, nullptr, "parent", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 600, 400}, nullptr, 0);
    }
    BOOL OnCommand(WPARAM w, LPARAM l) override
    {
        if (l) notes.push_back({WM_COMMAND, LOWORD(w), HIWORD(w), 0});
        else commands.push_back(LOWORD(w));
        return TRUE;
    }
    BOOL OnNotify(WPARAM, LPARAM l, LRESULT* result) override
    {
        auto* h = reinterpret_cast<NMHDR*>(l);
        notes.push_back({WM_NOTIFY, static_cast<UINT>(h->idFrom), h->code, 0});
        if (h->code == TVN_SELCHANGED || h->code == TVN_ITEMEXPANDED || h->code == TVN_SELCHANGING ||
            h->code == TVN_ITEMEXPANDING)
            tree.push_back(*reinterpret_cast<NMTREEVIEW*>(l));
        *result = h->code == TVN_ITEMEXPANDING ? vetoExpand : 0;
        return TRUE;
    }
    void OnHScroll(UINT code, UINT pos, CWnd* bar) override
    {
        notes.push_back({WM_HSCROLL, bar ? static_cast<UINT>(bar->GetDlgCtrlID()) : 0, code,
                         static_cast<int>(pos)});
    }
    void OnLButtonDown(UINT, CPoint) override { ++clicks; }
    std::vector<UINT> Codes(UINT message) const
    {
        std::vector<UINT> codes;
        for (const Note& n : notes) {
            if (n.message == message) codes.push_back(n.code);
        }
        return codes;
    }
};

class ControlsTest : public WinTest {
protected:
    void SetUp() override
    {
        WinTest::SetUp();
        ASSERT_TRUE(parent.Make());
    }
    void TearDown() override
    {
        parent.DestroyWindow();
        WinTest::TearDown();
    }
    Parent parent;
};

TEST_F(ControlsTest, ButtonsNotifyClicksAndKeepTheirRadioGroups)
{
    CButton push, check, a, b, c, other;
    ASSERT_TRUE(push.Create("Go", WS_VISIBLE | BS_PUSHBUTTON, RECT{0, 0, 80, 20}, &parent, 10));
    ASSERT_TRUE(check.Create("Loop", WS_VISIBLE | BS_AUTOCHECKBOX, RECT{0, 30, 80, 50}, &parent, 11));
    ASSERT_TRUE(a.Create("A", WS_VISIBLE | WS_GROUP | BS_AUTORADIOBUTTON, RECT{0, 60, 40, 80}, &parent, 12));
    ASSERT_TRUE(b.Create("B", WS_VISIBLE | BS_AUTORADIOBUTTON, RECT{40, 60, 80, 80}, &parent, 13));
    ASSERT_TRUE(c.Create("C", WS_VISIBLE | BS_AUTORADIOBUTTON, RECT{80, 60, 120, 80}, &parent, 14));
    ASSERT_TRUE(other.Create("X", WS_VISIBLE | WS_GROUP | BS_AUTORADIOBUTTON, RECT{0, 90, 40, 110}, &parent, 15));

    win::user::ClickControl(&push);
    EXPECT_EQ(parent.notes, (std::vector<Parent::Note>{{WM_COMMAND, 10, BN_CLICKED, 0}}));

    // A disabled button takes no click.
    push.EnableWindow(FALSE);
    win::user::ClickControl(&push);
    EXPECT_EQ(parent.notes.size(), 1u);

    win::user::ClickControl(&check);
    EXPECT_EQ(check.GetCheck(), 1);
    win::user::ClickControl(&check);
    EXPECT_EQ(check.GetCheck(), 0);

    other.SetCheck(1);
    win::user::ClickControl(&a);
    win::user::ClickControl(&c);
    EXPECT_EQ(a.GetCheck(), 0);
    EXPECT_EQ(c.GetCheck(), 1);
    EXPECT_EQ(other.GetCheck(), 1);  // another group
    // A press that leaves the button before release is no click.
    const size_t before = parent.notes.size();
    win::user::LeftDown(b.m_hWnd, POINT{5, 5});
    win::user::LeftUp(b.m_hWnd, POINT{500, 5});
    EXPECT_EQ(parent.notes.size(), before);
    EXPECT_EQ(b.GetCheck(), 0);
}

TEST_F(ControlsTest, APlainStaticLetsClicksThroughANotifyingOneReportsThem)
{
    CStatic plain, notifying;
    ASSERT_TRUE(plain.Create("label", WS_VISIBLE, RECT{10, 10, 100, 30}, &parent, 20));
    ASSERT_TRUE(notifying.Create("link", WS_VISIBLE | SS_NOTIFY, RECT{10, 40, 100, 60}, &parent, 21));
    win::user::ClickControl(&plain);
    EXPECT_EQ(parent.clicks, 1);
    EXPECT_TRUE(parent.notes.empty());
    win::user::ClickControl(&notifying);
    EXPECT_EQ(parent.clicks, 1);
    EXPECT_EQ(parent.notes, (std::vector<Parent::Note>{{WM_COMMAND, 21, STN_CLICKED, 0}}));
}

TEST_F(ControlsTest, EditsReportChangesAndFocusAndReadOnlyOnesRefuseTyping)
{
    CEdit edit;
    ASSERT_TRUE(edit.Create(WS_VISIBLE | WS_BORDER, RECT{0, 0, 100, 20}, &parent, 30));
    edit.SetWindowText("12");  // by program: reported too
    win::user::TypeText(edit.m_hWnd, "34");
    win::user::Unfocus();
    EXPECT_EQ(parent.Codes(WM_COMMAND), (std::vector<UINT>{EN_CHANGE, EN_SETFOCUS, EN_CHANGE, EN_KILLFOCUS}));
    EXPECT_EQ(edit.GetWindowText(), "34");
    edit.SetReadOnly(TRUE);
    win::user::TypeText(edit.m_hWnd, "56");
    EXPECT_EQ(edit.GetWindowText(), "34");
    // Characters typed one by one, with a backspace.
    edit.SetReadOnly(FALSE);
    edit.SetFocus();
    for (char ch : std::string("7\b89")) win::CharEvent(ch);
    win::PumpPendingMessages();
    EXPECT_EQ(edit.GetWindowText(), "3489");
}

TEST_F(ControlsTest, ComboBoxesNotifyUserPicksButNotProgramSelections)
{
    CComboBox list, editable;
    ASSERT_TRUE(list.Create(WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT, RECT{0, 0, 100, 20}, &parent, 40));
    ASSERT_TRUE(editable.Create(WS_VISIBLE | CBS_DROPDOWN, RECT{0, 30, 100, 50}, &parent, 41));
    for (const char* s : {"tif", "JPG", "bmp"}) list.AddString(s);
    std::string text;
    list.GetLBText(0, text);
    EXPECT_EQ(text, "bmp");  // sorted without regard to case
    EXPECT_EQ(list.FindStringExact(-1, "jpg"), 1);
    EXPECT_EQ(list.SetCurSel(2), 2);
    EXPECT_TRUE(parent.notes.empty());
    EXPECT_EQ(list.GetWindowText(), "tif");
    win::user::SelectComboItem(list.m_hWnd, 0);
    EXPECT_EQ(parent.Codes(WM_COMMAND),
              (std::vector<UINT>{CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELCHANGE, CBN_CLOSEUP, CBN_SELENDOK}));
    EXPECT_EQ(list.GetCurSel(), 0);
    EXPECT_EQ(list.SetCurSel(7), CB_ERR);
    EXPECT_EQ(list.GetCurSel(), -1);

    parent.notes.clear();
    for (const char* s : {"18", "24", "  "}) editable.AddString(s);
    win::user::TypeText(editable.m_hWnd, "28");
    EXPECT_EQ(editable.GetWindowText(), "28");
    EXPECT_EQ(editable.GetCurSel(), -1);
    EXPECT_EQ(parent.Codes(WM_COMMAND),
              (std::vector<UINT>{CBN_KILLFOCUS, CBN_SETFOCUS, CBN_EDITUPDATE, CBN_EDITCHANGE}));
    win::user::SelectComboItem(editable.m_hWnd, 2);
    EXPECT_EQ(editable.GetWindowText(), "  ");
}

// List boxes and combo boxes keep their items alike: the same steps on a
// sorted list box and a sorted editable combo box give the same answers.
template <class Control>
void CheckItemList(Control& c)
{
    auto text = [&](int i) {
        std::string t;
        if constexpr (std::is_same_v<Control, CComboBox>) c.GetLBText(i, t);
        else c.GetText(i, t);
        return t;
    };
    auto textLength = [&](int i) {
        if constexpr (std::is_same_v<Control, CComboBox>) return c.GetLBTextLen(i);
        else return c.GetTextLen(i);
    };
    EXPECT_EQ(c.AddString("b"), 0);
    EXPECT_EQ(c.AddString("C"), 1);
    EXPECT_EQ(c.AddString("a"), 0);  // sorted without regard to case
    EXPECT_EQ(c.InsertString(1, "x"), 1);
    EXPECT_EQ(c.InsertString(-1, "end"), 4);
    EXPECT_EQ(c.InsertString(6, "past"), -1);
    ASSERT_EQ(c.GetCount(), 5);
    EXPECT_EQ(text(1), "x");
    EXPECT_EQ(text(4), "end");

    // The selection follows its item through inserts and deletes.
    EXPECT_EQ(c.SetCurSel(2), 2);
    EXPECT_EQ(c.InsertString(0, "first"), 0);
    EXPECT_EQ(c.GetCurSel(), 3);
    EXPECT_EQ(c.DeleteString(0), 5);
    EXPECT_EQ(c.GetCurSel(), 2);
    EXPECT_EQ(c.DeleteString(2), 4);
    EXPECT_EQ(c.GetCurSel(), -1);
    EXPECT_EQ(c.DeleteString(4), -1);
    EXPECT_EQ(c.GetCount(), 4);  // a x C end

    EXPECT_EQ(c.SetItemData(1, 77), 0);
    EXPECT_EQ(c.GetItemData(1), 77u);
    EXPECT_EQ(c.SetItemData(4, 1), -1);
    EXPECT_EQ(c.GetItemData(-1), static_cast<DWORD_PTR>(-1));
    EXPECT_EQ(textLength(3), 3);
    EXPECT_EQ(textLength(4), -1);
    EXPECT_EQ(c.FindStringExact(-1, "c"), 2);
    EXPECT_EQ(c.FindStringExact(2, "A"), 0);  // wraps around once
    EXPECT_EQ(c.FindStringExact(-1, "e"), -1);

    c.ResetContent();
    EXPECT_EQ(c.GetCount(), 0);
    EXPECT_EQ(c.GetCurSel(), -1);
}

TEST_F(ControlsTest, ListBoxesAndComboBoxesKeepTheirItemsAlike)
{
    CListBox list;
    ASSERT_TRUE(list.Create(WS_VISIBLE | LBS_SORT, RECT{0, 0, 100, 200}, &parent, 52));
    CheckItemList(list);
    CComboBox combo;
    ASSERT_TRUE(combo.Create(WS_VISIBLE | CBS_DROPDOWN | CBS_SORT, RECT{120, 0, 220, 20}, &parent, 42));
    combo.SetWindowText("typed");
    CheckItemList(combo);
    EXPECT_EQ(combo.GetWindowText(), "");  // emptying the list clears the edit field
    EXPECT_TRUE(parent.notes.empty());     // the program's own calls notify nothing
}

TEST_F(ControlsTest, ListBoxSelectionFollowsThePlatformsRules)
{
    CListBox single, extended;
    ASSERT_TRUE(single.Create(WS_VISIBLE | LBS_NOTIFY, RECT{0, 0, 100, 200}, &parent, 50));
    ASSERT_TRUE(extended.Create(WS_VISIBLE | LBS_NOTIFY | LBS_EXTENDEDSEL, RECT{120, 0, 220, 200}, &parent, 51));
    for (int i = 0; i < 8; ++i) {
        const std::string s = "IMG_" + std::to_string(i) + ".JPG";
        single.AddString(s.c_str());
        extended.AddString(s.c_str());
    }
    win::user::ClickListItem(single.m_hWnd, 3);
    EXPECT_EQ(single.GetCurSel(), 3);
    win::user::ClickListItem(single.m_hWnd, 3);  // no change, no second notification
    win::user::DoubleClickListItem(single.m_hWnd, 3);
    EXPECT_EQ(parent.Codes(WM_COMMAND), (std::vector<UINT>{LBN_SETFOCUS, LBN_SELCHANGE, LBN_DBLCLK}));
    EXPECT_EQ(single.GetSelCount(), LB_ERR);

    struct Step {
        int item;
        UINT keys;
        std::vector<int> selected;
    };
    const Step steps[] = {
        {2, 0, {2}},
        {5, MK_SHIFT, {2, 3, 4, 5}},
        {7, MK_CONTROL, {2, 3, 4, 5, 7}},
        {3, MK_CONTROL, {2, 4, 5, 7}},       // Ctrl toggles and moves the anchor to 3
        {6, MK_SHIFT, {3, 4, 5, 6}},         // Shift from the anchor, the rest cleared
        {0, MK_SHIFT | MK_CONTROL, {0, 1, 2, 3, 4, 5, 6}},
        {1, 0, {1}},
    };
    for (const Step& s : steps) {
        win::user::ClickListItem(extended.m_hWnd, s.item, s.keys);
        EXPECT_EQ(extended.GetSelItems(), s.selected) << "after item " << s.item;
        EXPECT_EQ(extended.GetCaretIndex(), s.item);
    }
    EXPECT_EQ(extended.SetCurSel(1), LB_ERR);
    std::string text;
    extended.GetText(4, text);
    EXPECT_EQ(text, "IMG_4.JPG");
}

TEST_F(ControlsTest, DraggingASliderTracksThenReportsThePositionAndTheEnd)
{
    CSliderCtrl slider;
    ASSERT_TRUE(slider.Create(WS_VISIBLE, RECT{0, 0, 216, 30}, &parent, 60));  // 200 pixels of travel
    slider.SetRange(0, 50);
    slider.SetPageSize(5);
    slider.SetPos(25);
    EXPECT_TRUE(parent.notes.empty());
    win::user::DragSliderTo(slider.m_hWnd, 40);
    ASSERT_GE(parent.notes.size(), 3u);
    const auto& n = parent.notes;
    for (size_t i = 0; i + 2 < n.size(); ++i) {
        EXPECT_EQ(n[i].code, TB_THUMBTRACK);
        EXPECT_EQ(n[i].id, 60u);
    }
    EXPECT_EQ(n[n.size() - 3].pos, 40);
    EXPECT_EQ(n[n.size() - 2], (Parent::Note{WM_HSCROLL, 60, TB_THUMBPOSITION, 40}));
    EXPECT_EQ(n[n.size() - 1].code, TB_ENDTRACK);
    EXPECT_EQ(slider.GetPos(), 40);
    // A click beside the thumb moves one page towards it.
    parent.notes.clear();
    win::user::Click(slider.m_hWnd, POINT{10, 15});
    EXPECT_EQ(slider.GetPos(), 35);
    EXPECT_EQ(parent.Codes(WM_HSCROLL), (std::vector<UINT>{TB_PAGEUP, TB_ENDTRACK}));
}

TEST_F(ControlsTest, ProgressBarsKeepA16BitRangeAndStartOverPastTheEnd)
{
    CProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_VISIBLE, RECT{0, 0, 200, 20}, &parent, 70));
    // Opened with position 0 and range 9: 0 to 10, standing at 1.
    bar.SetRange(0, static_cast<short>(9 + 1));
    bar.SetStep(1);
    bar.SetPos(0 + 1);
    int lower = -1, upper = -1;
    bar.GetRange(lower, upper);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 10);
    EXPECT_EQ(bar.GetPos(), 1);
    for (int i = 0; i < 9; ++i) bar.StepIt();
    EXPECT_EQ(bar.GetPos(), 10);
    EXPECT_EQ(bar.StepIt(), 10);
    EXPECT_EQ(bar.GetPos(), 0);
    // The bounds are 16-bit values: 65535 stays, 65536 wraps to 0.
    bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 65535));
    bar.GetRange(lower, upper);
    EXPECT_EQ(upper, 65535);
    bar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, 65536));
    bar.GetRange(lower, upper);
    EXPECT_EQ(upper, 0);
}

TEST_F(ControlsTest, AWorkerStepsTheProgressBarThroughMessages)
{
    CProgressCtrl bar;
    ASSERT_TRUE(bar.Create(WS_VISIBLE, RECT{0, 0, 200, 20}, &parent, 71));
    bar.SetRange(0, 100);
    bar.SetStep(1);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        auto* control = static_cast<CProgressCtrl*>(parent.GetDlgItem(71));
        for (int i = 0; i < 40; ++i) control->StepIt();
        control->SetWindowText("step");
        done = true;
    });
    ASSERT_TRUE(win::PumpUntil([&] { return done.load(); }, 5000));
    worker.join();
    EXPECT_EQ(bar.GetPos(), 40);
    EXPECT_EQ(bar.GetWindowText(), "step");
}

TEST_F(ControlsTest, TreeViewsNotifyUserActionsButNotProgramExpansion)
{
    CTreeCtrl tree;
    ASSERT_TRUE(tree.Create(WS_VISIBLE, RECT{0, 0, 200, 300}, &parent, 80));
    const HTREEITEM root = tree.InsertItem("My Computer", 0, 1);
    const HTREEITEM c = tree.InsertItem("(C:)", 0, 1, root);
    const HTREEITEM users = tree.InsertItem("users", 0, 1, c);
    tree.InsertItem("data", 0, 1, c, TVI_FIRST);
    tree.InsertItem("Apps", 0, 1, c);
    EXPECT_TRUE(tree.Expand(root, TVE_EXPAND));
    EXPECT_FALSE(tree.Expand(root, TVE_EXPAND));  // already
    EXPECT_FALSE(tree.Expand(users, TVE_EXPAND));  // no children
    EXPECT_TRUE(parent.notes.empty());
    EXPECT_TRUE(tree.GetItemState(root, TVIS_EXPANDED) & TVIS_EXPANDED);

    tree.SortChildren(c);
    std::vector<std::string> names;
    for (HTREEITEM i = tree.GetChildItem(c); i; i = tree.GetNextSiblingItem(i)) names.push_back(tree.GetItemText(i));
    EXPECT_EQ(names, (std::vector<std::string>{"Apps", "data", "users"}));

    win::user::ExpandTreeItem(tree.m_hWnd, c);
    ASSERT_EQ(parent.tree.size(), 2u);
    EXPECT_EQ(parent.tree[0].hdr.code, TVN_ITEMEXPANDING);
    EXPECT_EQ(parent.tree[1].hdr.code, TVN_ITEMEXPANDED);
    EXPECT_EQ(parent.tree[1].action, TVE_EXPAND);
    EXPECT_EQ(parent.tree[1].itemNew.hItem, c);
    // A parent that answers TRUE to "expanding" keeps the item as it was.
    parent.vetoExpand = TRUE;
    win::user::ExpandTreeItem(tree.m_hWnd, c);
    EXPECT_TRUE(tree.GetItemState(c, TVIS_EXPANDED) & TVIS_EXPANDED);
    parent.vetoExpand = FALSE;

    parent.tree.clear();
    tree.SelectItem(users);
    win::user::SelectTreeItem(tree.m_hWnd, root);
    ASSERT_EQ(parent.tree.size(), 4u);
    EXPECT_EQ(parent.tree[1].hdr.code, TVN_SELCHANGED);
    EXPECT_EQ(parent.tree[1].action, TVC_UNKNOWN);
    EXPECT_EQ(parent.tree[3].action, TVC_BYMOUSE);
    EXPECT_EQ(parent.tree[3].itemOld.hItem, users);
    EXPECT_EQ(tree.GetSelectedItem(), root);

    // Deleting a subtree reports each item; the handles go stale.
    parent.notes.clear();
    EXPECT_TRUE(tree.DeleteItem(c));
    EXPECT_EQ(parent.Codes(WM_NOTIFY).size(), 4u);
    EXPECT_EQ(tree.GetCount(), 1u);
    EXPECT_EQ(tree.GetItemText(users), "");
    EXPECT_FALSE(tree.SelectItem(users));
}

TEST_F(ControlsTest, ImageListsCutTheirStripIntoPictures)
{
    auto* strip = new Image(48, 16, 3);
    for (int x = 0; x < 48; ++x) {
        for (int y = 0; y < 16; ++y) strip->GetData()[y * strip->GetRowByte() + x * 3] = static_cast<unsigned char>(x);
    }
    win::Resources::App().AddBitmap(101, strip);
    ReleaseImage(strip);  // the resources keep their own reference
    CImageList list;
    ASSERT_TRUE(list.Create(101, 16, 1, RGB(255, 0, 255)));
    ASSERT_EQ(list.GetImageCount(), 3);
    EXPECT_EQ(list.GetImage(2)->GetData()[0], 32);
    EXPECT_EQ(list.GetImage(3), nullptr);
    EXPECT_FALSE(list.Create(102, 16, 1, 0));
}

TEST_F(ControlsTest, BitmapButtonsShowThePictureOfTheirStateAndSizeToIt)
{
    auto picture = [](unsigned char shade) {
        auto* image = new Image(30, 20, 3);
        image->Fill(shade);
        return image;
    };
    const unsigned char shades[] = {40, 80, 120, 160};
    for (UINT i = 0; i < 4; ++i) {
        Image* p = picture(shades[i]);
        win::Resources::App().AddBitmap(249 + i, p);
        ReleaseImage(p);
    }
    // The Load button of the stitch bar: a push button of the template,
    // taken over and drawn by its pictures.
    CButton placeholder;
    ASSERT_TRUE(placeholder.Create("Load", WS_VISIBLE | BS_PUSHBUTTON, RECT{10, 10, 50, 30}, &parent, 1244));
    placeholder.UnsubclassWindow();  // the window stays, as a dialog's control would
    CBitmapButton load;
    ASSERT_TRUE(load.LoadBitmaps(249, 250, 251, 252));
    ASSERT_TRUE(load.AutoLoad(1244, &parent));
    CRect r;
    load.GetWindowRect(&r);
    EXPECT_EQ(r.Size(), CSize(30, 20));
    EXPECT_EQ(load.PictureFor(0)->GetData()[0], 40);
    EXPECT_EQ(load.PictureFor(ODS_SELECTED | ODS_FOCUS)->GetData()[0], 80);
    EXPECT_EQ(load.PictureFor(ODS_FOCUS)->GetData()[0], 120);
    EXPECT_EQ(load.PictureFor(ODS_DISABLED)->GetData()[0], 160);
    win::PaintAll();
    Image* shot = win::CaptureWindow(load.m_hWnd);
    EXPECT_EQ(shot->GetData()[5 * shot->GetRowByte() + 3 * 5], 40);
    ReleaseImage(shot);
    win::user::LeftDown(load.m_hWnd, POINT{5, 5});
    win::PaintAll();
    shot = win::CaptureWindow(load.m_hWnd);
    EXPECT_EQ(shot->GetData()[5 * shot->GetRowByte() + 3 * 5], 80);
    ReleaseImage(shot);
    win::user::LeftUp(load.m_hWnd, POINT{5, 5});
    EXPECT_EQ(parent.notes, (std::vector<Parent::Note>{{WM_COMMAND, 1244, BN_CLICKED, 0}}));
    EXPECT_FALSE(load.LoadBitmaps(999));
}

TEST_F(ControlsTest, WindowScrollBarsClampTheirPositionAndShapeTheClientArea)
{
    CWnd view;
    ASSERT_TRUE(view.CreateEx(0, nullptr, "", WS_CHILD | WS_VISIBLE, RECT{0, 0, 200, 100}, &parent, 90));
    CRect client;
    view.GetClientRect(&client);
    EXPECT_EQ(client.Size(), CSize(200, 100));
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE, 0, 499, 200, 0, 0};
    view.SetScrollInfo(SB_HORZ, &info);
    view.GetClientRect(&client);
    EXPECT_EQ(client.Size(), CSize(200, 100 - win::kScrollBarThickness));
    view.SetScrollPos(SB_HORZ, 1000);
    EXPECT_EQ(view.GetScrollPos(SB_HORZ), 300);  // 499 - (200 - 1)
    view.SetScrollPos(SB_HORZ, -5);
    EXPECT_EQ(view.GetScrollPos(SB_HORZ), 0);
    // A page that covers the range hides the bar again.
    info.nPage = 600;
    view.SetScrollInfo(SB_HORZ, &info);
    view.GetClientRect(&client);
    EXPECT_EQ(client.Size(), CSize(200, 100));
}

TEST_F(ControlsTest, PopupMenusSendTheChosenCommandToTheirOwner)
{
    win::MenuTemplate t;
    t.items = {{0, "tray", 0,
                {{32899, "Adjust Brightness/Contrast"},
                 {33027, "Show Image Names"},
                 {0, "Select pair blend mode", 0, {{33014, "Use middle line"}, {33016, "Right over left"}}},
                 {0, ""},
                 {32900, "Show Full Size Image", MF_GRAYED}}}};
    win::Resources::App().AddMenu(164, t);
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(164));
    CMenu* popup = menu.GetSubMenu(0);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->GetMenuItemCount(), 5);
    EXPECT_EQ(popup->GetMenuItemID(2), static_cast<UINT>(-1));
    EXPECT_EQ(popup->GetMenuItemID(3), 0u);
    popup->ModifyMenu(33027, MF_BYCOMMAND | MF_STRING, 33027, "Hide Image Names");
    popup->CheckMenuItem(33016, MF_BYCOMMAND | MF_CHECKED);

    Prompter().ExpectPopupMenu(33016);
    EXPECT_TRUE(popup->TrackPopupMenu(TPM_RIGHTBUTTON, 300, 200, &parent));
    EXPECT_EQ(parent.commands, (std::vector<UINT>{33016}));
    const auto asked = Prompter().PopupMenus();
    ASSERT_EQ(asked.size(), 1u);
    ASSERT_EQ(asked[0].items.size(), 5u);
    EXPECT_EQ(asked[0].items[1].text, "Hide Image Names");
    EXPECT_TRUE(asked[0].items[3].checked);
    EXPECT_FALSE(asked[0].items[4].enabled);

    // A grayed item cannot be chosen; the return-command form sends nothing.
    Prompter().ExpectPopupMenu(32900);
    EXPECT_FALSE(popup->TrackPopupMenu(TPM_RIGHTBUTTON, 0, 0, &parent));
    Prompter().ExpectPopupMenu(32899);
    EXPECT_EQ(popup->TrackPopupMenu(TPM_RETURNCMD, 0, 0, &parent), 32899);
    EXPECT_EQ(parent.commands.size(), 1u);
}

}  // namespace

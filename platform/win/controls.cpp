#include "platform/win/controls.h"

#include "core/logger.h"
#include "platform/win/control_models.h"
#include "platform/win/resources.h"
#include "platform/win/window_system.h"

#include <string>

namespace {

template <class T>
T Result(LRESULT r)
{
    return static_cast<T>(r);
}

std::string ItemText(const CWnd& control, UINT lengthMessage, UINT textMessage, int index)
{
    const LRESULT n = control.SendMessage(lengthMessage, static_cast<WPARAM>(index));
    if (n < 0) return std::string();
    std::string text(static_cast<size_t>(n) + 1, '\0');
    control.SendMessage(textMessage, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(n));
    return text;
}

}  // namespace

// ---- CButton -------------------------------------------------------------------

BOOL CButton::Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateEx(0, "Button", text, style | WS_CHILD, rect, parent, id);
}

int CButton::GetCheck() const
{
    return Result<int>(SendMessage(BM_GETCHECK));
}

void CButton::SetCheck(int check)
{
    SendMessage(BM_SETCHECK, static_cast<WPARAM>(check));
}

UINT CButton::GetState() const
{
    return Result<UINT>(SendMessage(BM_GETSTATE));
}

void CButton::SetState(BOOL highlight)
{
    SendMessage(BM_SETSTATE, static_cast<WPARAM>(highlight));
}

UINT CButton::GetButtonStyle() const
{
    return GetStyle() & 0xFFFF;
}

void CButton::SetButtonStyle(UINT style, BOOL redraw)
{
    SendMessage(BM_SETSTYLE, style, redraw);
}

HBITMAP CButton::SetBitmap(HBITMAP bitmap)
{
    return reinterpret_cast<HBITMAP>(SendMessage(BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}

HBITMAP CButton::GetBitmap() const
{
    return reinterpret_cast<HBITMAP>(SendMessage(BM_GETIMAGE, IMAGE_BITMAP));
}

// ---- CBitmapButton ---------------------------------------------------------------

BOOL CBitmapButton::LoadBitmaps(UINT up, UINT down, UINT focus, UINT disabled)
{
    Image* picture = win::Resources::FindBitmap(up);
    if (!picture) {
        Logger::log("ERROR CBitmapButton::LoadBitmaps no bitmap resource %u", 1, up);
        return FALSE;
    }
    m_up = RefPtr<Image>::share(picture);
    m_down = RefPtr<Image>::share(down ? win::Resources::FindBitmap(down) : nullptr);
    m_focus = RefPtr<Image>::share(focus ? win::Resources::FindBitmap(focus) : nullptr);
    m_disabled = RefPtr<Image>::share(disabled ? win::Resources::FindBitmap(disabled) : nullptr);
    if (m_hWnd) Invalidate();
    return TRUE;
}

BOOL CBitmapButton::AutoLoad(UINT id, CWnd* parent)
{
    if (!SubclassDlgItem(id, parent)) return FALSE;
    // The button draws its pictures itself.
    ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
    SizeToContent();
    return TRUE;
}

void CBitmapButton::SizeToContent()
{
    if (!m_up || !m_hWnd) return;
    win::WindowData* w = win::WindowSystem::Get().Find(m_hWnd);
    if (!w) return;
    SetWindowPos(nullptr, 0, 0, m_up->GetWidth(), m_up->GetHeight(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

Image* CBitmapButton::PictureFor(UINT itemState) const
{
    // Selected wins over focus; a missing picture falls back to the up one.
    Image* chosen = nullptr;
    if (itemState & ODS_SELECTED) chosen = m_down.get();
    else if (itemState & ODS_FOCUS) chosen = m_focus.get();
    else if (itemState & ODS_DISABLED) chosen = m_disabled.get();
    return chosen ? chosen : m_up.get();
}

// ---- CStatic ---------------------------------------------------------------------------

BOOL CStatic::Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateEx(0, "Static", text, style | WS_CHILD, rect, parent, id);
}

HBITMAP CStatic::SetBitmap(HBITMAP bitmap)
{
    return reinterpret_cast<HBITMAP>(SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
}

HBITMAP CStatic::GetBitmap() const
{
    return reinterpret_cast<HBITMAP>(SendMessage(STM_GETIMAGE, IMAGE_BITMAP));
}

// ---- CEdit ---------------------------------------------------------------------------------

BOOL CEdit::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateEx(0, "Edit", "", style | WS_CHILD, rect, parent, id);
}

void CEdit::SetSel(int start, int end, BOOL)
{
    SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end);
}

void CEdit::LimitText(int maxChars)
{
    SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(maxChars));
}

BOOL CEdit::SetReadOnly(BOOL readOnly)
{
    return Result<BOOL>(SendMessage(EM_SETREADONLY, static_cast<WPARAM>(readOnly)));
}

// ---- CComboBox ---------------------------------------------------------------------------

BOOL CComboBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateEx(0, "ComboBox", "", style | WS_CHILD, rect, parent, id);
}

int CComboBox::AddString(const char* text)
{
    return Result<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int CComboBox::InsertString(int index, const char* text)
{
    return Result<int>(SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
}

int CComboBox::DeleteString(UINT index)
{
    return Result<int>(SendMessage(CB_DELETESTRING, index));
}

void CComboBox::ResetContent()
{
    SendMessage(CB_RESETCONTENT);
}

int CComboBox::GetCount() const
{
    return Result<int>(SendMessage(CB_GETCOUNT));
}

int CComboBox::GetCurSel() const
{
    return Result<int>(SendMessage(CB_GETCURSEL));
}

int CComboBox::SetCurSel(int index)
{
    return Result<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
}

int CComboBox::GetLBText(int index, char* buffer) const
{
    return Result<int>(SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
}

void CComboBox::GetLBText(int index, std::string& text) const
{
    text = ItemText(*this, CB_GETLBTEXTLEN, CB_GETLBTEXT, index);
}

int CComboBox::GetLBTextLen(int index) const
{
    return Result<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
}

int CComboBox::FindString(int startAfter, const char* prefix) const
{
    return Result<int>(SendMessage(CB_FINDSTRING, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(prefix)));
}

int CComboBox::FindStringExact(int startAfter, const char* text) const
{
    return Result<int>(
        SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(text)));
}

int CComboBox::SelectString(int startAfter, const char* prefix)
{
    return Result<int>(
        SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(prefix)));
}

int CComboBox::SetItemData(int index, DWORD_PTR data)
{
    return Result<int>(SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
}

DWORD_PTR CComboBox::GetItemData(int index) const
{
    return Result<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index)));
}

void CComboBox::ShowDropDown(BOOL show)
{
    SendMessage(CB_SHOWDROPDOWN, static_cast<WPARAM>(show));
}

BOOL CComboBox::GetDroppedState() const
{
    return Result<BOOL>(SendMessage(CB_GETDROPPEDSTATE));
}

// ---- CListBox ------------------------------------------------------------------------------

BOOL CListBox::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateEx(0, "ListBox", "", style | WS_CHILD, rect, parent, id);
}

int CListBox::AddString(const char* text)
{
    return Result<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int CListBox::InsertString(int index, const char* text)
{
    return Result<int>(SendMessage(LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)));
}

int CListBox::DeleteString(UINT index)
{
    return Result<int>(SendMessage(LB_DELETESTRING, index));
}

void CListBox::ResetContent()
{
    SendMessage(LB_RESETCONTENT);
}

int CListBox::GetCount() const
{
    return Result<int>(SendMessage(LB_GETCOUNT));
}

int CListBox::GetCurSel() const
{
    return Result<int>(SendMessage(LB_GETCURSEL));
}

int CListBox::SetCurSel(int index)
{
    return Result<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index)));
}

int CListBox::GetSel(int index) const
{
    return Result<int>(SendMessage(LB_GETSEL, static_cast<WPARAM>(index)));
}

int CListBox::SetSel(int index, BOOL select)
{
    return Result<int>(SendMessage(LB_SETSEL, static_cast<WPARAM>(select), index));
}

int CListBox::GetSelCount() const
{
    return Result<int>(SendMessage(LB_GETSELCOUNT));
}

int CListBox::GetSelItems(int maxItems, int* items) const
{
    return Result<int>(SendMessage(LB_GETSELITEMS, static_cast<WPARAM>(maxItems), reinterpret_cast<LPARAM>(items)));
}

std::vector<int> CListBox::GetSelItems() const
{
    const int n = GetSelCount();
    if (n <= 0) return {};
    std::vector<int> items(static_cast<size_t>(n));
    items.resize(static_cast<size_t>(std::max(0, GetSelItems(n, items.data()))));
    return items;
}

int CListBox::GetText(int index, char* buffer) const
{
    return Result<int>(SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
}

void CListBox::GetText(int index, std::string& text) const
{
    text = ItemText(*this, LB_GETTEXTLEN, LB_GETTEXT, index);
}

int CListBox::GetTextLen(int index) const
{
    return Result<int>(SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index)));
}

int CListBox::SetItemData(int index, DWORD_PTR data)
{
    return Result<int>(SendMessage(LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
}

DWORD_PTR CListBox::GetItemData(int index) const
{
    return Result<DWORD_PTR>(SendMessage(LB_GETITEMDATA, static_cast<WPARAM>(index)));
}

int CListBox::FindStringExact(int startAfter, const char* text) const
{
    return Result<int>(
        SendMessage(LB_FINDSTRINGEXACT, static_cast<WPARAM>(startAfter), reinterpret_cast<LPARAM>(text)));
}

int CListBox::GetTopIndex() const
{
    return Result<int>(SendMessage(LB_GETTOPINDEX));
}

int CListBox::SetTopIndex(int index)
{
    return Result<int>(SendMessage(LB_SETTOPINDEX, static_cast<WPARAM>(index)));
}

int CListBox::GetCaretIndex() const
{
    return Result<int>(SendMessage(LB_GETCARETINDEX));
}

int CListBox::SetCaretIndex(int index, BOOL scroll)
{
    return Result<int>(SendMessage(LB_SETCARETINDEX, static_cast<WPARAM>(index), scroll));
}

// ---- CSliderCtrl -------------------------------------------------------------------------------

BOOL CSliderCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateEx(0, "Trackbar", "", style | WS_CHILD, rect, parent, id);
}

void CSliderCtrl::SetRange(int minPos, int maxPos, BOOL redraw)
{
    SendMessage(TBM_SETRANGEMIN, FALSE, minPos);
    SendMessage(TBM_SETRANGEMAX, static_cast<WPARAM>(redraw), maxPos);
}

void CSliderCtrl::SetRangeMin(int minPos, BOOL redraw)
{
    SendMessage(TBM_SETRANGEMIN, static_cast<WPARAM>(redraw), minPos);
}

void CSliderCtrl::SetRangeMax(int maxPos, BOOL redraw)
{
    SendMessage(TBM_SETRANGEMAX, static_cast<WPARAM>(redraw), maxPos);
}

void CSliderCtrl::GetRange(int& minPos, int& maxPos) const
{
    minPos = GetRangeMin();
    maxPos = GetRangeMax();
}

int CSliderCtrl::GetRangeMin() const
{
    return Result<int>(SendMessage(TBM_GETRANGEMIN));
}

int CSliderCtrl::GetRangeMax() const
{
    return Result<int>(SendMessage(TBM_GETRANGEMAX));
}

int CSliderCtrl::GetPos() const
{
    return Result<int>(SendMessage(TBM_GETPOS));
}

void CSliderCtrl::SetPos(int pos)
{
    SendMessage(TBM_SETPOS, TRUE, pos);
}

int CSliderCtrl::SetPageSize(int size)
{
    return Result<int>(SendMessage(TBM_SETPAGESIZE, 0, size));
}

int CSliderCtrl::GetPageSize() const
{
    return Result<int>(SendMessage(TBM_GETPAGESIZE));
}

int CSliderCtrl::SetLineSize(int size)
{
    return Result<int>(SendMessage(TBM_SETLINESIZE, 0, size));
}

int CSliderCtrl::GetLineSize() const
{
    return Result<int>(SendMessage(TBM_GETLINESIZE));
}

void CSliderCtrl::SetTicFreq(int frequency)
{
    SendMessage(TBM_SETTICFREQ, static_cast<WPARAM>(frequency));
}

BOOL CSliderCtrl::SetTic(int position)
{
    return static_cast<BOOL>(SendMessage(TBM_SETTIC, 0, static_cast<LPARAM>(position)));
}

void CSliderCtrl::ClearTics(BOOL redraw)
{
    SendMessage(TBM_CLEARTICS, static_cast<WPARAM>(redraw), 0);
}

int CSliderCtrl::GetNumTics() const
{
    return static_cast<int>(const_cast<CSliderCtrl*>(this)->SendMessage(TBM_GETNUMTICS));
}

int CSliderCtrl::GetTic(int index) const
{
    return static_cast<int>(const_cast<CSliderCtrl*>(this)->SendMessage(TBM_GETTIC, static_cast<WPARAM>(index)));
}

// ---- CProgressCtrl ---------------------------------------------------------------------------------

BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateEx(0, "Progress", "", style | WS_CHILD, rect, parent, id);
}

void CProgressCtrl::SetRange(short lower, short upper)
{
    SendMessage(PBM_SETRANGE, 0, MAKELPARAM(static_cast<uint16_t>(lower), static_cast<uint16_t>(upper)));
}

void CProgressCtrl::SetRange32(int lower, int upper)
{
    SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

void CProgressCtrl::GetRange(int& lower, int& upper) const
{
    PBRANGE range{0, 0};
    SendMessage(PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    lower = range.iLow;
    upper = range.iHigh;
}

int CProgressCtrl::GetPos() const
{
    return Result<int>(SendMessage(PBM_GETPOS));
}

int CProgressCtrl::SetPos(int pos)
{
    return Result<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos)));
}

int CProgressCtrl::OffsetPos(int delta)
{
    return Result<int>(SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(delta)));
}

int CProgressCtrl::SetStep(int step)
{
    return Result<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step)));
}

int CProgressCtrl::StepIt()
{
    return Result<int>(SendMessage(PBM_STEPIT));
}

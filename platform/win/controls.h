// The standard controls as thin objects over their window: buttons (push,
// check, radio, owner-drawn, bitmap), static texts and pictures, edits,
// combo boxes, list boxes, sliders and progress bars. Their state lives
// with the window (see control_models.h), so an object made by a dialog
// template and one the program subclasses later see the same control; every
// call goes through the control's messages and is safe from any thread.
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "platform/win/wnd.h"

#include <string>
#include <vector>

class CButton : public CWnd {
public:
    virtual BOOL Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCheck() const;
    void SetCheck(int check);
    UINT GetState() const;
    void SetState(BOOL highlight);
    UINT GetButtonStyle() const;
    void SetButtonStyle(UINT style, BOOL redraw = TRUE);
    HBITMAP SetBitmap(HBITMAP bitmap);
    HBITMAP GetBitmap() const;
};

// An owner-drawn button that shows one of four pictures by its state: up,
// down (selected), focused and disabled. The pictures are bitmap resources.
class CBitmapButton : public CButton {
public:
    BOOL LoadBitmaps(UINT up, UINT down = 0, UINT focus = 0, UINT disabled = 0);
    // Subclasses control `id` of `parent` (its window text names nothing here).
    BOOL AutoLoad(UINT id, CWnd* parent);
    // Resizes the button to its up picture.
    void SizeToContent();
    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    // The picture the button shows in a state (ODS_ bits), for tests.
    Image* PictureFor(UINT itemState) const;

private:
    RefPtr<Image> m_up;
    RefPtr<Image> m_down;
    RefPtr<Image> m_focus;
    RefPtr<Image> m_disabled;
};

class CStatic : public CWnd {
public:
    virtual BOOL Create(const char* text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF);
    HBITMAP SetBitmap(HBITMAP bitmap);
    HBITMAP GetBitmap() const;
};

class CEdit : public CWnd {
public:
    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void LimitText(int maxChars = 0);
    BOOL SetReadOnly(BOOL readOnly = TRUE);
};

class CComboBox : public CWnd {
public:
    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int AddString(const char* text);
    int InsertString(int index, const char* text);
    int DeleteString(UINT index);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetLBText(int index, char* buffer) const;
    void GetLBText(int index, std::string& text) const;
    int GetLBTextLen(int index) const;
    int FindString(int startAfter, const char* prefix) const;
    int FindStringExact(int startAfter, const char* text) const;
    int SelectString(int startAfter, const char* prefix);
    int SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;
    void ShowDropDown(BOOL show = TRUE);
    BOOL GetDroppedState() const;
};

class CListBox : public CWnd {
public:
    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int AddString(const char* text);
    int InsertString(int index, const char* text);
    int DeleteString(UINT index);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetSel(int index) const;
    int SetSel(int index, BOOL select = TRUE);
    int GetSelCount() const;
    int GetSelItems(int maxItems, int* items) const;
    std::vector<int> GetSelItems() const;
    int GetText(int index, char* buffer) const;
    void GetText(int index, std::string& text) const;
    int GetTextLen(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;
    int FindStringExact(int startAfter, const char* text) const;
    int GetTopIndex() const;
    int SetTopIndex(int index);
    int GetCaretIndex() const;
    int SetCaretIndex(int index, BOOL scroll = TRUE);
};

class CSliderCtrl : public CWnd {
public:
    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetRange(int minPos, int maxPos, BOOL redraw = FALSE);
    void SetRangeMin(int minPos, BOOL redraw = FALSE);
    void SetRangeMax(int maxPos, BOOL redraw = FALSE);
    void GetRange(int& minPos, int& maxPos) const;
    int GetRangeMin() const;
    int GetRangeMax() const;
    int GetPos() const;
    void SetPos(int pos);
    int SetPageSize(int size);
    int GetPageSize() const;
    int SetLineSize(int size);
    int GetLineSize() const;
    void SetTicFreq(int frequency);
    // Tick marks at chosen positions (they replace the regular ones).
    BOOL SetTic(int position);
    void ClearTics(BOOL redraw = FALSE);
    int GetNumTics() const;
    int GetTic(int index) const;  // -1 when there is no such tick
};

class CProgressCtrl : public CWnd {
public:
    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    // The 16-bit range: both bounds are taken modulo 65536.
    void SetRange(short lower, short upper);
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    int GetPos() const;
    int SetPos(int pos);
    int OffsetPos(int delta);
    int SetStep(int step);
    // Advances by the step; past the upper bound the bar starts again at
    // the lower one. Returns the previous position.
    int StepIt();
};

struct PBRANGE {
    int iLow;
    int iHigh;
};

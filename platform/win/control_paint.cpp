// How the built-in controls and bars look: flat three-dimensional frames in
// the system colours, texts in the default font, selections in the
// highlight colour. Owner-drawn buttons and statics ask their parent
// (WM_DRAWITEM) instead.
#include "platform/win/control_bars.h"
#include "platform/win/control_models.h"
#include "platform/win/controls.h"
#include "platform/win/dib.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/tree_model.h"
#include "platform/win/window_dc.h"

#include <algorithm>

namespace win {

namespace {

COLORREF Face()
{
    return GetSysColor(COLOR_BTNFACE);
}

void Raised(CDC& dc, const CRect& r)
{
    dc.Draw3dRect(&r, GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_3DDKSHADOW));
    CRect inner = r;
    inner.DeflateRect(1, 1);
    dc.Draw3dRect(&inner, Face(), GetSysColor(COLOR_BTNSHADOW));
}

void Sunken(CDC& dc, const CRect& r)
{
    dc.Draw3dRect(&r, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
    CRect inner = r;
    inner.DeflateRect(1, 1);
    dc.Draw3dRect(&inner, GetSysColor(COLOR_3DDKSHADOW), Face());
}

void Text(CDC& dc, const std::string& text, CRect r, UINT format, bool disabled)
{
    if (text.empty()) return;
    dc.SetBkMode(TRANSPARENT);
    if (disabled) {
        // Embossed: a white copy one pixel down and right, grey on top.
        CRect shadow = r;
        shadow.OffsetRect(1, 1);
        dc.SetTextColor(GetSysColor(COLOR_BTNHIGHLIGHT));
        dc.DrawText(text, &shadow, format);
        dc.SetTextColor(GetSysColor(COLOR_GRAYTEXT));
    } else {
        dc.SetTextColor(GetSysColor(COLOR_BTNTEXT));
    }
    dc.DrawText(text, &r, format);
}

// Asks the parent to draw an owner-drawn control.
void OwnerDraw(WindowData& w, CDC& dc, UINT type, UINT state)
{
    if (!w.parent) return;
    DRAWITEMSTRUCT dis{};
    dis.CtlType = type;
    dis.CtlID = w.id;
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = state | ((w.style & WS_DISABLED) ? ODS_DISABLED : 0);
    dis.hwndItem = w.hwnd;
    dis.hDC = &dc;
    dis.rcItem = WindowSystem::Get().ClientRect(w.hwnd);
    ::SendMessage(w.parent, WM_DRAWITEM, w.id, reinterpret_cast<LPARAM>(&dis));
}

void CheckMark(CDC& dc, int x, int y)
{
    // Two strokes, three pixels thick, inside a 13 x 13 box at (x, y).
    for (int t = 0; t < 3; ++t) {
        for (int i = 0; i < 3; ++i) dc.SetPixel(x + 3 + i, y + 5 + i + t, GetSysColor(COLOR_WINDOWTEXT));
        for (int i = 0; i < 5; ++i) dc.SetPixel(x + 5 + i, y + 7 - i + t, GetSysColor(COLOR_WINDOWTEXT));
    }
}

}  // namespace

void ButtonModel::Paint(WindowData& w, CDC& dc)
{
    const CRect client = WindowSystem::Get().ClientRect(w.hwnd);
    const DWORD type = w.style & BS_TYPEMASK;
    const bool disabled = (w.style & WS_DISABLED) != 0;
    if (type == BS_OWNERDRAW) {
        OwnerDraw(w, dc, ODT_BUTTON, (pushed ? ODS_SELECTED : 0) | (focused ? ODS_FOCUS : 0));
        return;
    }
    if (type == BS_GROUPBOX) {
        const int half = 7;
        CRect frame(client.left, client.top + half, client.right, client.bottom);
        dc.Draw3dRect(&frame, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
        CRect label(client.left + 8, client.top, client.right - 8, client.top + 2 * half);
        CRect measure = label;
        dc.DrawText(w.text, &measure, DT_CALCRECT | DT_SINGLELINE);
        dc.FillSolidRect(label.left - 2, label.top, measure.Width() + 4, measure.Height(), Face());
        Text(dc, w.text, label, DT_LEFT | DT_SINGLELINE, disabled);
        return;
    }
    const bool checkBox = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
    const bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
    if (checkBox || radio) {
        const int y = (client.Height() - 13) / 2;
        const COLORREF field = disabled ? Face() : GetSysColor(COLOR_WINDOW);
        if (checkBox) {
            dc.FillSolidRect(1, y + 1, 11, 11, field);
            Sunken(dc, CRect(0, y, 13, y + 13));
            if (check == 1) CheckMark(dc, 0, y);
            if (check == 2) dc.FillSolidRect(3, y + 3, 7, 7, GetSysColor(COLOR_GRAYTEXT));
        } else {
            CPen pen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
            CBrush brush(field);
            CPen* oldPen = dc.SelectObject(&pen);
            CBrush* oldBrush = dc.SelectObject(&brush);
            dc.Ellipse(0, y, 13, y + 13);
            if (check) {
                CBrush dot(GetSysColor(COLOR_WINDOWTEXT));
                dc.SelectObject(&dot);
                dc.Ellipse(4, y + 4, 9, y + 9);
                dc.SelectObject(&brush);
            }
            dc.SelectObject(oldPen);
            dc.SelectObject(oldBrush);
        }
        Text(dc, w.text, CRect(17, 0, client.right, client.bottom), DT_LEFT | DT_VCENTER | DT_SINGLELINE, disabled);
        if (focused) {
            CRect f(16, 1, client.right, client.bottom - 1);
            dc.DrawFocusRect(&f);
        }
        return;
    }
    dc.FillSolidRect(0, 0, client.Width(), client.Height(), Face());
    CRect face = client;
    if (type == BS_DEFPUSHBUTTON) {
        CBrush black(GetSysColor(COLOR_WINDOWTEXT));
        dc.FrameRect(&face, &black);
        face.DeflateRect(1, 1);
    }
    if (pushed) Sunken(dc, face);
    else Raised(dc, face);
    CRect label = client;
    if (pushed) label.OffsetRect(1, 1);
    if (image) {
        const SIZE size = CBitmap::FromHandle(image) ? CBitmap::FromHandle(image)->GetSize() : SIZE{0, 0};
        DrawBitmap(dc, image, label.left + (label.Width() - size.cx) / 2, label.top + (label.Height() - size.cy) / 2);
    } else {
        Text(dc, w.text, label, DT_CENTER | DT_VCENTER | DT_SINGLELINE, disabled);
    }
    if (focused) {
        CRect f = client;
        f.DeflateRect(4, 4);
        dc.DrawFocusRect(&f);
    }
}

void StaticModel::Paint(WindowData& w, CDC& dc)
{
    const CRect client = WindowSystem::Get().ClientRect(w.hwnd);
    switch (w.style & SS_TYPEMASK) {
    case SS_OWNERDRAW: OwnerDraw(w, dc, ODT_STATIC, 0); return;
    case SS_BITMAP:
        if (image) DrawBitmap(dc, image, 0, 0);
        return;
    case SS_ETCHEDFRAME:
        dc.Draw3dRect(&client, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
        return;
    case SS_BLACKFRAME: {
        CBrush black(GetSysColor(COLOR_WINDOWTEXT));
        dc.FrameRect(&client, &black);
        return;
    }
    default: break;
    }
    UINT format = DT_LEFT;
    if ((w.style & SS_TYPEMASK) == SS_CENTER) format = DT_CENTER;
    if ((w.style & SS_TYPEMASK) == SS_RIGHT) format = DT_RIGHT;
    Text(dc, w.text, client, format | DT_SINGLELINE, (w.style & WS_DISABLED) != 0);
}

void EditModel::Paint(WindowData& w, CDC& dc)
{
    const CRect client = WindowSystem::Get().ClientRect(w.hwnd);
    const bool greyed = (w.style & (WS_DISABLED | ES_READONLY)) != 0;
    dc.FillSolidRect(0, 0, client.Width(), client.Height(), greyed ? Face() : GetSysColor(COLOR_WINDOW));
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(GetSysColor((w.style & WS_DISABLED) ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
    CRect r(2, 0, client.right - 2, client.bottom);
    dc.DrawText(w.text, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (focused && !(w.style & ES_READONLY)) {
        // The caret at the end of the selection.
        CRect before(2, 0, client.right, client.bottom);
        dc.DrawText(w.text.substr(0, static_cast<size_t>(std::clamp(selEnd, 0, static_cast<int>(w.text.size())))),
                    &before, DT_CALCRECT | DT_SINGLELINE);
        dc.FillSolidRect(before.right, 2, 1, client.Height() - 4, GetSysColor(COLOR_WINDOWTEXT));
    }
}

void ComboModel::Paint(WindowData& w, CDC& dc)
{
    const CRect client = WindowSystem::Get().ClientRect(w.hwnd);
    const bool disabled = (w.style & WS_DISABLED) != 0;
    dc.FillSolidRect(0, 0, client.Width(), client.Height(), disabled ? Face() : GetSysColor(COLOR_WINDOW));
    Sunken(dc, client);
    const bool editable = (w.style & 3) != CBS_DROPDOWNLIST;
    const std::string text = editable ? w.text : (current >= 0 ? items[static_cast<size_t>(current)].text : "");
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
    CRect r(4, 0, client.right - kScrollBarThickness - 2, client.bottom);
    dc.DrawText(text, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    // The drop-down button with its arrow.
    const CRect button(client.right - kScrollBarThickness - 2, 2, client.right - 2, client.bottom - 2);
    dc.FillSolidRect(button.left, button.top, button.Width(), button.Height(), Face());
    if (dropped) Sunken(dc, button);
    else Raised(dc, button);
    const int cx = button.CenterPoint().x, cy = button.CenterPoint().y;
    for (int i = 0; i < 4; ++i)
        dc.FillSolidRect(cx - 3 + i, cy - 1 + i, 7 - 2 * i, 1, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
}

void ListBoxModel::Paint(WindowData& w, CDC& dc)
{
    const CRect client = WindowSystem::Get().ClientRect(w.hwnd);
    dc.FillSolidRect(0, 0, client.Width(), client.Height(), GetSysColor(COLOR_WINDOW));
    const bool multi = (w.style & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
    dc.SetBkMode(TRANSPARENT);
    for (int i = top; i < static_cast<int>(items.size()); ++i) {
        const int y = (i - top) * kListItemHeight;
        if (y >= client.bottom) break;
        const bool selected = multi ? items[static_cast<size_t>(i)].selected : i == current;
        if (selected) dc.FillSolidRect(0, y, client.Width(), kListItemHeight, GetSysColor(COLOR_HIGHLIGHT));
        dc.SetTextColor(GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        CRect r(2, y, client.right, y + kListItemHeight);
        dc.DrawText(items[static_cast<size_t>(i)].text, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
}

void SliderModel::Paint(WindowData& w, CDC& dc)
{
    const CRect client = WindowSystem::Get().ClientRect(w.hwnd);
    const bool vertical = (w.style & TBS_VERT) != 0;
    const CRect channel = vertical ? CRect(client.Width() / 2 - 2, kSliderMargin, client.Width() / 2 + 2,
                                           client.bottom - kSliderMargin)
                                   : CRect(kSliderMargin, client.Height() / 2 - 2, client.right - kSliderMargin,
                                           client.Height() / 2 + 2);
    Sunken(dc, channel);
    if (maxPos > minPos) {
        const int length = (vertical ? client.Height() : client.Width()) - 2 * kSliderMargin;
        auto tick = [&](int p) {
            const int at = kSliderMargin + static_cast<int>(static_cast<int64_t>(p - minPos) * length / (maxPos - minPos));
            if (vertical) dc.FillSolidRect(client.right - 4, at, 3, 1, GetSysColor(COLOR_BTNTEXT));
            else dc.FillSolidRect(at, client.bottom - 4, 1, 3, GetSysColor(COLOR_BTNTEXT));
        };
        if (!tics.empty()) {
            for (int p : tics) tick(p);
        } else if (ticFrequency > 0) {
            for (int p = minPos; p <= maxPos; p += ticFrequency) tick(p);
        }
    }
    const CRect thumb(ThumbRect(w));
    dc.FillSolidRect(thumb.left, thumb.top, thumb.Width(), thumb.Height(), Face());
    Raised(dc, thumb);
}

void ProgressModel::Paint(WindowData& w, CDC& dc)
{
    const CRect client = WindowSystem::Get().ClientRect(w.hwnd);
    dc.FillSolidRect(0, 0, client.Width(), client.Height(), Face());
    if (upper <= lower) return;
    const int filled =
        static_cast<int>(static_cast<int64_t>(client.Width()) * (std::clamp(pos, lower, upper) - lower) / (upper - lower));
    dc.FillSolidRect(0, 0, filled, client.Height(), GetSysColor(COLOR_HIGHLIGHT));
}

void TreeModel::Paint(WindowData& w, CDC& dc)
{
    const CRect client = WindowSystem::Get().ClientRect(w.hwnd);
    dc.FillSolidRect(0, 0, client.Width(), client.Height(), GetSysColor(COLOR_WINDOW));
    dc.SetBkMode(TRANSPARENT);
    const auto rows = VisibleRows();
    for (size_t row = static_cast<size_t>(top); row < rows.size(); ++row) {
        const int y = static_cast<int>(row - static_cast<size_t>(top)) * kTreeRowHeight;
        if (y >= client.bottom) break;
        const auto [item, level] = rows[row];
        const Node* n = Find(item);
        if (!n) continue;
        const int x0 = level * kTreeIndent;
        if (!n->children.empty() || n->childrenFlag > 0) {
            // The expand button: a box with a minus or a plus.
            const CRect box(x0 + 3, y + 3, x0 + 12, y + 12);
            CBrush grey(GetSysColor(COLOR_BTNSHADOW));
            dc.FrameRect(&box, &grey);
            dc.FillSolidRect(x0 + 5, y + 7, 5, 1, GetSysColor(COLOR_WINDOWTEXT));
            if (!(n->state & TVIS_EXPANDED)) dc.FillSolidRect(x0 + 7, y + 5, 1, 5, GetSysColor(COLOR_WINDOWTEXT));
        }
        if (imageList) imageList->Draw(&dc, item == selected ? n->selectedImage : n->image, POINT{x0 + 16, y}, ILD_TRANSPARENT);
        CRect label(x0 + 32, y, client.right, y + kTreeRowHeight);
        if (item == selected) {
            CRect measure = label;
            dc.DrawText(n->text, &measure, DT_CALCRECT | DT_SINGLELINE);
            dc.FillSolidRect(label.left, y, measure.Width() + 2, kTreeRowHeight, GetSysColor(COLOR_HIGHLIGHT));
        }
        dc.SetTextColor(GetSysColor(item == selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
        label.left += 1;
        dc.DrawText(n->text, &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
}

}  // namespace win

void CBitmapButton::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis || !dis->hDC) return;
    Image* picture = PictureFor(dis->itemState);
    if (!picture) return;
    win::DrawImage(*dis->hDC, *picture, dis->rcItem.left, dis->rcItem.top);
}

BOOL CImageList::Draw(CDC* dc, int index, POINT point, UINT style)
{
    Image* picture = GetImage(index);
    if (!dc || !picture || picture->GetDataType() != IMG_UINT8) return FALSE;
    const bool masked = m_hasMask && (style & ILD_TRANSPARENT);
    const int channels = picture->GetChannels();
    for (int y = 0; y < picture->GetHeight(); ++y) {
        const unsigned char* row = picture->GetData() + static_cast<size_t>(y) * picture->GetRowByte();
        for (int x = 0; x < picture->GetWidth(); ++x) {
            const unsigned char* p = row + static_cast<size_t>(x) * channels;
            const COLORREF c = channels == 1 ? RGB(p[0], p[0], p[0]) : RGB(p[2], p[1], p[0]);
            if (masked && c == m_maskColor) continue;
            dc->BlendTargetPublic(dc->TargetX(int64_t{point.x} + x), dc->TargetY(int64_t{point.y} + y), c, SRCCOPY);
        }
    }
    return TRUE;
}

void CStatusBar::OnPaint()
{
    CPaintDC dc(this);
    dc.SetBkMode(TRANSPARENT);
    for (int i = 0; i < GetPaneCount(); ++i) {
        CRect r;
        GetItemRect(i, &r);
        const UINT style = m_panes[static_cast<size_t>(i)].style;
        if (!(style & SBPS_NOBORDERS)) dc.Draw3dRect(&r, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
        dc.SetTextColor(GetSysColor((style & SBPS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
        r.DeflateRect(2, 0);
        dc.DrawText(m_panes[static_cast<size_t>(i)].text, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
}

void CToolBar::OnPaint()
{
    CPaintDC dc(this);
    Image* strip = m_bitmapId ? win::Resources::FindBitmap(m_bitmapId) : nullptr;
    int images = 0;
    for (const Button& b : m_buttons) images += (b.style & TBBS_SEPARATOR) ? 0 : 1;
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        const Button& b = m_buttons[i];
        CRect r;
        GetItemRect(static_cast<int>(i), &r);
        if (b.style & TBBS_HIDDEN) continue;
        if (b.style & TBBS_SEPARATOR) {
            const int x = r.CenterPoint().x, y = r.CenterPoint().y;
            if (Vertical()) dc.Draw3dRect(r.left + 2, y - 1, r.Width() - 4, 2, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
            else dc.Draw3dRect(x - 1, r.top + 2, 2, r.Height() - 4, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
            continue;
        }
        if (b.style & (TBBS_PRESSED | TBBS_CHECKED)) {
            dc.Draw3dRect(&r, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
            if (b.style & TBBS_CHECKED) dc.FillSolidRect(r.left + 1, r.top + 1, r.Width() - 2, r.Height() - 2, GetSysColor(COLOR_BTNHIGHLIGHT));
        }
        if (strip && images > 0 && b.image >= 0) {
            // The button's picture is its slice of the strip, centred.
            const int width = strip->GetWidth() / images;
            const int x = r.left + (r.Width() - width) / 2 + ((b.style & TBBS_PRESSED) ? 1 : 0);
            const int y = r.top + (r.Height() - strip->GetHeight()) / 2 + ((b.style & TBBS_PRESSED) ? 1 : 0);
            const int channels = strip->GetChannels();
            for (int yy = 0; yy < strip->GetHeight(); ++yy) {
                const unsigned char* row = strip->GetData() + static_cast<size_t>(yy) * strip->GetRowByte();
                for (int xx = 0; xx < width; ++xx) {
                    const unsigned char* p = row + static_cast<size_t>(b.image * width + xx) * channels;
                    COLORREF c = channels == 1 ? RGB(p[0], p[0], p[0]) : RGB(p[2], p[1], p[0]);
                    if (b.style & TBBS_DISABLED) {
                        // Faded towards the face colour.
                        const COLORREF f = GetSysColor(COLOR_BTNFACE);
                        c = RGB((GetRValue(c) + 3 * GetRValue(f)) / 4, (GetGValue(c) + 3 * GetGValue(f)) / 4,
                                (GetBValue(c) + 3 * GetBValue(f)) / 4);
                    }
                    dc.BlendTargetPublic(dc.TargetX(x + xx), dc.TargetY(y + yy), c, SRCCOPY);
                }
            }
        } else {
            CRect box = r;
            box.DeflateRect(5, 5);
            CBrush frame(GetSysColor((b.style & TBBS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
            dc.FrameRect(&box, &frame);
        }
    }
}

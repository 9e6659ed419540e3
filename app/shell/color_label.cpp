#include "app/shell/color_label.h"

#include "platform/win/window_dc.h"

void ColorLabel::OnPaint()
{
    CPaintDC dc(this);
    char text[64] = {};
    GetWindowText(text, sizeof text);
    CFont font;
    font.CreatePixelFont(8, 300, "MS Sans Serif");
    CFont* old = dc.SelectObject(&font);
    dc.SetTextColor(m_color);
    dc.SetBkMode(TRANSPARENT);
    dc.TextOut(0, 0, text);
    dc.SelectObject(old);
}

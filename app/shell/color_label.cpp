#include "app/shell/color_label.h"

#include "platform/win/window_dc.h"

#include <cstring>
#include <string>

void ColorLabel::OnPaint()
{
    CPaintDC dc(this);
    char text[256] = {};
    GetWindowText(text, sizeof text);
    CFont font;
    font.CreatePixelFont(8, 300, "MS Sans Serif");
    CFont* old = dc.SelectObject(&font);
    dc.SetTextColor(m_color);
    dc.SetBkMode(TRANSPARENT);
    // One line per "\n", as the stitch bar's settings summary needs.
    int y = 0;
    for (const char* line = text; *line;) {
        const char* end = std::strchr(line, '\n');
        const std::string part = end ? std::string(line, end) : std::string(line);
        dc.TextOut(0, y, part.c_str());
        y += 13;
        if (!end) break;
        line = end + 1;
    }
    dc.SelectObject(old);
}

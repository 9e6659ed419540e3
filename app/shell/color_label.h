// A static text control that paints its text in a colour of its own, for
// the emphasised texts of the shell's small dialogs.
#pragma once

#include "platform/win/controls.h"

class ColorLabel : public CStatic {
public:
    void SetColor(COLORREF color) { m_color = color; }
    COLORREF GetColor() const { return m_color; }
    void OnPaint() override;

private:
    COLORREF m_color = RGB(30, 60, 60);
};

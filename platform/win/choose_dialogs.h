// The system's colour and font choosers as small modal dialogs of their own
// (templates 0x7F10 and 0x7F11 in the application's module): a colour as
// red, green and blue values, a font as face name, size in points, bold,
// italic and text colour. Headless runs play them through the prompter
// (ExpectDialog with the template id), like any modal dialog.
#pragma once

#include "platform/win/dialog.h"

#include <string>

constexpr DWORD CC_RGBINIT = 0x00000001;
constexpr DWORD CC_FULLOPEN = 0x00000002;
constexpr DWORD CF_SCREENFONTS = 0x00000001;
constexpr DWORD CF_INITTOLOGFONTSTRUCT = 0x00000040;
constexpr DWORD CF_EFFECTS = 0x00000100;

class CColorDialog : public CDialog {
public:
    static constexpr UINT kTemplateId = 0x7F10;
    enum : UINT { kRed = 0x7F20, kGreen = 0x7F21, kBlue = 0x7F22 };

    explicit CColorDialog(COLORREF initial = 0, DWORD flags = 0, CWnd* parent = nullptr);
    INT_PTR DoModal() override;
    COLORREF GetColor() const { return m_cc.rgbResult; }
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    struct ChooseColor {
        COLORREF rgbResult = 0;
        DWORD Flags = 0;
    } m_cc;

private:
    int m_red = 0, m_green = 0, m_blue = 0;
};

// The font as the chooser holds it.
struct ChosenFont {
    std::string faceName;
    int pointSize = 0;  // tenths of a point
    int weight = 400;   // 700 bold
    bool italic = false;
};

class CFontDialog : public CDialog {
public:
    static constexpr UINT kTemplateId = 0x7F11;
    enum : UINT { kFace = 0x7F30, kSize = 0x7F31, kBold = 0x7F32, kItalic = 0x7F33, kRed = 0x7F34, kGreen = 0x7F35, kBlue = 0x7F36 };

    explicit CFontDialog(const ChosenFont* initial = nullptr, DWORD flags = CF_EFFECTS | CF_SCREENFONTS,
                         CWnd* parent = nullptr);
    INT_PTR DoModal() override;
    std::string GetFaceName() const { return m_font.faceName; }
    int GetSize() const { return m_font.pointSize; }  // tenths of a point
    int GetWeight() const { return m_font.weight; }
    BOOL IsBold() const { return m_font.weight >= 700; }
    BOOL IsItalic() const { return m_font.italic; }
    COLORREF GetColor() const { return m_cf.rgbColors; }
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    struct ChooseFont {
        COLORREF rgbColors = 0;
        DWORD Flags = 0;
        int iPointSize = 0;  // tenths of a point
    } m_cf;

private:
    ChosenFont m_font;
    std::string m_face;
    double m_points = 0;
    int m_bold = 0, m_italic = 0;
    int m_red = 0, m_green = 0, m_blue = 0;
};

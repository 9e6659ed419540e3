// A hot spot of a vista: a clickable place in the panorama (dynamic) or in
// the viewer window (static) with an icon, an optional text in its own
// label style, an optional picture (cropped, turned, colour-adjusted) and
// an optional action: a jump to another vista or a link text (a web address
// or a file). Vistas keep them in order; the viewer parameter writers and
// the publisher's hot-spot images read them.
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "platform/imgcore/color_ctrl.h"
#include "tour/tessiv/text_style.h"

#include <cstdint>
#include <memory>
#include <string>

class Vista;

class HotSpot {
public:
    // Flag bits.
    static constexpr int kHasAction = 1 << 0;   // leads somewhere
    static constexpr int kShowsImage = 1 << 2;
    static constexpr int kHasText = 1 << 3;
    static constexpr int kLinksToText = 1 << 4;  // the action is the link text, not the target vista
    static constexpr int kTextOnMouseOver = 1 << 6;
    static constexpr int kTextOnClick = 1 << 7;
    static constexpr int kDynamic = 1 << 10;     // fixed to the panorama; clear: fixed to the viewer window
    static constexpr int kQuarterTurnShift = 8;  // bits 8-9: quarter turns of the picture
    static constexpr int kNoIcon = 14;           // icon indices from 14 on have no icon

    // A new hot spot takes the next library-wide id.
    HotSpot();
    ~HotSpot() = default;
    HotSpot(const HotSpot&) = delete;
    HotSpot& operator=(const HotSpot&) = delete;

    // Setters report whether a value changed.
    TextStyle* GetLabelStyle(bool create);
    const TextStyle* GetLabelStyle() const { return m_labelStyle.get(); }

    // Position: two fractions, across and down the picture or the window.
    bool SetPosition(float x, float y);
    float GetPositionX() const { return m_position[0]; }
    float GetPositionY() const { return m_position[1]; }

    bool SetTargetVistaId(int id);
    int GetTargetVistaId() const { return m_targetVistaId; }
    // The target found by id (the tour project relinks after loading).
    void SetTargetVista(Vista* vista) { m_targetVista = vista; }
    Vista* GetTargetVista() const { return m_targetVista; }

    // The picture: the hot spot holds its own reference.
    bool SetImage(Image* image);
    Image* GetImage() const { return m_image.get(); }
    ColorCtrl* GetColorCtrl(bool create);

    // Compared without regard to case.
    bool SetImageFile(const char* path);
    const char* GetImageFile() const { return m_imageFile.empty() ? nullptr : m_imageFile.c_str(); }

    // The part of the picture used, clamped into the picture: negative
    // origins become 0 and a size reaching past the picture is cut to it.
    bool SetCrop(int x, int y, int width, int height);
    void GetCrop(int& x, int& y, int& width, int& height) const;
    bool HasCrop() const { return m_crop[2] != 0 && m_crop[3] != 0; }

    bool SetFloatValue(float value);
    float GetFloatValue() const { return m_floatValue; }
    int GetId() const { return m_id; }
    void SetId(int id);  // a loaded id; raises the library's counter
    // The icon index (0..13; 14 and more: no icon).
    bool SetValue(int value);
    int GetValue() const { return m_value; }

    int GetFlags() const { return m_flags; }
    bool SetFlags(int flags);
    // One flag bit; the quarter-turn bits 8-9 change only by RotateQuarter.
    bool SetFlagBit(int mask, bool on);
    bool IsDynamic() const { return (m_flags & kDynamic) != 0; }
    bool HasAction() const { return (m_flags & kHasAction) != 0; }
    bool LinksToText() const { return (m_flags & kLinksToText) != 0; }
    bool ShowsImage() const { return (m_flags & kShowsImage) != 0; }
    int GetQuarterTurns() const { return (m_flags >> kQuarterTurnShift) & 3; }

    // Compared without regard to case; an equal text changes nothing.
    bool SetLinkText(const char* text);
    const char* GetLinkText() const { return m_linkText.empty() ? nullptr : m_linkText.c_str(); }

    // Turns the picture a quarter turn clockwise, turns the crop with it and
    // counts the turn in flag bits 8-9.
    void RotateQuarter();

    // "HspImg-%05d.jpg" with the id, only for a hot spot with both a picture
    // and an image file; false otherwise.
    bool GetExportFileName(std::string& name) const;

private:
    std::unique_ptr<TextStyle> m_labelStyle;
    float m_position[2] = {0.0f, 0.0f};
    int m_targetVistaId = 0;
    Vista* m_targetVista = nullptr;
    RefPtr<Image> m_image;
    std::unique_ptr<ColorCtrl> m_colorCtrl;
    std::string m_imageFile;
    int m_crop[4] = {0, 0, 0, 0};  // x, y, width, height
    float m_floatValue = 0.0f;
    int m_id;
    int m_value = kNoIcon;
    int m_flags = kTextOnMouseOver;
    std::string m_linkText;
};

// Turns an image held through `image` by `code` (Image::Rotate codes). An
// image that someone else also holds is copied first, so their picture does
// not turn under them. False when the turn could not be made.
bool RotateHeldImage(RefPtr<Image>& image, int code);

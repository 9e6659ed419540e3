// "Select image size" (dialog 217): a modeless zoom chooser shared by the
// image views and the panorama views. It shows the pixel size a zoom gives
// and takes a zoom, a width or a height from the user; its owner hears of
// every new zoom (code 2) and of the dialog closing (code 1).
#pragma once

#include "platform/win/dialog.h"

#include <cstdint>
#include <functional>

class CImageSizeDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 217;
    static constexpr UINT kZoomEdit = 1157;
    static constexpr UINT kWidthEdit = 1158;
    static constexpr UINT kHeightEdit = 1159;
    static constexpr UINT kSlider = 1160;
    static constexpr UINT kResetButton = 1162;
    // The owner's kinds.
    static constexpr int kPanoramaView = 0;
    static constexpr int kImageView = 1;
    // What the owner hears: code 1 (the dialog closes; the owner destroys it
    // and forgets it) or code 2 with the new zoom.
    static constexpr int kClosed = 1;
    static constexpr int kZoomChanged = 2;
    using Callback = std::function<void(int code, float zoom)>;

    CImageSizeDlg() : CDialog(kTemplateId) {}
    CImageSizeDlg(const CImageSizeDlg&) = delete;
    CImageSizeDlg& operator=(const CImageSizeDlg&) = delete;

    // The owner's callback (set before the dialog is shown).
    void SetCallback(Callback callback) { m_callback = std::move(callback); }
    void Init(float zoom, int sourceWidth, int sourceHeight, CWnd* owner, int ownerKind);
    // A new size at zoom 1.0; nothing happens when it is unchanged.
    void SetImageSize(int width, int height);
    // Shows a size in the edits without storing it.
    void ShowSize(int width, int height);
    // Stores z as the zoom and as the zoom "Reset" returns to.
    void SetZoom(float z);
    float GetZoom() const { return m_zoom; }
    void GetSourceSize(int& width, int& height) const;
    int GetShownWidth() const { return m_shownWidth; }
    int GetShownHeight() const { return m_shownHeight; }
    float GetInitialZoom() const { return m_initialZoom; }
    CWnd* GetOwnerView() const { return m_owner; }
    int GetOwnerKind() const { return m_ownerKind; }

    // The pixels one side of `source` pixels shows at zoom z:
    // trunc((source - 1) z) + 1.
    static int ShownSide(int source, float z);

    BOOL OnInitDialog() override;
    // Applies the width, else the height, else the zoom the user changed;
    // the dialog stays open.
    void OnOK() override;
    // Closing: the owner is told (it destroys the dialog); without one the
    // dialog closes itself.
    void OnCancel() override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // The edits' handlers when they lose the focus; true when the value was
    // taken (it differed and could be read).
    bool ApplyZoomEdit();
    bool ApplyWidthEdit();
    bool ApplyHeightEdit();
    void Reset();

private:
    void Recompute();
    void ShowValues();
    void MoveSlider();
    void Notify(int code);
    // Reads one edit; false when it does not hold a number.
    bool ReadInt(UINT id, int& value);
    bool ReadZoom(float& value);
    // A typed side: the zoom that shows it, then everything follows.
    bool ApplySide(int typed, int shown, int source);

    // Kept in the order the dialog has always laid them out.
    int32_t m_shownHeight = 1;
    int32_t m_shownWidth = 1;
    float m_zoom = 1.0f;
    float m_initialZoom = 1.0f;
    int32_t m_sourceWidth = 1;
    int32_t m_sourceHeight = 1;
    CWnd* m_owner = nullptr;
    int32_t m_ownerKind = kImageView;

    Callback m_callback;
};

// Adds dialog 217 to the application's resources.
void RegisterImageSizeDialog();

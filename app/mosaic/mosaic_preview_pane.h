// The mosaic's preview pane: a small modeless window docked beside the maker
// dialog that shows the mosaic's base image (the foreground) over a
// background colour or picture. Through its popup menu the user pans, zooms
// and turns the background and pans and zooms the foreground with the mouse;
// "Make" renders the same composition at full size through RenderTo.
#pragma once

#include "platform/win/dialog.h"

#include <cstdint>
#include <memory>

class CMosaicMakerDlg;
class Image;
class PSMap;

class CMosaicPreviewPane : public CDialog {
public:
    static constexpr UINT kTemplateId = 285;
    static constexpr UINT kMenuId = 287;
    enum : UINT {
        kDockLeft = 33139,
        kDockRight = 33140,
        kDockBottom = 33141,
        kBackgroundPan = 33142,
        kBackgroundZoom = 33143,
        kBackgroundRotate = 33144,
        kForegroundPan = 33145,
        kForegroundZoom = 33146,
        kForegroundFit = 33147,
    };
    // Modes of the mouse.
    enum Mode : int32_t { kNone = 0, kPanBack = 1, kZoomBack = 2, kRotateBack = 3, kPanFore = 4, kZoomFore = 5 };
    static constexpr UINT kZoomCursor = 290;
    static constexpr UINT kRotateCursor = 291;
    // Presses closer to the centre than this (squared pixels) start no zoom
    // or turn: the factor and the angle would jump.
    static constexpr int kDeadZone = 200;
    static constexpr double kMinZoom = 0.2;
    static constexpr double kMaxZoom = 3.0;

    explicit CMosaicPreviewPane(CMosaicMakerDlg* owner);
    ~CMosaicPreviewPane() override;
    CMosaicPreviewPane(const CMosaicPreviewPane&) = delete;
    CMosaicPreviewPane& operator=(const CMosaicPreviewPane&) = delete;

    void SetBackgroundColour(COLORREF colour);
    void SetBackgroundImage(Image* picture);
    void SetForeground(Image* foreground);
    int GetDockSide() const { return m_dockSide; }
    void SetDockSide(int side) { m_dockSide = side; }
    void GetClientSize(int& width, int& height) const;
    double GetAspect() const;
    double GetForegroundScale() const;
    void RenderTo(Image* output, Image* base);

    // Makes the screen image of the client size: the foreground through its
    // map over the background.
    void Compose();
    void FitForeground();
    int GetMode() const { return m_mode; }
    void SetMode(int mode) { m_mode = mode; }
    int GetBackgroundKind() const { return m_backgroundKind; }
    bool IsDragging() const { return m_dragging; }
    Image* GetScreenImage() const { return m_screen; }
    Image* GetForeground() const { return m_foreground; }
    PSMap* GetForegroundMap() const { return m_foregroundMap.get(); }
    // The cursor the mode shows (a standard or resource id).
    UINT CursorForMode() const;
    // Menu 287 as shown: items disabled and renamed for the current state.
    void PrepareMenu(class CMenu* popup) const;
    void OnMenuCommand(UINT id);

    const win::MessageMap* GetMessageMap() const override;

protected:
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnPaint() override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    void OnCancel() override {}
    void OnOK() override {}

private:
    PSMap* MapOfMode() const;
    void DragPan(int x, int y);
    void DragZoom(int x, int y);
    void DragRotate(int x, int y);
    // Horizontal shift that brings the foreground back inside the pane.
    void KeepForegroundInside();
    void Redraw();

    // Kept in the order the pane has always laid them out.
    int32_t m_dockSide = 0;
    CMosaicMakerDlg* m_owner = nullptr;
    Image* m_screen = nullptr;  // one reference held
    COLORREF m_backgroundColour = 0;
    Image* m_foreground = nullptr;         // one reference held
    Image* m_backgroundPicture = nullptr;  // one reference held
    int32_t m_backgroundKind = 0;          // 0 none, 1 colour, 2 picture
    int32_t m_mode = kNone;
    int32_t m_startX = 0, m_lastX = 0, m_startY = 0, m_lastY = 0;
    std::unique_ptr<PSMap> m_savedMap;
    bool m_dragging = false;
    float m_lastZoom = 0.0f;
    std::unique_ptr<PSMap> m_foregroundMap;
};

// The modeless "Set Image Pair Overlap" dialog: one overlap for all pairs of
// the image chain or one per pair, the lens's 35-mm focal length, and a
// preview strip (COverlapPreviewWnd) of the frames' warped stamps at their
// overlap places, where one image (with all that follow it) can be dragged
// against its predecessor.
#pragma once

#include "platform/win/dialog.h"

#include <algorithm>
#include <cstdint>
#include <string>

class CPairOverlapDlg;
class Image;
class ImageFrame;
class SuperManager;

// Nominal size of a frame without a warped stamp, and the drag limits.
constexpr float kDragMinOverlapShift = 0.15f;  // of the previous image's width
constexpr float kDragMaxOverlapShift = 0.9f;
constexpr float kDragVerticalLimit = 0.15f;   // of the previous image's height

class COverlapPreviewWnd : public CWnd {
public:
    static constexpr UINT kShowCurrentPair = 33025;
    static constexpr UINT kShowAllPairs = 33026;
    static constexpr UINT kControlId = 121;

    explicit COverlapPreviewWnd(CPairOverlapDlg* owner);
    ~COverlapPreviewWnd() override;
    COverlapPreviewWnd(const COverlapPreviewWnd&) = delete;
    COverlapPreviewWnd& operator=(const COverlapPreviewWnd&) = delete;

    // Takes the dialog's frame array (not owned), lays the row out again
    // (forced) and composes it.
    void SetFrames(ImageFrame** frames, int count, bool loop);
    // Places the frames along the row from their links' overlaps; only when
    // forced or when the first frame's overlap state is clear.
    void LayOut(bool force);
    void Compose();
    Image* GetComposite() const { return m_composite; }
    // A frame's rectangle in composite pixels (index count: the loop copy).
    RECT FrameRect(int index) const;
    int GetCurrentPair() const { return m_pair; }
    bool IsCurrentPairOnly() const { return m_currentOnly; }
    void SetCurrentPairOnly(bool on);
    // The horizontal scroll offset (composite pixels hidden at the left when
    // the composite is wider than the client area): kept within 0..composite
    // width - client width; the window's scroll bar follows it.
    void SetScrollOffset(int offset);
    int GetScrollOffset() const { return std::clamp(m_scroll, 0, MaxScrollOffset()); }
    int MaxScrollOffset() const;

protected:
    const win::MessageMap* GetMessageMap() const override;
    void OnPaint() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    BOOL OnEraseBkgnd(CDC* dc) override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;

private:
    void OnShowCurrent();
    void UpdateScrollBar();
    void OnShowAll();
    // The frame's warped stamp, made on first use; null for a frame without
    // a stamp (it keeps its nominal size).
    Image* Warped(ImageFrame* frame) const;
    SIZE FrameSize(ImageFrame* frame) const;
    POINT ToComposite(POINT client) const;
    int CompositeLeft() const;
    POINT LimitedOffset(POINT point) const;
    void DrawOutline(POINT offset);
    // Frames fromIndex..toIndex laid on `target` moved by `shift`; dragPart:
    // one part of a drag (the pair's images opaque, no pair blend).
    void ComposeInto(Image* target, int fromIndex, int toIndex, POINT shift, bool dragPart);
    void ComposeDragged(POINT offset);
    ImageFrame* Frame(int index) const;

    CPairOverlapDlg* m_owner;
    // The composite; while dragging it is rebuilt from the fixed frames
    // and the moving ones at their shifted places. A reference held.
    Image* m_composite = nullptr;
    ImageFrame** m_frames = nullptr;  // the dialog's
    int m_count = 0;
    bool m_loop = false;
    bool m_currentOnly = false;
    bool m_dragging = false;
    int m_pair = 1;
    POINT m_press{0, 0};
    POINT m_last{0, 0};
    int m_scroll = 0;
    POINT m_loopPos{0, 0};  // the loop copy of the first frame, composite pixels
};

class CPairOverlapDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 155;
    static constexpr UINT kSlider = 1070;
    static constexpr UINT kSliderValue = 1072;
    static constexpr UINT kAllPairs = 1073;
    static constexpr UINT kOnePair = 1075;
    static constexpr UINT kPairList = 1076;
    static constexpr UINT kOverlapGroup = 1098;
    static constexpr UINT kPlaceHolder = 1099;
    static constexpr UINT kFocalCombo = 1140;
    static constexpr UINT kSettings = 1142;

    explicit CPairOverlapDlg(CWnd* parent = nullptr);
    ~CPairOverlapDlg() override;
    CPairOverlapDlg(const CPairOverlapDlg&) = delete;
    CPairOverlapDlg& operator=(const CPairOverlapDlg&) = delete;

    BOOL OnInitDialog() override;
    bool FillPairList();
    void ApplyFocalSetting(bool fromCombo);
    void UpdateFocalCombo();
    void SelectPair(int index);
    bool IsAllPairs() const { return m_allPairs; }
    COverlapPreviewWnd* GetPreview() const { return m_preview; }
    int GetFrameCount() const { return m_count; }
    // The focal choice typed or selected in the combo (what Enter and a
    // selection apply).
    void ApplyFocalText(const std::string& text);

protected:
    const win::MessageMap* GetMessageMap() const override;
    void OnOK() override;
    void OnClose() override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    void OnSize(UINT type, int cx, int cy) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    bool TakeFrames();
    void FillList();
    void ShowOverlap(float overlap);
    void ShowSelectedPairOverlap(SuperManager* manager);
    void ShowFocal(float focal);
    void FreeFrames();

    ImageFrame** m_frames = nullptr;  // owned (the chain's copy)
    int m_count = 0;
    bool m_loop = false;
    COverlapPreviewWnd* m_preview = nullptr;  // owned
    bool m_allPairs = true;
};

// The manager's hooks for this dialog (creation, refill, focal changes).
void InstallOverlapDialogHooks(SuperManager* manager);
void RegisterPairOverlapDialog();

// The tour maker's dialog, "Create Virtual Tour": the vista of the tour
// (handed over by the application through ITessiv::AddVista), the page
// layout (title, viewer, control bar, colours, page size), the viewer's
// initial behaviour, the tour sound, and publishing into a folder. The
// dialog owns the TourProject and edits it; publishing runs the publisher
// (publish.h) with a progress bar. It tells the application what it needs
// by posting the notification message given to Open: wParam 1 pick a
// panorama, 2 the dialog is finished (the application then calls Close).
#pragma once

#include "platform/win/controls.h"
#include "platform/win/dialog.h"
#include "tour/tessiv/bench_wnd.h"
#include "tour/tessiv/i_tessiv.h"
#include "tour/tessiv/tour_project.h"

#include <memory>
#include <string>

class TourProject;

// The owner of Edit_Enter controls: told of Enter pressed in one of them.
class IEdit {
public:
    virtual ~IEdit() = default;
    virtual int OnEditEnter(int controlId, int message, int key) = 0;
};

// An edit that hands Enter (key 13) to its owner instead of the dialog.
class Edit_Enter : public CEdit {
public:
    void SetOwner(IEdit* owner) { m_owner = owner; }

protected:
    void OnKeyDown(UINT ch, UINT repeat, UINT flags) override;

private:
    IEdit* m_owner = nullptr;
};

// An owner-drawn push button filled with one colour, its caption (unless it
// begins with ".") in the contrast colour.
class CColorButton : public CButton {
public:
    void SetColor(COLORREF color);
    COLORREF GetColor() const { return m_color; }
    void DrawItem(LPDRAWITEMSTRUCT dis) override;

private:
    COLORREF m_color = 0;
};

class PTourMakerDlg : public CDialog, public IEdit, public ITessiv {
public:
    static constexpr UINT kTemplateId = 102;
    // Controls.
    enum : UINT {
        kShowTitle = 1000,
        kHigh = 1001,
        kMedium = 1002,
        kLow = 1003,
        kFieldOfView = 1004,
        kProgress = 1005,
        kTitleColor = 1010,
        kBarColor = 1011,
        kPageColor = 1013,
        kTitleFont = 1014,
        kNoColor = 1015,
        kSoundLoad = 1017,
        kSoundName = 1026,
        kSoundUse = 1027,
        kSoundPlay = 1028,
        kPreviewFrame = 1025,
        kVistaSize = 1029,
        kTitle = 1225,
        kVistaFile = 1226,
        kVistaLoad = 1227,
        kSpinSpeed = 1232,
        kPageWidth = 1233,
        kFolder = 1237,
        kPageFile = 1238,
        kPreview = 1239,
        kStrip = 1240,
        kTurnTime = 1241,
        kPageHeight = 1242,
        kDone = 1243,
        kPageName = 1244,
        kInitialView = 1306,
        kViewerKind = 1393,
        kPublish = 4,
        kSaveConfig = 5,
    };
    static constexpr const char* kConfigFile = "TessivConfig.bin";

    PTourMakerDlg();
    ~PTourMakerDlg() override;

    // ITessiv
    bool Open(const char* programDir, CWnd* parent, UINT notifyMessage) override;
    void AddVista(Image* thumbnail, const char* fileName, const TessivPanoramaValues& values) override;
    void Close() override;

    // IEdit
    int OnEditEnter(int controlId, int message, int key) override;

    const std::string& GetWorkingFolder() const { return m_workDir; }
    TourProject* GetProject() const { return m_project.get(); }
    BenchWnd& GetStrip() { return m_strip; }
    bool IsPublished() const { return m_published; }
    CColorButton& GetColorButton(int which) { return m_colorButtons[which]; }
    // The page preview's rectangles in client coordinates: the outline of
    // page and bands, the title band, the viewer area and the control bar.
    struct PreviewBoxes {
        RECT outline{}, title{}, viewer{}, controlBar{};
    };
    PreviewBoxes ComputePreview() const;
    // The page layout's boxes (tour map, strip, title, control box) as the
    // preview draws them: edges in client coordinates within the viewer
    // area, at the preview's scale; an empty rectangle for a box the page
    // does not show, and for the page and viewer boxes (the viewer area).
    void ComputeLayoutPreview(RECT boxes[kLayoutBoxCount]);
    // The outline colour of each layout box in the preview.
    static constexpr COLORREF kLayoutBoxColors[kLayoutBoxCount] = {0, 0x00A000, 0x0080FF, 0, 0xFF00FF, 0xFFC000};

    // Gives button `which` (0 title, 1 control bar, 2 page background) a
    // colour confirmed in the colour chooser: the button and the project.
    void ApplyColor(int which, COLORREF color);
    // The title font confirmed in the font chooser: face, size in
    // twentieths of a point, weight (700 bold) and italic.
    void ApplyFont(const char* face, int twentieths, int weight, bool italic);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    const win::MessageMap* GetMessageMap() const override;
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    void OnOK() override {}
    void OnCancel() override {}
    void OnClose() override;
    void OnPaint() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void PostNcDestroy() override;

private:
    // Handlers.
    void OnWidthOrHeight();
    void OnFieldOfView();
    void OnSpinSpeed();
    void OnTitleEdit();
    void OnFolderEdit();
    void OnPageNameEdit();
    void OnShowTitle();
    void OnNoColor();
    void OnQuality();
    void OnViewerKind();
    void OnVistaLoad();
    void OnSoundLoad();
    void OnSoundPlay();
    void OnSoundUse();
    void OnPageFile();
    void OnPublish();
    void OnPreview();
    void OnSaveConfig();
    void OnDone();
    void OnTitleColor();
    void OnBarColor();
    void OnPageColor();
    void OnTitleFont();
    void ChooseColor(int which);
    LRESULT OnStripNotify(WPARAM wParam, LPARAM lParam);

    bool RunEditHandler(int id);
    void LoadControls();
    void ShowVistaInfo();
    void ShowTurnTime();
    void RefreshSound();
    void RefreshButtons();
    void DrawPreview(CDC& dc);
    void Notify(WPARAM what);
    RECT PageOutline() const;

    CWnd* m_parentWnd = nullptr;
    UINT m_notifyMessage = 0;
    std::string m_programDir;
    std::string m_workDir;
    std::unique_ptr<TourProject> m_project;
    BenchWnd m_strip;
    std::string m_title;
    std::string m_pageName;
    std::string m_folder;
    int m_pageWidth = 600;
    int m_pageHeight = 400;
    int m_fieldOfView = 0;
    int m_spinSpeed = 6;
    int m_noColor = 0;
    int m_quality = 1;
    COLORREF m_colors[3] = {0, 0, 0};
    bool m_published = false;
    bool m_publishPending = false;
    bool m_dragging = false;
    bool m_dragHeight = false;  // else the width
    int m_dragLast = 0;
    bool m_playing = false;
    Edit_Enter m_edits[7];
    CColorButton m_colorButtons[3];
    CBitmapButton m_loadButton;
    CBitmapButton m_pageFileButton;
    CBitmapButton m_publishButton;
    CProgressCtrl m_progress;
    RECT m_previewFrame{};
};

// "Grivelle Maker": the modeless control panel of a mosaic. The number of
// tiles, the sky and ground tiles, the resolution of the result and the
// background (a colour or a picture) behind it; "Make" renders the
// composition of the preview pane at full size into a new image window. The
// mosaic layout owns the dialog; the dialog owns its preview pane.
#pragma once

#include "platform/win/controls.h"
#include "platform/win/dialog.h"
#include "tour/tessiv/tour_maker_dlg.h"

#include <memory>
#include <string>

class CMosaicPreviewPane;
class Image;
class MosaicLayout;
class PSMap;

class CMosaicMakerDlg : public CDialog, public IEdit {
public:
    static constexpr UINT kTemplateId = 284;
    enum : UINT {
        kTileCount = 1292,
        kSky = 1294,
        kGround = 1295,
        kSizeText = 1296,
        kColorRadio = 1297,
        kImageRadio = 1298,
        kSelect = 1299,
        kOpen = 1300,
        kMake = 1301,
        kResolution = 1303,
        kPercentText = 1304,
    };

    CMosaicMakerDlg();
    ~CMosaicMakerDlg() override;
    CMosaicMakerDlg(const CMosaicMakerDlg&) = delete;
    CMosaicMakerDlg& operator=(const CMosaicMakerDlg&) = delete;

    void SetLayout(MosaicLayout* layout);
    MosaicLayout* GetLayout() const { return m_layout; }
    int GetTileCount() const { return m_tileCount; }
    bool IsSkyChecked() const { return m_sky; }
    bool IsGroundChecked() const { return m_ground; }
    int GetBackgroundKind() const { return m_backgroundKind; }
    COLORREF GetBackgroundColour() const { return m_backgroundColour; }
    Image* GetBackgroundImage() const { return m_backgroundImage; }
    const std::string& GetBackgroundPath() const { return m_backgroundPath; }
    CMosaicPreviewPane* GetPane() const { return m_pane; }

    // Shows the preview pane, creating it the first time.
    void Refresh();
    // The background's pan, zoom and turn, made on first use.
    PSMap* GetBackgroundMap();
    // The layout's base image (one reference for the caller), or null.
    Image* MakeBackground(int width);
    // Side 0 below the dialog, centred; 1 to its left, 2 to its right,
    // bottoms aligned. The pane keeps its size.
    void PositionPane(int side);
    int OnEditEnter(int controlId, int message, int key) override;

    // The buttons' work, reachable by the tests as the user would press them.
    void OnSelectColour();
    void OnOpenPicture();
    void OnMake();
    void OnSkyOrGround();
    void OnColourRadio();
    void OnImageRadio();
    // The resolution slider: code 5 (thumb track) brings its position, code
    // 8 (end) reads it from the control.
    void OnResolution(UINT code, int position);
    // The resolution, the percentage text and the result's size text.
    void ShowResolution();

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    const win::MessageMap* GetMessageMap() const override;

protected:
    void OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl) override;
    void OnMove(int x, int y) override;

private:
    void ReadFields();

    // Kept in the order the dialog has always laid them out.
    int m_tileCount = 6;
    int m_backgroundKind = 0;  // 0 colour, 1 picture
    bool m_sky = false;
    bool m_ground = false;
    MosaicLayout* m_layout = nullptr;
    CMosaicPreviewPane* m_pane = nullptr;  // owned
    Edit_Enter m_tileEdit;
    std::string m_backgroundPath;
    COLORREF m_backgroundColour = 0;
    Image* m_backgroundImage = nullptr;  // one reference held
    std::unique_ptr<PSMap> m_backgroundMap;
};

// The dialog templates of the maker and its pane, the pane's menu and
// cursors (registered once, on first use).
void RegisterMosaicResources();

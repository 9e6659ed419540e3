// "Save QuickTime File" (dialog 283): the settings of a QuickTime VR
// panorama movie. The panorama view opens it modally; "Save" calls the
// view back to write the movie (as often as the user likes, with other
// settings), "View movie" opens the written file, Cancel closes it.
#pragma once

#include "platform/win/dialog.h"

#include <cstdint>
#include <functional>
#include <string>

class CRectMapView;

class CQuickTimeSaveDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 283;
    static constexpr UINT kFieldOfViewEdit = 1280;
    static constexpr UINT kViewerWidthEdit = 1281;
    static constexpr UINT kViewerHeightEdit = 1282;
    static constexpr UINT kFileNameEdit = 1283;
    static constexpr UINT kBrowseButton = 1284;
    static constexpr UINT kCodecCombo = 1285;
    static constexpr UINT kQualityCombo = 1286;
    static constexpr UINT kSourceHeightText = 1287;
    static constexpr UINT kSourceWidthText = 1288;
    static constexpr UINT kViewMovieButton = 1289;
    static constexpr UINT kSaveButton = 1290;
    static constexpr UINT kZoomRatioText = 1291;

    explicit CQuickTimeSaveDlg(CWnd* parent = nullptr);

    void SetOwner(CRectMapView* view, bool trueSize);
    void SetFileName(const char* path) { m_fileName = path ? path : ""; }
    // The picture to save: its size in pixels and the equator width of its
    // panorama. An equator width of 0 or less leaves the angles unknown
    // (0 degrees) and "Save" disabled.
    void SetSource(int width, int height, int equatorWidth);

    void GetViewerSize(uint32_t* width, uint32_t* height) const;
    uint32_t GetFieldOfView() const { return m_fieldOfView; }
    void GetCodecQuality(int32_t* codec, int32_t* quality) const;
    float GetWidthDegrees() const { return m_widthDegrees; }
    float GetHeightDegrees() const { return m_heightDegrees; }
    // A new copy of the file name; the caller frees it with delete[].
    char* CopyFileName() const;
    // "%4.1f" of (viewer width / field of view) / (source width / 360).
    std::string ZoomRatioText() const;
    bool SourceKnown() const { return m_widthDegrees > 0.0f; }

    // What "Save" calls; null restores the owner's SaveQuickTimeMovie.
    using SaveHandler = std::function<void(CQuickTimeSaveDlg* dialog, bool trueSize)>;
    void SetSaveHandler(SaveHandler handler) { m_saveHandler = std::move(handler); }

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
    const win::MessageMap* GetMessageMap() const override;

protected:
    void OnBrowse();
    void OnSave();
    void OnViewMovie();
    void OnRefresh();

private:
    void ShowZoomRatio();

    // Kept in the dialog's order of fields.
    std::string m_fileName;
    uint32_t m_viewerHeight = 300;
    uint32_t m_viewerWidth = 400;
    uint32_t m_fieldOfView = 45;
    int32_t m_codec = 0;    // 0 Jpeg, 1 Tiff, 2 Cine
    int32_t m_quality = 2;  // 0 Lossless, 1 Max, 2 High, 3 Normal, 4 Low
    int32_t m_sourceWidth = 0, m_sourceHeight = 0;
    float m_widthDegrees = 0.0f, m_heightDegrees = 0.0f;
    uint8_t m_trueSize = 1;
    CRectMapView* m_owner = nullptr;
    SaveHandler m_saveHandler;
    bool m_exchanging = false;
};

// Adds dialog 283 to the application's resources.
void RegisterQuickTimeSaveDialog();

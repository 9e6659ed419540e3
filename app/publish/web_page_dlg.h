// "Create Panoramic Web Page" (dialog 171): fills one of the three HTML
// templates of the program folder's "WebLinks" folder with the dialog's
// values and, for the Java applet viewer, an APPLET block computed from the
// panorama's descriptor, with the applet's support files copied beside the
// panorama.
#pragma once

#include "platform/win/dialog.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// The numbers of the applet block, computed from the panorama's size and
// its place on the equator (pixels of the world map).
struct AppletGeometry {
    int range = 0;  // degrees of pan
    int x = 0, y = 0;
    int pheight = 0;
    int tiltTop = 0, tiltBottom = 0;
};

class CWebPageDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 171;
    static constexpr UINT kPanoramaEdit = 1110;
    static constexpr UINT kBrowsePanorama = 1111;
    static constexpr UINT kTitleEdit = 1112;
    static constexpr UINT kWidthEdit = 1113;
    static constexpr UINT kHeightEdit = 1114;
    static constexpr UINT kFovEdit = 1115;
    static constexpr UINT kHtmlEdit = 1116;
    static constexpr UINT kBrowseHtml = 1117;
    static constexpr UINT kSpeedEdit = 1166;
    static constexpr UINT kWorldMapRadio = 1223;
    static constexpr UINT kPerspectiveRadio = 1059;
    static constexpr UINT kAppletRadio = 1224;
    static constexpr UINT kActiveXRadio = 1060;
    static constexpr UINT kAutoSpinCheck = 1227;
    static constexpr UINT kPreviewButton = 104;
    // Puts the dialog's template (171) into the application's resources
    // once; later calls do nothing.
    static void RegisterTemplate();

    enum Viewer { kApplet = 0, kActiveX = 1, kQuickTime = 2 };
    enum GeometryResult { kGeometryOk, kNotKestova, kTooSmall };

    CWebPageDlg(const char* panoramaFile, CWnd* parent = nullptr);
    ~CWebPageDlg() override;
    CWebPageDlg(const CWebPageDlg&) = delete;
    CWebPageDlg& operator=(const CWebPageDlg&) = delete;

    void SetQuickTimeMode(bool panoramaMode);

    // The path of the page written, empty on failure (reported to the user).
    std::string MakeWebPage(bool final);
    void CopyAppletFiles();
    // Deletes the support files (and with alsoHtml the page) only where this
    // dialog copied or wrote them: files that were there before it opened
    // stay.
    void DeleteAppletFiles(bool alsoHtml);
    bool WriteAppletBlock(FILE* file);
    bool CheckQuickTime();

    // The applet numbers of a panorama `width` x `height` placed at `row` on
    // a map of `equatorWidth`; kNotKestova when the numbers cannot be formed
    // (no equator, or the tilts coincide), kTooSmall below 100 degrees.
    static GeometryResult ComputeAppletGeometry(int width, int height, int equatorWidth, int row,
                                                AppletGeometry& out);
    // "&", "<", ">" and both quotes as entities, for HTML text and attributes.
    static std::string HtmlEscape(const std::string& text);

    // Reads the descriptor's values: GetWMapInfo unless replaced (tests).
    using MapInfoSource = std::function<int(const char* path, int& width, int& height, int& equatorWidth,
                                            int& column, int& row, int& mapType)>;
    void SetMapInfoSource(MapInfoSource source) { m_mapInfo = std::move(source); }

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override;
    void OnCancel() override;
    const win::MessageMap* GetMessageMap() const override;

    // Kept in the dialog's order of fields.
    std::string m_htmlName;
    int m_width = 400;
    int m_height = 300;
    float m_fov = 70.0f;
    std::string m_panoramaFile;
    std::string m_title = "My Web Page Panorama";
    int m_speed = 10;
    int m_viewMode = 0;
    int m_viewer = kApplet;
    bool m_panoramaMode = true;
    bool m_modeFixed = false;

protected:
    void OnPreview();
    void OnBrowseHtml();
    void OnBrowsePanorama();
    void OnAutoSpin();
    void OnApplet();
    void OnActiveX();

private:
    std::string PanoramaFolder() const;
    void ForgetWritten(const std::string& path);

    MapInfoSource m_mapInfo;
    // Files this dialog made (support files copied, pages written): only
    // these are ever deleted.
    std::vector<std::string> m_made;
};

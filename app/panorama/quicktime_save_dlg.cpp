#include "app/panorama/quicktime_save_dlg.h"

#include "app/panorama/rect_map_view.h"
#include "core/logger.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/file_dialog.h"
#include "platform/win/resources.h"
#include "platform/win/shell.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kMinFieldOfView = 10;
constexpr int kMaxFieldOfView = 120;

// To tens, halves up.
uint32_t RoundToTens(uint32_t v) { return (v + 5) / 10 * 10; }

}  // namespace

CQuickTimeSaveDlg::CQuickTimeSaveDlg(CWnd* parent) : CDialog(kTemplateId, parent) {}

void CQuickTimeSaveDlg::SetOwner(CRectMapView* view, bool trueSize)
{
    m_owner = view;
    m_trueSize = trueSize ? 1 : 0;
}

void CQuickTimeSaveDlg::SetSource(int width, int height, int equatorWidth)
{
    m_sourceWidth = std::max(width, 1);
    m_sourceHeight = height;
    if (equatorWidth <= 0 || height <= 0) {
        // No equator, no angles: the movie cannot be laid out.
        Logger::log("ERROR CQuickTimeSaveDlg::SetSource: %d x %d on an equator of %d", 1, width, height, equatorWidth);
        m_widthDegrees = m_heightDegrees = 0.0f;
        return;
    }
    m_widthDegrees = static_cast<float>(m_sourceWidth) * 360.0f / static_cast<float>(equatorWidth);
    m_heightDegrees = std::min(static_cast<float>(height) * m_widthDegrees / static_cast<float>(m_sourceWidth), 180.0f);
    int fov = m_heightDegrees >= 90.0f ? 90 : (static_cast<int>(m_heightDegrees) + 3) / 5 * 5;
    // A strip under 2 degrees high would give 0: the viewer needs 10..120.
    fov = std::clamp(fov, kMinFieldOfView, kMaxFieldOfView);
    m_fieldOfView = static_cast<uint32_t>(fov);
    const double viewer = static_cast<double>(fov) * m_sourceWidth / m_widthDegrees;
    const uint32_t width0 = viewer >= 800.0 ? 800u : static_cast<uint32_t>(viewer);
    m_viewerWidth = width0 < 200 ? 200 : width0 >= 800 ? 800 : RoundToTens(width0);
    m_viewerHeight = RoundToTens(m_viewerWidth * 3 / 4);
}

void CQuickTimeSaveDlg::GetViewerSize(uint32_t* width, uint32_t* height) const
{
    if (width) *width = m_viewerWidth;
    if (height) *height = m_viewerHeight;
}

void CQuickTimeSaveDlg::GetCodecQuality(int32_t* codec, int32_t* quality) const
{
    if (codec) *codec = m_codec;
    if (quality) *quality = m_quality;
}

char* CQuickTimeSaveDlg::CopyFileName() const
{
    char* copy = new char[m_fileName.size() + 1];
    std::memcpy(copy, m_fileName.c_str(), m_fileName.size() + 1);
    return copy;
}

std::string CQuickTimeSaveDlg::ZoomRatioText() const
{
    const double fov = std::max<uint32_t>(m_fieldOfView, 1);
    const double ratio = (m_viewerWidth / fov) / (std::max(m_sourceWidth, 1) / 360.0);
    char text[32];
    std::snprintf(text, sizeof text, "%4.1f", ratio);
    return text;
}

BOOL CQuickTimeSaveDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    auto* codec = static_cast<CComboBox*>(GetDlgItem(kCodecCombo));
    auto* quality = static_cast<CComboBox*>(GetDlgItem(kQualityCombo));
    for (const char* item : {"Jpeg", "Tiff", "Cine"}) codec->AddString(item);
    for (const char* item : {"Lossless", "Max", "High", "Normal", "Low"}) quality->AddString(item);
    codec->SetCurSel(m_codec);
    quality->SetCurSel(m_quality);
    char text[64];
    std::snprintf(text, sizeof text, "%d (%d)", m_sourceWidth, static_cast<int>(m_widthDegrees));
    SetDlgItemText(kSourceWidthText, text);
    std::snprintf(text, sizeof text, "%d (%d)", m_sourceHeight, static_cast<int>(m_heightDegrees));
    SetDlgItemText(kSourceHeightText, text);
    ShowZoomRatio();
    GetDlgItem(kViewMovieButton)->EnableWindow(FALSE);
    GetDlgItem(kSaveButton)->EnableWindow(SourceKnown() ? TRUE : FALSE);
    return TRUE;
}

void CQuickTimeSaveDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, kFileNameEdit, m_fileName);
    DDX_Text(dx, kViewerHeightEdit, m_viewerHeight);
    DDX_Text(dx, kViewerWidthEdit, m_viewerWidth);
    DDX_Text(dx, kFieldOfViewEdit, m_fieldOfView);
    DDV_MinMaxUInt(dx, m_fieldOfView, kMinFieldOfView, kMaxFieldOfView);
    DDX_CBIndex(dx, kCodecCombo, m_codec);
    DDX_CBIndex(dx, kQualityCombo, m_quality);
}

void CQuickTimeSaveDlg::ShowZoomRatio() { SetDlgItemText(kZoomRatioText, ZoomRatioText().c_str()); }

void CQuickTimeSaveDlg::OnRefresh()
{
    // A refused value takes the focus back, which would refresh again.
    if (m_exchanging) return;
    m_exchanging = true;
    if (UpdateData(TRUE)) ShowZoomRatio();
    m_exchanging = false;
}

void CQuickTimeSaveDlg::OnOK() { OnRefresh(); }

void CQuickTimeSaveDlg::OnBrowse()
{
    CFileDialog dialog(FALSE, "mov", m_fileName.c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       "QuickTime File (*.mov)|*.mov||", this);
    dialog.m_ofn.lpstrTitle = "Select QuickTime File Name";
    if (dialog.DoModal() != IDOK) return;
    m_fileName = dialog.GetPathName();
    SetDlgItemText(kFileNameEdit, m_fileName.c_str());
}

void CQuickTimeSaveDlg::OnSave()
{
    if (!SourceKnown()) return;
    if (!UpdateData(TRUE)) return;
    if (m_saveHandler)
        m_saveHandler(this, m_trueSize != 0);
    else if (m_owner)
        m_owner->SaveQuickTimeMovie(this, m_trueSize != 0);
    GetDlgItem(kViewMovieButton)->EnableWindow(TRUE);
}

void CQuickTimeSaveDlg::OnViewMovie()
{
    ShellExecute(m_hWnd, "open", m_fileName.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

const win::MessageMap* CQuickTimeSaveDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {
                                         win::on::Control(BN_CLICKED, kBrowseButton, &CQuickTimeSaveDlg::OnBrowse),
                                         win::on::Control(BN_CLICKED, kSaveButton, &CQuickTimeSaveDlg::OnSave),
                                         win::on::Control(BN_CLICKED, kViewMovieButton, &CQuickTimeSaveDlg::OnViewMovie),
                                         win::on::Control(EN_KILLFOCUS, kViewerWidthEdit, &CQuickTimeSaveDlg::OnRefresh),
                                         win::on::Control(EN_KILLFOCUS, kFieldOfViewEdit, &CQuickTimeSaveDlg::OnRefresh),
                                     });
    return &map;
}

void RegisterQuickTimeSaveDialog()
{
    using win::ControlKind;
    using win::ControlTemplate;
    using D = CQuickTimeSaveDlg;
    win::DialogTemplate dialog;
    dialog.id = D::kTemplateId;
    dialog.caption = "Save QuickTime File";
    dialog.size = SIZE{380, 250};
    dialog.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 14, 90, 30}, "File name"),
        ControlTemplate(D::kFileNameEdit, ControlKind::Edit, RECT{94, 10, 330, 30}, "", WS_GROUP),
        ControlTemplate(D::kBrowseButton, ControlKind::PushButton, RECT{336, 10, 370, 30}, "..."),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 44, 160, 60}, "Field of view (degree)"),
        ControlTemplate(D::kFieldOfViewEdit, ControlKind::Edit, RECT{164, 40, 220, 60}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 72, 160, 88}, "VIewer width"),
        ControlTemplate(D::kViewerWidthEdit, ControlKind::Edit, RECT{164, 68, 220, 88}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 100, 160, 116}, "Viewer height"),
        ControlTemplate(D::kViewerHeightEdit, ControlKind::Edit, RECT{164, 96, 220, 116}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{230, 44, 300, 60}, "Codec type"),
        ControlTemplate(D::kCodecCombo, ControlKind::ComboDropList, RECT{304, 40, 370, 120}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{230, 72, 300, 88}, "Quality"),
        ControlTemplate(D::kQualityCombo, ControlKind::ComboDropList, RECT{304, 68, 370, 160}, "", WS_GROUP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 130, 120, 146}, "Source width"),
        ControlTemplate(D::kSourceWidthText, ControlKind::Static, RECT{124, 130, 220, 146}, ""),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 152, 120, 168}, "Source height"),
        ControlTemplate(D::kSourceHeightText, ControlKind::Static, RECT{124, 152, 220, 168}, ""),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{230, 130, 300, 146}, "Zoom ratio"),
        ControlTemplate(D::kZoomRatioText, ControlKind::Static, RECT{304, 130, 370, 146}, ""),
        ControlTemplate(D::kSaveButton, ControlKind::PushButton, RECT{10, 210, 90, 236}, "Save", WS_GROUP),
        ControlTemplate(D::kViewMovieButton, ControlKind::PushButton, RECT{100, 210, 190, 236}, "View movie"),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{200, 210, 280, 236}, "OK"),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{290, 210, 370, 236}, "Cancel"),
    };
    win::Resources::App().AddDialog(std::move(dialog));
}

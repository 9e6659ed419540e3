#include "app/views/reconvert_dlg.h"

#include "core/logger.h"
#include "platform/win/file_dialog.h"
#include "platform/win/resources.h"
#include "platform/win/win_app.h"
#include "worldmap/image_file.h"

#include <cmath>
#include <string>

namespace {

// Below this the panorama information cannot describe a panorama (a damaged
// file): nothing would be divided by it.
constexpr int kMinEquatorWidth = 4;

void ShowString(UINT id, UINT type = MB_OK, int* answer = nullptr)
{
    const int result = AfxMessageBox(win::Resources::LoadString(id).c_str(), type);
    if (answer) *answer = result;
}

}  // namespace

BOOL CReconvertDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetState(m_state);
    return TRUE;
}

void CReconvertDlg::SetState(int state)
{
    m_state = state;
    if (!GetSafeHwnd()) return;
    if (state == kMismatch) SetDlgItemText(static_cast<int>(kStateText), "This image do not match with selected panorama image.");
    else if (state == kReady) SetDlgItemText(static_cast<int>(kStateText), "You can click OK to start reconvert now.");
    if (CWnd* ok = GetDlgItem(IDOK)) ok->EnableWindow(state == kReady);
}

BOOL CReconvertDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == kSelectButton && HIWORD(wParam) == BN_CLICKED) {
        SelectPanoramaFile();
        return TRUE;
    }
    if (LOWORD(wParam) == IDOK && m_state != kReady) return TRUE;  // OK is not available yet
    return CDialog::OnCommand(wParam, lParam);
}

void CReconvertDlg::SelectPanoramaFile()
{
    CFileDialog dialog(TRUE, "jpg", nullptr, OFN_HIDEREADONLY,
                       "Panorama files (*.tif,*.jpg)|*.tif;*.jpg||", this);
    dialog.m_ofn.lpstrTitle = "Select parent panorama file";
    if (dialog.DoModal() != IDOK) return;
    UsePanoramaFile(dialog.GetPathName().c_str());
}

void CReconvertDlg::UsePanoramaFile(const char* path)
{
    int w = 0, h = 0, equatorWidth = 0, column = 0, row = 0, mapType = 0;
    const int answer = path ? GetWMapInfo(path, w, h, equatorWidth, column, row, mapType) : -2;
    if (answer == 1) {
        SetState(kNothing);
        ShowString(kNoPanoramaInfo);
        return;
    }
    if (answer != 2) {
        SetState(kNothing);
        ShowString(kCannotOpen);
        return;
    }
    if (equatorWidth < kMinEquatorWidth || w < 1 || h < 1) {
        Logger::log("ERROR CReconvertDlg::UsePanoramaFile: %s holds an equator width of %d", 1, path, equatorWidth);
        SetState(kNothing);
        ShowString(kNoPanoramaInfo);
        return;
    }
    const float angle = static_cast<float>(w) * 360.0f / static_cast<float>(equatorWidth);
    // The bracket stays in integers: the equator's row less the image's middle row.
    const int rowsAboveEquator = equatorWidth / 4 - (h / 2 + row);
    float offset = static_cast<float>(rowsAboveEquator) * 360.0f / static_cast<float>(equatorWidth);
    const int64_t imageWidth = m_imageWidth;
    const int64_t imageHeight = m_imageHeight;
    if (static_cast<int64_t>(h) * imageWidth != imageHeight * static_cast<int64_t>(w)) {
        SetState(kMismatch);
        // Taller than half the circle: the image cannot be this panorama's.
        if (static_cast<float>(imageWidth) * 180.0f < static_cast<float>(imageHeight) * angle) {
            ShowString(kCroppedTooMuch);
            return;
        }
        int yes = IDNO;
        ShowString(kCroppedQuestion, MB_YESNO, &yes);
        if (yes != IDYES) return;
    }
    if (std::fabs(offset) < 0.01f) offset = 0.0f;
    m_angularWidth = angle;
    m_offset = offset;
    m_fullCircle = (w == equatorWidth || angle > 359.0f) ? 1 : 0;
    SetState(kReady);
}

bool RunReconvertDialog(int w, int h, float* angle, float* offset, bool* fullCircle)
{
    CReconvertDlg dialog(w, h, AfxGetMainWnd());
    if (dialog.DoModal() != IDOK || dialog.GetState() != CReconvertDlg::kReady) return false;
    if (angle) *angle = dialog.GetAngularWidth();
    if (offset) *offset = dialog.GetOffset();
    if (fullCircle) *fullCircle = dialog.GetFullCircle();
    return true;
}

void RegisterReconvertDialog()
{
    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate dialog;
    dialog.id = CReconvertDlg::kTemplateId;
    dialog.caption = "Re-convert To Panorama Format";
    dialog.size = SIZE{340, 150};
    dialog.controls = {
        ControlTemplate(CReconvertDlg::kSelectButton, ControlKind::PushButton, RECT{10, 10, 330, 36},
                        "Select original panorama file...", WS_TABSTOP),
        ControlTemplate(CReconvertDlg::kStateText, ControlKind::Static, RECT{10, 50, 330, 90}, ""),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{80, 110, 160, 136}, "OK", WS_TABSTOP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{180, 110, 260, 136}, "Cancel", WS_TABSTOP),
    };
    auto& resources = win::Resources::App();
    resources.AddDialog(std::move(dialog));
    resources.AddString(CReconvertDlg::kCroppedTooMuch,
                        "Cannot import panorama info: it seems that the current image has been cropped!");
    resources.AddString(CReconvertDlg::kCroppedQuestion,
                        "It seems that the current image has been cropped...\nDo you still want to import panorama info?");
    resources.AddString(CReconvertDlg::kNoPanoramaInfo, "Selected image file does not contain panorama info.");
    resources.AddString(CReconvertDlg::kCannotOpen, "Unable to open the file.");
}

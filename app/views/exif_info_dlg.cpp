#include "app/views/exif_info_dlg.h"

#include "core/logger.h"
#include "platform/imgcore/exif_info.h"
#include "platform/win/resources.h"
#include "platform/win/win_app.h"
#include "projectgraph/framegrp/image_frame.h"

#include <cstdio>
#include <cstring>

namespace {

CExifInfoDlg* g_exifDialog = nullptr;

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string FormatInt(const char* format, int value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Below one second the exposure reads as a fraction, 1/n with n truncated;
// from one second on as seconds (a fraction would read 1/1 or 1/0).
std::string FormatExposure(float seconds)
{
    if (seconds >= 1.0f) return Format("%.1f sec", seconds);
    const double reciprocal = 1.0 / static_cast<double>(seconds);
    return FormatInt("1/%d sec", reciprocal < 2147483647.0 ? static_cast<int>(reciprocal) : 2147483647);
}

}  // namespace

std::string BuildExifReport(const ExifInfo* info, const char* path)
{
    const std::string full = path ? path : "";
    const size_t cut = full.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? std::string() : full.substr(0, cut);
    const std::string file = cut == std::string::npos ? full : full.substr(cut + 1);

    std::string text = "File name:\t  " + file + "\nLocation: " + folder;
    if (!info || !info->GetMake()) return text + "\nImage has no Exif info!";
    text += "\nWidth:\t     " + FormatInt("%d pixels", info->m_width);
    text += "\nHeight:\t     " + FormatInt("%d pixels", info->m_height);
    text += std::string("\nCamera maker:  ") + info->GetMake();
    text += std::string("\nCamera model:  ") + (info->GetModel() ? info->GetModel() : "");
    text += "\neFocal length: " + Format("%.1f", info->m_focalLength);
    text += "\nF-stop:        " + Format("F%.1f", info->m_fNumber);
    if (info->m_exposureTime > 0.0f) text += "\nExposure time: " + FormatExposure(info->m_exposureTime);
    text += "\nISO speed:     " + FormatInt("%d", info->m_isoSpeed);
    text += "\nExposure bias: " + FormatInt("%d step", info->m_exposureBias);
    text += "\nWhite balance: ";
    text += info->m_whiteBalance == 0 ? "Auto" : info->m_whiteBalance == 1 ? "Yes" : "No";
    return text;
}

void CExifInfoDlg::ShowReport(const ExifInfo* info, const char* path)
{
    if (m_hWnd) SetDlgItemText(kReportText, BuildExifReport(info, path).c_str());
}

std::string CExifInfoDlg::GetReport() const
{
    if (!m_hWnd) return {};
    return GetDlgItemText(kReportText);
}

void CExifInfoDlg::OnCancel()
{
    CloseExifInfoDialog(true);
    DestroyWindow();
}

void CExifInfoDlg::PostNcDestroy()
{
    // Also when the main window takes the dialog down with it.
    if (g_exifDialog == this) g_exifDialog = nullptr;
    delete this;
}

CExifInfoDlg* GetExifInfoDialog()
{
    return g_exifDialog;
}

void ShowExifInfoForImage(const ExifInfo* info, const char* path, bool create)
{
    if (!g_exifDialog) {
        if (!create) return;
        auto* dialog = new CExifInfoDlg();
        if (!dialog->Create(CExifInfoDlg::kTemplateId, AfxGetMainWnd())) {
            Logger::log("ERROR ShowExifInfoForImage: the Exif dialog cannot be created", 1);
            return;  // PostNcDestroy deleted it
        }
        g_exifDialog = dialog;
    }
    g_exifDialog->ShowReport(info, path);
    g_exifDialog->ShowWindow(SW_SHOW);
}

void ShowExifInfoDialog(ImageFrame* frame, bool create)
{
    if (!frame) return;
    if (!g_exifDialog && !create) return;
    ShowExifInfoForImage(frame->getExifInfo(true), frame->GetName(), create);
}

void CloseExifInfoDialog(bool closingItself)
{
    CExifInfoDlg* dialog = g_exifDialog;
    g_exifDialog = nullptr;
    if (!closingItself && dialog && dialog->GetSafeHwnd()) dialog->DestroyWindow();
}

void AddExifInfoDialog(win::ResourceModule& module)
{
    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate dialog;
    dialog.id = CExifInfoDlg::kTemplateId;
    dialog.caption = "Image Exif Info";
    dialog.size = SIZE{320, 260};
    dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    dialog.controls = {
        ControlTemplate(CExifInfoDlg::kReportText, ControlKind::Static, RECT{10, 10, 310, 210}, ""),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{120, 220, 200, 244}, "Close"),
    };
    module.AddDialog(std::move(dialog));
}

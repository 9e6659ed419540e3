// The image view's commands: zoom, rotations and mirrors that keep the
// selection on its pixels, crop, saving, Exif, re-conversion, distortion
// preview and correction with the camera check, the legacy camera file,
// the size dialog, the mouse, fitting the frame, and the overlays drawn on
// the image (marker groups, curves, text).
#include "app/views/image_view.h"

#include "app/control/super_manager.h"
#include "app/control/tool_state.h"
#include "app/matching/cam_info.h"
#include "app/matching/cam_info_file.h"
#include "app/matching/distortion_record.h"
#include "app/matching/lens_correction.h"
#include "app/matching/share_library.h"
#include "app/matching/utilities.h"
#include "app/shell/main_frame.h"
#include "app/shell/web_print_upload_dlg.h"
#include "app/views/exif_info_dlg.h"
#include "app/views/image_doc.h"
#include "app/views/image_loaders.h"
#include "app/views/image_quality_dlg.h"
#include "app/views/image_size_dlg.h"
#include "core/file_records.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "imaging/list.h"
#include "platform/imgcore/exif_info.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/file_dialog.h"
#include "platform/win/gdi.h"
#include "platform/win/menu.h"
#include "platform/win/prompter.h"
#include "platform/win/system.h"
#include "platform/win/win_app.h"
#include "platform/win/window_dc.h"
#include "projectgraph/curvekit/two_d_curves.h"
#include "viewkit/printing.h"
#include "worldmap/image_file.h"
#include "worldmap/text_cell.h"
#include "worldmap/text_layer.h"
#include "worldmap/tiff_writer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

CImageDoc* DocOf(const CImageView* view)
{
    return dynamic_cast<CImageDoc*>(const_cast<CImageView*>(view)->GetDocument());
}

std::string LowerExtension(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool IsQuarterTurn(int code)
{
    return code == 90 || code == -90;
}

bool Empty(const char* text)
{
    return !text || !*text;
}

void ShowSaveError(int state)
{
    char message[64];
    std::snprintf(message, sizeof message, "Error saving image: saveState=%d\n", state);
    AfxMessageBox(message);
}

// The correction record of the distortion dialog's two terms: the four
// coefficients (0, b s, a s, s) with s = 1 / (1 + a + b) sum to 1.
DistortionRecord NormalisedRecord(float a, float b)
{
    DistortionRecord record;
    const float s = 1.0f / (1.0f + a + b);
    record.a = 0.0f;
    record.b = b * s;
    record.c = a * s;
    record.d = s;
    return record;
}

}  // namespace

// ---- Free functions ------------------------------------------------------------------

RECT MapRectThroughRotation(int code, const RECT& r, int width, int height)
{
    // Inclusive pixels: the last column of an image of width W is W - 1.
    const int W = width - 1;
    const int H = height - 1;
    switch (code) {
    case -90: return RECT{r.top, W - r.right, r.bottom, W - r.left};    // quarter turn left
    case 90: return RECT{H - r.bottom, r.left, H - r.top, r.right};     // quarter turn right
    case 180: return RECT{W - r.right, H - r.bottom, W - r.left, H - r.top};
    case 270: return RECT{W - r.right, r.top, W - r.left, r.bottom};    // mirror left-right
    case -180: return RECT{r.left, H - r.bottom, r.right, H - r.top};   // mirror up-down
    default: return r;
    }
}

std::string LegacyCamInfoFileName(const char* make, const char* model)
{
    std::string name = std::string(make ? make : "") + "-" + (model ? model : "") + ".camInfo_";
    // The Exif texts come from the photo: nothing in them may lead out of
    // the library folder.
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || c == ':' || u < 0x20 || u == 0x7F) c = '_';
    }
    for (size_t at = name.find(".."); at != std::string::npos; at = name.find("..", at)) name.replace(at, 2, "__");
    return name;
}

int CameraCheckCase(const char* imageMake, const char* imageModel, const char* recordMake, const char* recordModel,
                    std::string& text)
{
    text.clear();
    if (Empty(recordMake)) {
        if (Empty(imageMake)) return 0;
        text = "Camera Info has no Exif info while image does:\nPlease confirm their camera model and focal length are "
               "the same!";
        return 1;
    }
    if (Empty(imageMake)) {
        text = "Image has no Exif info while Camera Info does:\nPlease confirm their camera model and focal length are "
               "the same!";
        return 2;
    }
    const std::string im = imageModel ? imageModel : "";
    const std::string rm = recordModel ? recordModel : "";
    if (std::strcmp(imageMake, recordMake) == 0 && im == rm) return 0;
    text = std::string("Image camera model (") + imageMake + ":" + im + ") does not match\nCamera Info (" + recordMake +
           ":" + rm + "): cannot correct!";
    return 3;
}

// ---- Life ------------------------------------------------------------------------------

CImageView::~CImageView()
{
    delete m_printLayout;
    m_printLayout = nullptr;
    ClearBrightnessDialogTarget(this);
    if (m_sizeDialog) {
        CImageSizeDlg* dialog = m_sizeDialog;
        m_sizeDialog = nullptr;
        dialog->SetCallback(nullptr);
        if (dialog->GetSafeHwnd()) dialog->DestroyWindow();
        delete dialog;
    }
    if (CDistortionAdjustDlg* dialog = GetDistortionAdjustDlg(); dialog && dialog->IsOwner(this)) {
        SetDistortionAdjustDlg(nullptr);
        if (dialog->GetSafeHwnd()) dialog->DestroyWindow();
        delete dialog;
    }
    delete m_exif;
    m_exif = nullptr;
}

// ---- Message map -----------------------------------------------------------------------

const win::MessageMap* CImageView::GetMessageMap() const
{
    static const win::MessageMap map(
        CScrollView::GetMessageMap(),
        {
            win::on::CommandRange(kZoom25, kZoom200, &CImageView::OnZoomCommand),
            win::on::CommandRange(kZoomFit, kZoomFit, &CImageView::OnZoomCommand),
            win::on::Command(kZoomDialog, &CImageView::OpenSizeDialog),
            win::on::CommandRange(kZoomIn, kZoomOut, &CImageView::OnZoomStep),
            win::on::CommandRange(kWindowZoomIn, kWindowZoomReset, &CImageView::OnWindowZoom),
            win::on::CommandRange(kRotateLeft, kRotateLeft, &CImageView::OnRotateCommand),
            win::on::CommandRange(kRotateRight, kMirrorUpDown, &CImageView::OnRotateCommand),
            win::on::Command(kSelectCropMenu, &CImageView::OnSelectCropMenu),
            win::on::Command(kCropTool, &CImageView::OnCropTool),
            win::on::UpdateUI(kCropTool, &CImageView::OnUpdateCropTool),
            win::on::Command(kCrop, &CImageView::OnCrop),
            win::on::Command(kSaveFull, &CImageView::OnSaveFull),
            win::on::Command(kSaveAs, &CImageView::OnSaveFull),
            win::on::Command(kSaveScreen, &CImageView::OnSaveScreen),
            win::on::Command(kSaveScreen2, &CImageView::OnSaveScreen),
            win::on::Command(kShowExif, &CImageView::ShowImageInfo),
            win::on::Command(kReconvert, &CImageView::OnReconvert),
            win::on::Command(kDistortionDialog, &CImageView::OpenDistortionDialog),
            win::on::Command(kDistortionCopy, &CImageView::CorrectDistortionCopy),
            win::on::Command(kMarkerIndex, &CImageView::OnMarkerIndex),
            win::on::Command(kShowLines, &CImageView::OnShowLines),
            win::on::Command(kLineIndex, &CImageView::OnLineIndex),
            win::on::Command(kWebUpload, &CImageView::OnWebUpload),
            win::on::UpdateUI(kWebUpload, &CImageView::OnUpdateWebUpload),
            win::on::Command(kConvertLegacyCamInfo, &CImageView::ConvertLegacyCamInfo),
            win::on::Command(kCreateCamInfoList, &CImageView::CreateCamInfoLibList),
            win::on::UpdateUI(kStatusPane, &CImageView::OnUpdateStatusPane),
            win::on::Command(kPrintToggle, &CImageView::TogglePrintLayout),
            win::on::Command(kCancelPrint, &CImageView::TogglePrintLayout),
            win::on::Command(kPrinterSetup, &CImageView::OnPrinterSetup),
            win::on::Command(kSendToPrinter, &CView::OnFilePrint),
            win::on::CommandRange(kFitOnePage, kFit2x3Pages, &CImageView::OnLayoutCommand),
            win::on::Command(kPageImages, &CImageView::OpenPageImages),
        });
    return &map;
}

// ---- Zoom ------------------------------------------------------------------------------

void CImageView::OnZoomCommand(UINT id)
{
    static constexpr float kZooms[] = {0.25f, 0.5f, 0.75f, 1.0f, 1.5f, 2.0f};
    if (id == kZoomFit) {
        ZoomToFit();
        return;
    }
    if (id >= kZoom25 && id <= kZoom200 && ZoomTo(kZooms[id - kZoom25])) FitFrameToView(false);
}

void CImageView::OnZoomStep(UINT id)
{
    if (GetKeyState(VK_CONTROL) < 0) {
        ZoomToFit();
        return;
    }
    if (GetKeyState(VK_SHIFT) < 0) {
        if (ZoomTo(1.0f)) FitFrameToView(false);
        return;
    }
    if (ZoomStep(id == kZoomIn)) FitFrameToView(false);
}

void CImageView::OnWindowZoom(UINT id)
{
    const bool changed = id == kWindowZoomIn ? ZoomIn() : id == kWindowZoomOut ? ZoomOut() : ResetZoom();
    if (!changed) return;
    UpdateTitle();
    FitFrameToView(false);
    if (GetSafeHwnd()) Invalidate(TRUE);
}

void CImageView::ZoomToFit()
{
    auto* frame = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    Image* screen = GetScreen();
    if (!frame || !screen || screen->GetWidth() <= 0) return;
    RECT area{};
    frame->GetFreeClientRect(&area);
    const float z = FitZoom(area.right - area.left, area.bottom - area.top, screen->GetWidth(), screen->GetHeight());
    ZoomTo(z);
    FitFrameToView(false);
    if (CFrameWnd* child = GetParentFrame()) {
        RECT r{};
        child->GetWindowRect(&r);
        if (CWnd* parent = child->GetParent()) parent->ScreenToClient(&r);
        child->MoveWindow(area.left, area.top, r.right - r.left, r.bottom - r.top);
    }
}

void CImageView::FitFrameToView(bool keepPosition)
{
    UpdateViewSize();
    int w = 0, h = 0;
    GetViewSize(w, h);
    if (GetSafeHwnd()) SetScrollSizes(MM_TEXT, SIZE{w, h});
    auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd());
    CFrameWnd* frame = GetSafeHwnd() ? GetParentFrame() : nullptr;
    if (!main || !frame || frame == main) return;
    RECT client{0, 0, w, h};
    if (keepPosition) GetClientRect(&client);
    const int offsetX = std::max(0, static_cast<int>(client.right - client.left - w) / 2);
    const int offsetY = std::max(0, static_cast<int>(client.bottom - client.top - h) / 2);
    SetOffset(offsetX, offsetY);
    RECT area{};
    main->GetFreeClientRect(&area);
    const int W = area.right - area.left;
    const int H = area.bottom - area.top;
    const int border = (GetSystemMetrics(SM_CXFRAME) + GetSystemMetrics(SM_CXBORDER)) * 2 + 2;
    int width = std::min(w, W) + border;
    int height = std::min(h, H) + border + GetSystemMetrics(SM_CYCAPTION);
    const int bar = GetSystemMetrics(SM_CXVSCROLL);
    if (w > width && height + bar <= H) height += bar;
    if (h > height && width + bar <= W) width += bar;
    width = std::min(width, W);
    height = std::min(height, H);
    RECT r{};
    frame->GetWindowRect(&r);
    if (CWnd* parent = frame->GetParent()) parent->ScreenToClient(&r);
    int x = r.left, y = r.top;
    if (x + width > area.right) x = std::max(0, static_cast<int>(area.right) - width);
    if (y + height > area.bottom) y = std::max(0, static_cast<int>(area.bottom) - height);
    frame->MoveWindow(x, y, width, height);
}

void CImageView::OpenSizeDialog()
{
    Image* screen = GetScreen();
    if (!screen || screen->GetWidth() <= 0) return;
    if (!m_sizeDialog) {
        auto* dialog = new CImageSizeDlg();
        dialog->SetCallback([this](int code, float value) { OnZoomDialogNotify(code, value); });
        dialog->Init(GetZoom(), screen->GetWidth(), screen->GetHeight(), this, CImageSizeDlg::kImageView);
        if (!dialog->Create(CImageSizeDlg::kTemplateId, this)) {
            Logger::log("ERROR CImageView::OpenSizeDialog: the size dialog cannot be created", 1);
            delete dialog;
            return;
        }
        m_sizeDialog = dialog;
    }
    m_sizeDialog->ShowWindow(SW_SHOW);
}

void CImageView::OnZoomDialogNotify(int code, float value)
{
    if (code == CImageSizeDlg::kClosed) {
        CImageSizeDlg* dialog = m_sizeDialog;
        m_sizeDialog = nullptr;
        if (dialog) {
            if (dialog->GetSafeHwnd()) dialog->DestroyWindow();
            delete dialog;
        }
        return;
    }
    if (code == CImageSizeDlg::kZoomChanged && value > 0.0f && ZoomTo(value)) FitFrameToView(false);
}

// ---- Rotations, mirrors and crop -------------------------------------------------------

void CImageView::OnRotateCommand(UINT id)
{
    switch (id) {
    case kRotateLeft: RotateImage(-90); break;
    case kRotateRight: RotateImage(90); break;
    case kRotateHalf: RotateImage(180); break;
    case kMirrorLeftRight: RotateImage(270); break;
    case kMirrorUpDown: RotateImage(-180); break;
    default: break;
    }
}

bool CImageView::RotateImage(int code)
{
    CImageDoc* doc = DocOf(this);
    Image* image = doc ? doc->GetImage() : nullptr;
    Image* screen = GetScreen();
    if (!image || !screen || !image->GetData()) return false;
    const int oldWidth = screen->GetWidth();
    const int oldHeight = screen->GetHeight();
    const RECT sel = *GetSelectionRect();
    const bool whole = IsDefaultSelection() ||
                       (sel.left <= 0 && sel.top <= 0 && sel.right >= oldWidth - 1 && sel.bottom >= oldHeight - 1);
    if (image->Rotate(code) != 0) return false;
    if (IsQuarterTurn(code) && screen->BmpInit(oldHeight, oldWidth, screen->GetChannels()) != 0) {
        Logger::log("ERROR CImageView::RotateImage: the screen image cannot take %d x %d", 1, oldHeight, oldWidth);
        return false;
    }
    ComposeScreenBmp();
    if (whole) {
        SetSelection(nullptr);
    } else {
        const RECT turned = MapRectThroughRotation(code, sel, oldWidth, oldHeight);
        SetSelection(&turned);
        if (IsCropped()) {
            RECT crop = *GetSelectionRect();
            Utilities::CropImage(&crop, GetScreen());
        }
    }
    if (IsQuarterTurn(code)) {
        FitFrameToView(false);
        if (GetSafeHwnd()) Invalidate(TRUE);
    } else if (GetSafeHwnd()) {
        Invalidate(FALSE);
    }
    return true;
}

void CImageView::SetSelection(const RECT* rect)
{
    SetSelectionRect(rect);
    // The window's selection follows, so that a later size update keeps it.
    const RECT& data = *GetSelectionRect();
    float zx = 1.0f, zy = 1.0f;
    GetCurrentZoom(zx, zy);
    *GetWndSelRect() = RECT{static_cast<int32_t>(data.left * zx), static_cast<int32_t>(data.top * zy),
                            static_cast<int32_t>(data.right * zx), static_cast<int32_t>(data.bottom * zy)};
}

void CImageView::OnCrop()
{
    Image* screen = GetScreen();
    if (!screen) return;
    if (IsCropped()) {
        ComposeScreenBmp();
        m_mode &= static_cast<uint16_t>(~kCropped);
    } else {
        RECT rect = *GetSelectionRect();
        if (!Utilities::CropImage(&rect, screen)) return;
        m_mode |= kCropped;
    }
    if (GetSafeHwnd()) Invalidate(FALSE);
}

void CImageView::OnSelectCropMenu()
{
    if (ToolState* tools = GetToolState()) tools->SetTool(ToolState::kGeneralGroup, kCropTool);
}

void CImageView::OnCropTool()
{
    ToolState* tools = GetToolState();
    if (!tools) return;
    if (tools->GetTool() == static_cast<int32_t>(kCropTool)) tools->ResetTool(ToolState::kGeneralGroup);
    else tools->SetTool(ToolState::kGeneralGroup, kCropTool);
}

void CImageView::OnUpdateCropTool(CCmdUI* ui)
{
    ToolState* tools = GetToolState();
    ui->SetCheck(tools && tools->GetTool() == static_cast<int32_t>(kCropTool) ? 1 : 0);
}

// ---- Saving ----------------------------------------------------------------------------

void CImageView::SaveImage(bool trueSize)
{
    CImageDoc* doc = DocOf(this);
    Image* screen = GetScreen();
    if (!doc || !screen || !screen->GetData()) return;
    std::string folder, suggested;
    if (SuperManager* manager = GetSuperManager()) manager->SuggestPanoramaFileName(folder, suggested, doc->GetName().c_str());
    const size_t dot = suggested.rfind('.');
    const std::string initialName = dot == std::string::npos ? suggested : suggested.substr(0, dot);
    CFileDialog dialog(FALSE, "jpg", initialName.c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       "JPEG File (*.jpg)|*.jpg|TIFF File (*.tif)|*.tif|GIF File (*.gif)|*.gif||", this);
    dialog.m_ofn.lpstrTitle = "Save Image";
    dialog.m_ofn.lpstrInitialDir = folder.c_str();
    if (dialog.DoModal() != IDOK) return;
    const std::string path = dialog.GetPathName();
    const std::string ext = LowerExtension(path);
    if (ext != "jpg" && ext != "tif" && ext != "gif") {
        Logger::log("ERROR CImageView::SaveImage: unknown extension \"%s\"", 1, ext.c_str());
        return;
    }
    RECT rect = *GetSelectionRect();
    Image* source = screen;
    Image* zoomed = nullptr;
    if (!trueSize) {
        const float z = GetZoom();
        zoomed = screen->ZoomImage(rect.left, rect.top, rect.right - rect.left + 1, rect.bottom - rect.top + 1, z, z);
        if (!zoomed) {
            Logger::log("ERROR CImageView::SaveImage: the selection cannot be scaled by %f", 1, static_cast<double>(z));
            ShowSaveError(-1);
            return;
        }
        source = zoomed;
        rect = RECT{0, 0, zoomed->GetWidth() - 1, zoomed->GetHeight() - 1};
    }
    QUORVANE_FileInfo info;
    info.path = path.c_str();
    int state = 0;
    bool saved = true;
    if (ext == "jpg") {
        CImageQualityDlg quality(this);
        if (quality.DoModal() == IDOK) {
            info.options = quality.GetOptions();
            BeginWaitCursor();
            state = SaveJpeg(source, &rect, &info);
            EndWaitCursor();
        } else {
            saved = false;
        }
    } else {
        BeginWaitCursor();
        state = ext == "tif" ? SaveImageAsTiff(source, &rect, &info) : SaveGIF(source, &rect, &info);
        EndWaitCursor();
    }
    if (zoomed) ReleaseImage(zoomed);
    if (saved && state != 0) {
        Logger::log("ERROR CImageView::SaveImage: writing %s failed with %d", 1, path.c_str(), state);
        ShowSaveError(state);
    }
}

// ---- Exif, re-conversion, web upload ---------------------------------------------------

const ExifInfo* CImageView::GetExifRecord(bool read)
{
    if (!m_exifRead && read) {
        m_exifRead = true;
        CImageDoc* doc = DocOf(this);
        auto* info = new ExifInfo();
        if (doc && ExtractExif::Run(doc->GetName().c_str(), *info) && info->GetMake()) m_exif = info;
        else delete info;
    }
    return m_exif;
}

void CImageView::ShowImageInfo()
{
    CImageDoc* doc = DocOf(this);
    ShowExifInfoForImage(GetExifRecord(true), doc ? doc->GetName().c_str() : nullptr, true);
}

void CImageView::OnReconvert()
{
    CImageDoc* doc = DocOf(this);
    SuperManager* manager = GetSuperManager();
    if (!doc || !manager || !doc->GetImage()) return;
    if (!manager->ReconvertToPanorama(doc->GetImage())) return;
    if (CFrameWnd* frame = GetParentFrame()) frame->DestroyWindow();
}

void CImageView::OnWebUpload()
{
    CImageDoc* doc = DocOf(this);
    if (doc) CWebPrintUploadDlg::RunFor(doc->GetName().c_str(), this);
}

void CImageView::OnUpdateWebUpload(CCmdUI* ui)
{
    SuperManager* manager = GetSuperManager();
    ui->Enable(manager && manager->HasWebLinks());
}

void CImageView::OnUpdateStatusPane(CCmdUI* ui)
{
    ui->Enable(TRUE);
}

// ---- Distortion ------------------------------------------------------------------------

bool CImageView::CheckCamera()
{
    const ExifInfo* exif = GetExifRecord(true);
    SuperManager* manager = GetSuperManager();
    const CamInfo* record = manager ? manager->GetCamInfo() : nullptr;
    std::string text;
    const int decision = CameraCheckCase(exif ? exif->GetMake() : nullptr, exif ? exif->GetModel() : nullptr,
                                         record ? record->GetExifMake() : nullptr,
                                         record ? record->GetExifModel() : nullptr, text);
    if (decision == 0) return true;
    if (decision == 3) {
        AfxMessageBox(text.c_str());
        return false;
    }
    return AfxMessageBox(text.c_str(), MB_YESNO) == IDYES;
}

void CImageView::OpenDistortionDialog()
{
    CDistortionAdjustDlg* dialog = GetDistortionAdjustDlg();
    if (!dialog) {
        dialog = new CDistortionAdjustDlg(AfxGetMainWnd());
        SetDistortionAdjustDlg(dialog);
    }
    SuperManager* manager = GetSuperManager();
    if (const DistortionRecord* record = manager ? manager->GetDistortionRecord(false) : nullptr)
        dialog->SetCoefficients(record->d, record->c, record->b, record->a);
    dialog->SetView(this);
    if (!dialog->GetSafeHwnd() && !dialog->Create(CDistortionAdjustDlg::kTemplateId, AfxGetMainWnd())) {
        Logger::log("ERROR CImageView::OpenDistortionDialog: the distortion dialog cannot be created", 1);
        return;
    }
    dialog->ShowWindow(SW_SHOW);
}

void CImageView::PreviewDistortion(float a, float b)
{
    ComposeScreenBmp();
    if (a != 0.0f || b != 0.0f) {
        const DistortionRecord record = NormalisedRecord(a, b);
        CorrectLensDistortion(&record.a, GetScreen(), true, 1.0f);
    }
    if (GetSafeHwnd()) {
        Invalidate(FALSE);
        UpdateWindow();
    }
}

void CImageView::ApplyDistortionToStitching(float a, float b)
{
    SuperManager* manager = GetSuperManager();
    if (!manager) return;
    if (a == 0.0f && b == 0.0f) {
        if (manager->GetDistortionRecord(false)) manager->SetDistortionCorrection(false, nullptr);
        return;
    }
    DistortionRecord* record = manager->GetDistortionRecord(true);
    if (!record) return;
    const DistortionRecord made = NormalisedRecord(a, b);
    record->a = made.a;
    record->b = made.b;
    record->c = made.c;
    record->d = made.d;
    manager->SetDistortionCorrection(true, nullptr);
    manager->SetRuntimeDistortion(true);
}

void CImageView::CloseDistortionDlg(bool closingItself)
{
    CDistortionAdjustDlg* dialog = GetDistortionAdjustDlg();
    if (!dialog || !dialog->IsOwner(this)) return;
    // A dialog closing itself is still running its handler: it stays, to be
    // shown again or deleted with its view.
    if (closingItself) return;
    SetDistortionAdjustDlg(nullptr);
    if (dialog->GetSafeHwnd()) dialog->DestroyWindow();
    delete dialog;
}

float CImageView::GetAspectRatio()
{
    Image* screen = GetScreen();
    const int w = screen ? std::max(screen->GetWidth(), 1) : 1;
    const int h = screen ? std::max(screen->GetHeight(), 1) : 1;
    return static_cast<float>(std::max(w, h)) / static_cast<float>(std::min(w, h));
}

void CImageView::CorrectDistortionCopy()
{
    SuperManager* manager = GetSuperManager();
    const DistortionRecord* record = manager ? manager->GetDistortionRecord(false) : nullptr;
    CImageDoc* doc = DocOf(this);
    Image* screen = GetScreen();
    if (!record || !doc || !screen || !CheckCamera()) return;
    Image* copy = screen->Duplicate();
    if (!copy) {
        Logger::log("ERROR CImageView::CorrectDistortionCopy: the image cannot be copied", 1);
        return;
    }
    CorrectLensDistortion(&record->a, copy, false, 1.0f);
    const std::string name = doc->GetName() + "--distortion corrected";
    OpenImageWindow(copy, name.c_str());
    ReleaseImage(copy);
}

// ---- Camera-information files ----------------------------------------------------------

void CImageView::ConvertLegacyCamInfo()
{
    const ExifInfo* exif = GetExifRecord(true);
    if (!exif) {
        AfxMessageBox("image has no exif info: cannot convert!");
        return;
    }
    SuperManager* manager = GetSuperManager();
    const CamInfo* info = manager ? manager->GetCamInfo() : nullptr;
    if (!info) {
        AfxMessageBox("no camInfo: cannot convert!");
        return;
    }
    if (!info->GetDistortion()) {
        AfxMessageBox("camInfo->m_hasDistortionInfo==false: cannot convert!");
        return;
    }
    const std::string path =
        CamInfoLib::GetAppLibFolder() + "\\" + LegacyCamInfoFileName(exif->GetMake(), exif->GetModel());
    const std::string comment =
        std::string("Converted from legacy file: ") + (manager->GetCamInfoFileName() ? manager->GetCamInfoFileName() : "");
    DistortionRecord correction;
    info->GetCorrectionParams(&correction);
    bool withColor = false;
    for (float v : correction.colourRegistration) withColor = withColor || v != 0.0f;
    FILE* file = std::fopen(LogBase::ToNativePath(path.c_str()).c_str(), "w");
    if (!file) {
        char message[1200];
        std::snprintf(message, sizeof message, "Can't open file for saving: %s", path.c_str());
        AfxMessageBox(message);
        return;
    }
    const bool ok = WriteCamInfo(file, false, comment.c_str(), info->GetExternalLensName(), exif, &correction, true,
                                 withColor, info->GetFocalLength(), info->version);
    const bool closed = std::fclose(file) == 0;
    AfxMessageBox(ok && closed ? "Save camera info file: OK!" : "Save camera info file: failed!");
}

void CImageView::CreateCamInfoLibList()
{
    const int count = CamInfoLib::CreateLibList();
    if (count < 0) {
        AfxMessageBox("Error: no camInfo lib list file created!");
        return;
    }
    char message[96];
    std::snprintf(message, sizeof message, "Created camInfo lib list file: numCamInfoFile = %d", count);
    AfxMessageBox(message);
}

// ---- Overlays --------------------------------------------------------------------------

bool CImageView::ToggleMarkerIndex()
{
    CImageDoc* doc = DocOf(this);
    const bool changed = doc && doc->ToggleMarkerIndex();
    if (changed && GetSafeHwnd()) Invalidate(FALSE);
    return changed;
}

bool CImageView::ToggleLines(bool index)
{
    CImageDoc* doc = DocOf(this);
    if (!doc || !doc->PeekCurves()) return false;
    const bool changed = index ? doc->ToggleLineIndex() : doc->ToggleLineVisibility();
    if (GetSafeHwnd()) Invalidate(FALSE);
    return changed;
}

void CImageView::OnMarkerIndex()
{
    ToggleMarkerIndex();
}

void CImageView::OnShowLines()
{
    ToggleLines(false);
}

void CImageView::OnLineIndex()
{
    ToggleLines(true);
}

void CImageView::DrawOverlays(CDC* dc)
{
    CImageDoc* doc = DocOf(this);
    if (!doc || !dc) return;
    int ox = 0, oy = 0;
    GetOffset(ox, oy);
    const float zoom = GetZoom();
    for (int i = 0; i < doc->GetMarkerGroupCount(); ++i) {
        const MarkerGroup* group = doc->GetMarkerGroupAt(i);
        group->Draw(dc, ox + static_cast<int>(group->GetOffsetX() * zoom), oy + static_cast<int>(group->GetOffsetY() * zoom),
                    zoom);
    }
    if (const TwoDCurves* curves = doc->PeekCurves()) curves->Draw(dc, ox, oy, zoom);
    if (const TextLayer* layer = doc->GetTextLayer()) {
        const List* cells = layer->GetCellList();
        const int oldMode = dc->SetBkMode(TRANSPARENT);
        const COLORREF oldColour = dc->SetTextColor(RGB(255, 0, 0));
        for (int i = 0; cells && i < cells->m_count; ++i) {
            const auto* cell = static_cast<const TextCell*>(cells->GetData(i));
            if (!cell) continue;
            int16_t x = 0, y = 0;
            cell->GetLocation(x, y);
            const char* text = cell->GetText();
            dc->TextOut(ox + static_cast<int>(x * zoom), oy + static_cast<int>(y * zoom), text,
                        static_cast<int>(std::strlen(text)));
        }
        dc->SetTextColor(oldColour);
        dc->SetBkMode(oldMode);
    }
    if (m_printLayout) m_printLayout->DrawPreView(dc, ox, oy, zoom, zoom);
}

// ---- Window messages -------------------------------------------------------------------

// A client point in the print preview's pixels.
CPoint CImageView::PreviewPoint(CPoint point) const
{
    int ox = 0, oy = 0;
    GetOffset(ox, oy);
    const CPoint scroll = GetScrollPosition();
    return CPoint(point.x + scroll.x - ox, point.y + scroll.y - oy);
}

void CImageView::OnLButtonDown(UINT flags, CPoint point)
{
    if (m_printLayout) {
        const CPoint p = PreviewPoint(point);
        m_printLayout->MouseDown(p.x, p.y);
        return;
    }
    SetBrightnessDialogTarget(this);
    ToolState* tools = GetToolState();
    if (!tools || tools->GetGroup() != ToolState::kGeneralGroup) {
        CScrollView::OnLButtonDown(flags, point);
        return;
    }
    SetCapture();
    if (tools->GetTool() == static_cast<int32_t>(kCropTool)) {
        if (IsCropped()) OnCrop();
        int x = 0, y = 0;
        ConvertToDVWpoint(point, x, y);
        InitWndRect(point.x, point.y);
    }
}

void CImageView::OnMouseMove(UINT flags, CPoint point)
{
    if (m_printLayout) {
        const CPoint p = PreviewPoint(point);
        if (flags & MK_LBUTTON) {
            if (m_printLayout->MouseMove(p.x, p.y) && GetSafeHwnd()) Invalidate(FALSE);
        } else {
            m_printLayout->SetCursorState(m_printLayout->GetMouseLocation(p.x, p.y));
        }
        return;
    }
    char text[kPixelTextBytes] = {};
    PrintBkgBmpValue(text, point.x, point.y);
    if (text[0])
        if (auto* main = dynamic_cast<CMainFrame*>(AfxGetMainWnd())) main->SetPaneText59001(text);
    ToolState* tools = GetToolState();
    if (tools && tools->GetGroup() == ToolState::kGeneralGroup && tools->GetTool() == static_cast<int32_t>(kCropTool) &&
        IsInDragWndRectState() && GetSafeHwnd()) {
        CClientDC dc(this);
        DragWndRect(point.x, point.y, &dc);
    }
    CScrollView::OnMouseMove(flags, point);
}

void CImageView::OnLButtonUp(UINT flags, CPoint point)
{
    if (m_printLayout) {
        const CPoint p = PreviewPoint(point);
        m_printLayout->MouseUp(p.x, p.y);
        // Ctrl toggles the page under the mouse; otherwise pages the image
        // barely reaches after the drag drop out of the print.
        const bool changed = (flags & MK_CONTROL) ? m_printLayout->ToggleSelection(p.x, p.y) : m_printLayout->RemoveSmallPage();
        if (changed && GetSafeHwnd()) Invalidate(FALSE);
        return;
    }
    ToolState* tools = GetToolState();
    if (tools && tools->GetGroup() == ToolState::kGeneralGroup) {
        ReleaseCapture();
        if (tools->GetTool() == static_cast<int32_t>(kCropTool) && IsInDragWndRectState() && GetSafeHwnd()) {
            CClientDC dc(this);
            EndDragWndRect(point.x, point.y, &dc);
        }
    }
    CScrollView::OnLButtonUp(flags, point);
}

void CImageView::OnLButtonDblClk(UINT, CPoint)
{
    if (!GetSafeHwnd()) return;
    CClientDC dc(this);
    RemoveSelectionRect(&dc);
}

void CImageView::OnRButtonUp(UINT, CPoint point)
{
    CMenu menu;
    if (!menu.CreatePopupMenu()) return;
    if (m_printLayout) {
        menu.AppendMenu(MF_STRING, kFitOnePage, "Fit One Page");
        menu.AppendMenu(MF_STRING, kFitOnePage + 1, "Fit 1x2 Pages");
        menu.AppendMenu(MF_STRING, kFitOnePage + 4, "Fit 1x3 Pages");
        menu.AppendMenu(MF_STRING, kFitOnePage + 2, "Fit 2x1 Pages");
        menu.AppendMenu(MF_STRING, kFitOnePage + 3, "Fit 2x2 Pages");
        menu.AppendMenu(MF_STRING, kFit2x3Pages, "Fit 2x3 Pages");
        ClientToScreen(&point);
        menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, this);
        return;
    }
    const bool correctable = [] {
        SuperManager* manager = GetSuperManager();
        CDistortionAdjustDlg* dialog = GetDistortionAdjustDlg();
        return manager && manager->GetCameraInfoFlag() && !(dialog && dialog->GetSafeHwnd());
    }();
    menu.AppendMenu(MF_STRING, kRotateLeft, "Rotate left 90");
    menu.AppendMenu(MF_STRING, kRotateRight, "Rotate right 90");
    menu.AppendMenu(MF_STRING, kRotateHalf, "Rotate 180");
    menu.AppendMenu(MF_STRING, kMirrorLeftRight, "Flip right-left");
    menu.AppendMenu(MF_STRING, kMirrorUpDown, "Flip Up-down");
    menu.AppendMenu(MF_STRING, kSelectCropMenu, "Select crop region");
    menu.AppendMenu(MF_STRING, kCrop, IsCropped() ? "Undo cropping" : "Crop");
    menu.AppendMenu(MF_STRING, kSaveFull, "Save at 100% resolution");
    menu.AppendMenu(MF_STRING, kSaveScreen, "Save at screen resolution");
    menu.AppendMenu(MF_STRING, kShowExif, "Show Image Exif Info");
    menu.AppendMenu(MF_STRING, kReconvert, "Re-convert to panorama format");
    menu.AppendMenu(MF_STRING | (correctable ? 0u : MF_GRAYED), kDistortionDialog, "Correct distortion");
    ClientToScreen(&point);
    menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, this);
}

BOOL CImageView::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
{
    if (m_printLayout) {
        // Layout states 1 to 6: ratio handle, left, right, top and bottom
        // margin, image.
        const int state = m_printLayout->GetCursorState();
        if (state >= 1 && state <= 6) {
            ::SetCursor(LoadResourceCursor(kPrintLayoutCursors[state - 1]));
            return TRUE;
        }
        return CScrollView::OnSetCursor(wnd, hitTest, message);
    }
    ToolState* tools = GetToolState();
    if (tools && tools->GetCursor()) {
        ::SetCursor(tools->GetCursor());
        return TRUE;
    }
    return CScrollView::OnSetCursor(wnd, hitTest, message);
}

void CImageView::OnSize(UINT type, int cx, int cy)
{
    DVWupdateSize(cx, cy);
    CScrollView::OnSize(type, cx, cy);
}

void CImageView::OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    CScrollView::OnHScroll(code, pos, scrollCtrl);
    if (code == SB_ENDSCROLL) DVWupdateScroll(GetScrollPosition());
}

void CImageView::OnVScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    CScrollView::OnVScroll(code, pos, scrollCtrl);
    if (code == SB_ENDSCROLL) DVWupdateScroll(GetScrollPosition());
}

BOOL CImageView::OnEraseBkgnd(CDC*)
{
    return TRUE;
}

// ---- Print layout and printing ---------------------------------------------------------

void CImageView::TogglePrintLayout()
{
    if (m_printLayout) EndPrintLayout();
    else BeginPrintLayout();
}

void CImageView::BeginPrintLayout()
{
    Image* screen = GetScreen();
    SuperManager* manager = GetSuperManager();
    if (!screen || !screen->GetData() || m_printLayout) return;
    if (ToolState* tools = GetToolState()) tools->ResetTool(ToolState::kGeneralGroup);
    if (manager && !manager->GetPageSetup()) {
        // The default printer's page, asked silently: portrait paper for a
        // portrait image, landscape for a landscape one.
        win::PageSetupRequest request;
        request.flags = win::PSD_RETURNDEFAULT | win::PSD_MARGINS;
        const win::PageSetupAnswer page = win::RunPageSetup(request);
        PageSetupRecord record;
        record.paperSize = page.paperSize;
        record.minMargins = page.minMargins;
        record.margins = page.margins;
        const bool landscapeImage = screen->GetWidth() > screen->GetHeight();
        const bool landscapePaper = record.paperSize.x > record.paperSize.y;
        if (landscapeImage != landscapePaper) std::swap(record.paperSize.x, record.paperSize.y);
        manager->SetPageSetup(record);
    }
    if (m_printImageSize.cx != screen->GetWidth() || m_printImageSize.cy != screen->GetHeight()) {
        m_printImageSize = SIZE{screen->GetWidth(), screen->GetHeight()};
        m_printRatio = -1.0f;  // the layout chooses
        m_printOffset = POINT{0, 0};
    }
    PageSetupRecord record = manager && manager->GetPageSetup() ? *manager->GetPageSetup() : PageSetupRecord{};
    m_printLayout = new CPrinting();
    RECT crop = *GetSelectionRect();
    m_printLayout->Init(screen, &record.paperSize, &record.margins, &record.minMargins, &crop, &m_printOffset,
                        m_printRatio);
    if (GetSafeHwnd()) {
        m_printLayout->CreateToolBar(240, this);
        Invalidate(TRUE);
    }
}

void CImageView::EndPrintLayout()
{
    if (!m_printLayout) return;
    if (SuperManager* manager = GetSuperManager()) {
        PageSetupRecord record = manager->GetPageSetup() ? *manager->GetPageSetup() : PageSetupRecord{};
        m_printLayout->GetMargin(&record.margins);
        manager->SetPageSetup(record);
    }
    int x = 0, y = 0;
    m_printLayout->GetOffset(x, y, false);
    m_printOffset = POINT{x, y};
    m_printRatio = m_printLayout->GetRatio();
    delete m_printLayout;
    m_printLayout = nullptr;
    if (GetSafeHwnd()) Invalidate(TRUE);
}

bool CImageView::ChangePrintLayout(UINT id)
{
    // Columns x rows of "Fit One Page", "1x2", "2x1", "2x2", "1x3", "2x3".
    static constexpr int kLayouts[][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}, {3, 1}, {3, 2}};
    if (!m_printLayout || id < kFitOnePage || id > kFit2x3Pages) return false;
    const int* layout = kLayouts[id - kFitOnePage];
    const bool changed = m_printLayout->ChangeLayout(layout[0], layout[1]);
    if (changed && GetSafeHwnd()) Invalidate(FALSE);
    return changed;
}

void CImageView::OpenPageImages()
{
    if (!m_printLayout) return;
    const int pages = m_printLayout->GetNumbPages();
    for (int n = 1; n <= pages; ++n) {
        Image* page = nullptr;
        if (!m_printLayout->GetPageImage(n, &page) || !page) continue;
        char name[16];
        std::snprintf(name, sizeof name, "Page%02d", n);
        OpenImageWindow(page, name);
        ReleaseImage(page);
    }
}

void CImageView::OnPrinterSetup()
{
    SuperManager* manager = GetSuperManager();
    CWnd* main = AfxGetMainWnd();
    if (!m_printLayout || !manager || !main) return;
    const PageSetupRecord before = manager->GetPageSetup() ? *manager->GetPageSetup() : PageSetupRecord{};
    main->SendMessage(WM_COMMAND, MAKEWPARAM(kPageSetupCommand, 0), 0);
    const PageSetupRecord after = manager->GetPageSetup() ? *manager->GetPageSetup() : PageSetupRecord{};
    const bool changed = before.paperSize.x != after.paperSize.x || before.paperSize.y != after.paperSize.y ||
                         std::memcmp(&before.margins, &after.margins, sizeof(RECT)) != 0;
    if (!changed) return;
    delete m_printLayout;
    m_printLayout = nullptr;
    BeginPrintLayout();
}

BOOL CImageView::OnPreparePrinting(CPrintInfo* info)
{
    const BOOL ok = DoPreparePrinting(info);
    if (ok && !m_printLayout) BeginPrintLayout();
    return ok;
}

void CImageView::OnBeginPrinting(CDC*, CPrintInfo* info)
{
    if (!info) return;
    const UINT pages = m_printLayout ? static_cast<UINT>(std::max(m_printLayout->GetNumbPages(), 1)) : 1;
    info->SetMinPage(1);
    info->SetMaxPage(pages);
    // No print dialog narrows the range: every page of the layout prints.
    info->m_nFromPage = 1;
    info->m_nToPage = pages;
}

void CImageView::OnPrint(CDC* dc, CPrintInfo* info)
{
    if (m_printLayout && dc && info) m_printLayout->Print(dc, static_cast<int>(info->m_nCurPage));
}

void CImageView::OnEndPrinting(CDC*, CPrintInfo*)
{
    EndPrintLayout();
}

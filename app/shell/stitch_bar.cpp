#include "app/shell/stitch_bar.h"

#include "app/control/image_chain.h"
#include "app/control/super_manager.h"
#include "app/matching/cam_info.h"
#include "app/shell/img_browser.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/win/gdi.h"
#include "platform/win/resources.h"
#include "platform/win/system.h"
#include "platform/win/window_system.h"
#include "projectgraph/framegrp/image_group.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr int kSliderMax = 50;
constexpr int kOneToOne = 25;  // slider position of ratio 1.0
constexpr float kWidthLimit = 10000.0f;
constexpr const char* kFrameClass = "FendrakeStitchBarFrame";

constexpr COLORREF kRatioColour = RGB(30, 30, 80);
constexpr COLORREF kSizeColour = RGB(40, 40, 100);
constexpr COLORREF kFrameFill = RGB(190, 190, 190);

// Pictures of the buttons: 250/249/255/256 Load (up, down, focus,
// disabled), 252/251/257/258 Stitch idle, 264 Stitch running, 254/253/259/260
// Blend.
constexpr UINT kLoadPics[4] = {250, 249, 255, 256};
constexpr UINT kStitchPics[4] = {252, 251, 257, 258};
constexpr UINT kStitchRunning = 264;
constexpr UINT kBlendPics[4] = {254, 253, 259, 260};

// Half up, as the labels round.
int RoundHalfUp(float v)
{
    return static_cast<int>(std::floor(v + 0.5f));
}

// A simple picture of our own: a flat face with a darker border and a
// bar-shaped mark whose shade tells the state apart.
Image* MakePicture(COLORREF face, COLORREF mark, int markWidth)
{
    constexpr int kW = 96, kH = 40;
    auto* image = new Image(kW, kH, 3);
    for (int y = 0; y < kH; ++y) {
        unsigned char* row = image->GetData() + static_cast<size_t>(y) * image->GetRowByte();
        for (int x = 0; x < kW; ++x) {
            const bool border = x == 0 || y == 0 || x == kW - 1 || y == kH - 1;
            const bool inMark = y >= kH / 2 - 3 && y < kH / 2 + 3 && x >= (kW - markWidth) / 2 && x < (kW + markWidth) / 2;
            const COLORREF c = border ? RGB(64, 64, 64) : inMark ? mark : face;
            row[3 * x] = GetBValue(c);
            row[3 * x + 1] = GetGValue(c);
            row[3 * x + 2] = GetRValue(c);
        }
    }
    return image;
}

}  // namespace

void AddStitchBarResources(win::ResourceModule& module)
{
    win::WindowClass frameClass;
    frameClass.name = kFrameClass;
    frameClass.backgroundColor = -1;
    win::WindowSystem::Get().RegisterClass(frameClass);

    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate bar;
    bar.id = 103;
    bar.size = SIZE{120, 420};
    bar.style = WS_CHILD;
    bar.controls = {
        ControlTemplate(CStitchBar::kLoad, ControlKind::PushButton, RECT{12, 16, 108, 56}, "Load"),
        ControlTemplate(CStitchBar::kStitch, ControlKind::PushButton, RECT{12, 64, 108, 104}, "Stitch"),
        ControlTemplate(CStitchBar::kBlend, ControlKind::PushButton, RECT{12, 112, 108, 152}, "Blend"),
        ControlTemplate(CStitchBar::kSlider, ControlKind::Slider, RECT{12, 160, 108, 184}),
        ControlTemplate(CStitchBar::kRatio, ControlKind::Static, RECT{12, 190, 108, 206}, ""),
        ControlTemplate(CStitchBar::kWidth, ControlKind::Static, RECT{12, 210, 108, 226}, ""),
        ControlTemplate(CStitchBar::kHeight, ControlKind::Static, RECT{12, 230, 108, 246}, ""),
        ControlTemplate(CStitchBar::kSettings, ControlKind::OwnerDrawButton, RECT{12, 256, 108, 280}, "Settings"),
        ControlTemplate(CStitchBar::kSummary, ControlKind::Static, RECT{12, 288, 108, 400}, ""),
        // Last, so that it lies under the others; it paints nothing itself:
        // the bar fills and outlines it with its own background.
        ControlTemplate(CStitchBar::kFrame, ControlKind::Custom, RECT{4, 4, 116, 412}, "", 0, 0, kFrameClass),
    };
    module.AddDialog(std::move(bar));

    const struct {
        const UINT* ids;
        COLORREF face;
    } sets[] = {{kLoadPics, RGB(200, 220, 200)}, {kStitchPics, RGB(200, 200, 230)}, {kBlendPics, RGB(230, 210, 190)}};
    for (const auto& set : sets) {
        const COLORREF marks[4] = {RGB(0, 90, 0), RGB(0, 40, 0), RGB(200, 0, 0), RGB(160, 160, 160)};
        for (int k = 0; k < 4; ++k) {
            Image* picture = MakePicture(k == 3 ? RGB(210, 210, 210) : set.face, marks[k], 40 + 8 * k);
            module.AddBitmap(set.ids[k], picture);
            ReleaseImage(picture);
        }
    }
    Image* running = MakePicture(RGB(240, 200, 120), RGB(200, 0, 0), 80);
    module.AddBitmap(kStitchRunning, running);
    ReleaseImage(running);

    // The stitch driver's loop question.
    module.AddString(40019, "It seems that the first and the last images have overlap\n(the panorama is a loop). Please confirm.");
    module.AddString(CStitchBar::kLoad, "Load images to Pellicot\nLoad images");
    module.AddString(CStitchBar::kStitch, "Stitch images in Pellicot\nStitch images");
    module.AddString(CStitchBar::kBlend, "Blend images to make final panorama\nBlend images");
    module.AddString(CStitchBar::kSettings, "Change stitching options\nStitch settings");
}

CStitchBar::CStitchBar()
{
    if (SuperManager* manager = GetSuperManager()) m_ratio = manager->GetOutputScale();
    m_sliderPos = RatioToSlider(m_ratio);
}

float CStitchBar::SliderToRatio(int pos)
{
    if (pos < kOneToOne) return 0.1f + pos * 0.9f / kOneToOne;
    return 1.0f + static_cast<float>(pos - kOneToOne) / kOneToOne;
}

int CStitchBar::RatioToSlider(float ratio)
{
    const float p = ratio >= 1.0f ? kOneToOne + (ratio - 1.0f) * kOneToOne : (ratio - 0.1f) * kOneToOne / 0.9f;
    return static_cast<int>(p + 0.5f);
}

void CStitchBar::InitControls()
{
    if (m_hWnd) {
        m_controlsReady = m_slider.SubclassDlgItem(kSlider, this) && m_ratioLabel.SubclassDlgItem(kRatio, this) &&
                          m_widthLabel.SubclassDlgItem(kWidth, this) && m_heightLabel.SubclassDlgItem(kHeight, this) &&
                          m_summaryLabel.SubclassDlgItem(kSummary, this);
        if (m_controlsReady) {
            m_slider.SetRange(0, kSliderMax, FALSE);
            m_slider.SetPageSize(1);
            m_slider.SetTicFreq(5);
            SetWindowText("");
            m_ratioLabel.SetColor(kRatioColour);
            m_widthLabel.SetColor(kSizeColour);
            m_heightLabel.SetColor(kSizeColour);
            m_summaryLabel.SetColor(kSizeColour);
            m_load.AutoLoad(kLoad, this);
            m_load.LoadBitmaps(kLoadPics[0], kLoadPics[1], kLoadPics[2], kLoadPics[3]);
            m_load.SizeToContent();
            m_stitch.AutoLoad(kStitch, this);
            LoadStitchPictures();
            m_stitch.SizeToContent();
            m_blend.AutoLoad(kBlend, this);
            m_blend.LoadBitmaps(kBlendPics[0], kBlendPics[1], kBlendPics[2], kBlendPics[3]);
            m_blend.SizeToContent();
            m_settings.SubclassDlgItem(kSettings, this);
        } else {
            Logger::log("ERROR CStitchBar::InitControls: dialog 103 lacks the bar's controls", 1);
        }
    }
    ShowRatio();
    ShowOutputSize();
    UpdateSettingsText();
    m_sliderPos = RatioToSlider(m_ratio);
    if (m_controlsReady) m_slider.SetPos(m_sliderPos);
    // The enabling the idle updates keep, from the start.
    OnUpdateCmdUI(nullptr, FALSE);
}

void CStitchBar::LoadStitchPictures()
{
    if (!m_controlsReady) return;
    if (m_idle) m_stitch.LoadBitmaps(kStitchPics[0], kStitchPics[1], kStitchPics[2], kStitchPics[3]);
    else m_stitch.LoadBitmaps(kStitchRunning);
    m_stitch.Invalidate();
}

bool CStitchBar::CanStartStitch()
{
    SuperManager* manager = GetSuperManager();
    // A worker still running (a stopped run's last pair or matching) keeps
    // its records until its report: no new run meanwhile.
    return manager && manager->CanStitch() && !manager->IsWorkerActive();
}

bool CStitchBar::CanBlend()
{
    SuperManager* manager = GetSuperManager();
    if (!manager || manager->IsBusy()) return false;
    ImageGroup* group = manager->GetImageGroup(false);
    return group && group->GetNumbMergedImages() >= 2;
}

bool CStitchBar::CanChangeSettings()
{
    SuperManager* manager = GetSuperManager();
    return manager && !manager->IsBusy() && !manager->GetPairWindow();
}

void CStitchBar::OnStitch()
{
    SuperManager* manager = GetSuperManager();
    if (!manager) return;
    if (m_idle) {
        if (!CanStartStitch() || !StitchPrecondition()) return;
        m_idle = 0;
        LoadStitchPictures();
        manager->ModifyFlags(kFlagStopped, 0);
        manager->DoStitching();
    } else {
        m_idle = 1;
        LoadStitchPictures();
        manager->ModifyFlags(0, kFlagStopped);
    }
}

void CStitchBar::SetStitchRunning(bool idle)
{
    if ((m_idle != 0) != idle) OnStitch();
}

void CStitchBar::OnBlend()
{
    SuperManager* manager = GetSuperManager();
    if (!manager) return;
    manager->SetOutputScale(m_ratio);
    manager->ModifyFlags(0, kFlagBlendStage);
    manager->BlendPanorama();
    manager->ToggleFrontViewCrop();
}

void CStitchBar::OnLoad()
{
    SuperManager* manager = GetSuperManager();
    if (!manager) return;
    manager->ShowImageTray();
    manager->ShowImageBrowser(0, true);
}

void CStitchBar::OnSettings()
{
    if (SuperManager* manager = GetSuperManager()) manager->ShowStitchSettings(true);
}

void CStitchBar::SetLabel(ColorLabel& label, const std::string& text, bool show)
{
    if (!m_controlsReady) return;
    label.ShowWindow(SW_HIDE);
    label.SetWindowText(text.c_str());
    if (show) label.ShowWindow(SW_SHOW);
}

void CStitchBar::SetRatio(float ratio)
{
    m_ratio = ratio;
    m_sliderPos = RatioToSlider(m_ratio);
    if (m_controlsReady) m_slider.SetPos(m_sliderPos);
    ShowRatio();
    ShowOutputSize();
}

void CStitchBar::ShowRatio()
{
    char text[32];
    std::snprintf(text, sizeof text, "R: %d%%", RoundHalfUp(m_ratio * 100.0f));
    m_ratioText = text;
    SetLabel(m_ratioLabel, m_ratioText, true);
}

void CStitchBar::ShowOutputSize()
{
    SuperManager* manager = GetSuperManager();
    int width = 0, height = 0;
    const float scale = manager ? manager->GetOutputScale() : 0.0f;
    if (manager) {
        // The panorama's size at the bar's ratio.
        manager->SetOutputScale(m_ratio);
        manager->GetPanoramaSize(&width, &height);
        manager->SetOutputScale(scale);
    }
    m_sizeShown = width >= 1 && height > 0;
    if (m_sizeShown) {
        char text[32];
        std::snprintf(text, sizeof text, "w: %d", width);
        m_widthText = text;
        std::snprintf(text, sizeof text, "h: %d", height);
        m_heightText = text;
    }
    SetLabel(m_widthLabel, m_widthText, m_sizeShown);
    SetLabel(m_heightLabel, m_heightText, m_sizeShown);
}

void CStitchBar::LimitOutputSize()
{
    SuperManager* manager = GetSuperManager();
    int width = 0, height = 0;
    if (manager) {
        const float scale = manager->GetOutputScale();
        manager->SetOutputScale(m_ratio);
        manager->GetPanoramaSize(&width, &height);
        manager->SetOutputScale(scale);
    }
    if (width > kWidthLimit) m_ratio *= kWidthLimit / static_cast<float>(width);
    SetRatio(m_ratio);
}

void CStitchBar::UpdateSettingsText()
{
    SuperManager* manager = GetSuperManager();
    std::string text;
    if (manager) {
        const StitchSettings* settings = manager->GetStitchSettings();
        if (CamInfo* info = manager->GetCamInfo()) {
            char summary[256] = {};
            info->GetSummaryText(summary, sizeof summary);
            text += summary;
        } else if (settings->runtimeDistortion) {
            text += "RuntimeDC:Y\n";
        }
        char line[32];
        switch (settings->focalType) {
        case 0: text += "F: same\n"; break;
        case 1: text += "F: diff\n"; break;
        case 2:
            std::snprintf(line, sizeof line, "F: %d\n", RoundHalfUp(settings->focalLength));
            text += line;
            break;
        case 3: text += "F: Exif\n"; break;
        case 4:
            std::snprintf(line, sizeof line, "F: Exif %d\n", RoundHalfUp(settings->focalLength));
            text += line;
            break;
        default: break;
        }
        text += manager->IsElasticBlend() ? "Blend: Elastic\n" : "Blend: Fixed\n";
    }
    m_settingsText = text;
    SetLabel(m_summaryLabel, m_settingsText, true);
}

void CStitchBar::OnSliderMoved(int pos)
{
    m_sliderPos = std::max(0, std::min(kSliderMax, pos));
    m_ratio = SliderToRatio(m_sliderPos);
    ShowRatio();
    ShowOutputSize();
    UpdateSettingsText();
}

void CStitchBar::OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    if (!scrollCtrl || scrollCtrl->GetDlgCtrlID() != static_cast<int>(kSlider)) return;
    if (code == TB_THUMBTRACK) OnSliderMoved(static_cast<int>(pos));
    else if (code == TB_ENDTRACK) OnSliderMoved(m_slider.GetPos());
}

BOOL CStitchBar::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case kLoad: OnLoad(); return TRUE;
    case kStitch: OnStitch(); return TRUE;
    case kBlend: if (CanBlend()) OnBlend(); return TRUE;
    case kSettings: if (CanChangeSettings()) OnSettings(); return TRUE;
    default: return CDialogBar::OnCommand(wParam, lParam);
    }
}

void CStitchBar::OnUpdateCmdUI(CFrameWnd*, BOOL)
{
    if (!m_controlsReady) return;
    SuperManager* manager = GetSuperManager();
    // Stop stays available while a run goes; a new run waits for the worker.
    m_stitch.EnableWindow(manager && (m_idle ? CanStartStitch() : TRUE));
    m_load.EnableWindow(TRUE);
    const bool blend = CanBlend();
    m_blend.EnableWindow(blend);
    m_slider.EnableWindow(blend);
    m_settings.EnableWindow(CanChangeSettings());
}

BOOL CStitchBar::OnEraseBkgnd(CDC* dc)
{
    if (!dc) return FALSE;
    CRect client;
    GetClientRect(&client);
    dc->FillSolidRect(client.left, client.top, client.Width(), client.Height(), GetSysColor(COLOR_BTNFACE));
    if (CWnd* frame = GetDlgItem(kFrame)) {
        RECT r;
        frame->GetWindowRect(&r);
        ScreenToClient(&r);
        dc->Draw3dRect(&r, GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNHIGHLIGHT));
        r.top += 8;
        r.right -= 2;
        dc->FillSolidRect(r.left, r.top, r.right - r.left, r.bottom - r.top, kFrameFill);
    }
    return TRUE;
}

void CStitchBar::OnDrawItem(int id, LPDRAWITEMSTRUCT dis)
{
    if (id == static_cast<int>(kSettings) && dis) DrawSettingsButton(dis);
    else CDialogBar::OnDrawItem(id, dis);
}

void CStitchBar::DrawSettingsButton(const DRAWITEMSTRUCT* item)
{
    CDC* dc = item->hDC;
    if (!dc) return;
    CRect r = item->rcItem;
    const bool selected = (item->itemState & ODS_SELECTED) != 0;
    // The push-button frame, pushed while selected.
    dc->Draw3dRect(&r, GetSysColor(selected ? COLOR_BTNSHADOW : COLOR_BTNHIGHLIGHT),
                   GetSysColor(selected ? COLOR_BTNHIGHLIGHT : COLOR_3DDKSHADOW));
    CRect face = r;
    face.DeflateRect(2, 2);
    COLORREF fill, ink;
    int shift = 0;
    const bool disabled = (item->itemState & ODS_DISABLED) != 0;
    if (selected) {
        fill = RGB(150, 153, 150);
        ink = RGB(0, 0, 150);
        shift = 2;
    } else if (item->itemState & ODS_FOCUS) {
        fill = RGB(150, 160, 150);
        ink = RGB(255, 0, 0);
    } else if (disabled) {
        fill = RGB(191, 191, 191);
        ink = RGB(128, 128, 128);
    } else {
        fill = RGB(210, 215, 210);
        ink = RGB(0, 0, 255);
    }
    dc->FillSolidRect(face.left, face.top, face.Width(), face.Height(), fill);
    char text[64] = {};
    if (CWnd* button = GetDlgItem(kSettings)) button->GetWindowText(text, sizeof text);
    dc->SetBkMode(TRANSPARENT);
    const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (disabled) {
        CRect shadow = r;
        shadow.OffsetRect(1, 1);
        dc->SetTextColor(RGB(255, 255, 255));
        dc->DrawText(text, &shadow, format);
    }
    CRect place = r;
    place.OffsetRect(shift, shift);
    dc->SetTextColor(ink);
    dc->DrawText(text, &place, format);
}

#include "app/views/image_size_dlg.h"

#include "core/logger.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/resources.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMinZoom = 0.1f;
constexpr float kMaxZoom = 2.0f;
// Typed zooms closer than this count as unchanged.
constexpr float kZoomEpsilon = 0.000001f;
// The slider's marks, in percent.
constexpr int kTicks[] = {10, 50, 57, 67, 80, 100, 125, 150, 175, 200};

}  // namespace

int CImageSizeDlg::ShownSide(int source, float z)
{
    return static_cast<int>(std::trunc(static_cast<double>(source - 1) * static_cast<double>(z))) + 1;
}

void CImageSizeDlg::Init(float zoom, int sourceWidth, int sourceHeight, CWnd* owner, int ownerKind)
{
    m_zoom = zoom;
    m_initialZoom = zoom;
    m_sourceWidth = std::max(sourceWidth, 1);
    m_sourceHeight = std::max(sourceHeight, 1);
    if (sourceWidth < 1 || sourceHeight < 1)
        Logger::log("ERROR CImageSizeDlg::Init: source size %d x %d taken as at least 1 x 1", 1, sourceWidth,
                    sourceHeight);
    m_owner = owner;
    m_ownerKind = ownerKind;
    Recompute();
    if (auto* slider = dynamic_cast<CSliderCtrl*>(GetSafeHwnd() ? GetDlgItem(kSlider) : nullptr)) {
        slider->SetRange(10, 200);
        slider->SetPageSize(1);
        slider->ClearTics();
        for (int tick : kTicks) slider->SetTic(tick);
    }
    MoveSlider();
    ShowValues();
}

void CImageSizeDlg::SetImageSize(int width, int height)
{
    if (width < 1 || height < 1) {
        Logger::log("ERROR CImageSizeDlg::SetImageSize: size %d x %d ignored", 1, width, height);
        return;
    }
    if (width == m_sourceWidth && height == m_sourceHeight) return;
    m_sourceWidth = width;
    m_sourceHeight = height;
    Recompute();
    ShowValues();
}

void CImageSizeDlg::ShowSize(int width, int height)
{
    if (!GetSafeHwnd()) return;
    CDataExchange dx(this, FALSE);
    DDX_Text(&dx, static_cast<int>(kHeightEdit), height);
    DDX_Text(&dx, static_cast<int>(kWidthEdit), width);
}

void CImageSizeDlg::SetZoom(float z)
{
    m_zoom = z;
    m_initialZoom = z;
    Recompute();
    MoveSlider();
    ShowValues();
}

void CImageSizeDlg::GetSourceSize(int& width, int& height) const
{
    width = m_sourceWidth;
    height = m_sourceHeight;
}

void CImageSizeDlg::Recompute()
{
    m_shownWidth = ShownSide(m_sourceWidth, m_zoom);
    m_shownHeight = ShownSide(m_sourceHeight, m_zoom);
}

void CImageSizeDlg::ShowValues()
{
    if (!GetSafeHwnd()) return;
    CDataExchange dx(this, FALSE);
    DDX_Text(&dx, static_cast<int>(kHeightEdit), m_shownHeight);
    DDX_Text(&dx, static_cast<int>(kWidthEdit), m_shownWidth);
    DDX_Text(&dx, static_cast<int>(kZoomEdit), m_zoom);
}

void CImageSizeDlg::MoveSlider()
{
    if (!GetSafeHwnd()) return;
    if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(kSlider)))
        slider->SetPos(static_cast<int>(std::trunc(m_zoom * 100.0f + 0.5f)));
}

void CImageSizeDlg::Notify(int code)
{
    if (m_callback) m_callback(code, m_zoom);
}

bool CImageSizeDlg::ReadInt(UINT id, int& value)
{
    if (!GetSafeHwnd()) return false;
    CDataExchange dx(this, TRUE);
    DDX_Text(&dx, static_cast<int>(id), value);
    return !dx.Failed();
}

bool CImageSizeDlg::ReadZoom(float& value)
{
    if (!GetSafeHwnd()) return false;
    CDataExchange dx(this, TRUE);
    DDX_Text(&dx, static_cast<int>(kZoomEdit), value);
    DDV_MinMaxFloat(&dx, value, kMinZoom, kMaxZoom);
    return !dx.Failed();
}

BOOL CImageSizeDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    Init(m_zoom, m_sourceWidth, m_sourceHeight, m_owner, m_ownerKind);
    return TRUE;
}

bool CImageSizeDlg::ApplyZoomEdit()
{
    float typed = m_zoom;
    if (!ReadZoom(typed)) return false;
    if (std::fabs(typed - m_zoom) < kZoomEpsilon) return false;
    const int oldWidth = m_shownWidth;
    const int oldHeight = m_shownHeight;
    m_zoom = typed;
    Recompute();
    MoveSlider();
    ShowValues();
    if (m_shownWidth != oldWidth || m_shownHeight != oldHeight) Notify(kZoomChanged);
    return true;
}

bool CImageSizeDlg::ApplySide(int typed, int shown, int source)
{
    if (typed == shown) return false;
    if (source <= 1) {
        // One pixel shows as one pixel at every zoom: there is no zoom that
        // gives another size, so the zoom stays and the edit shows it again.
        ShowValues();
        return false;
    }
    // The small addition keeps trunc() from falling one pixel short.
    const float z = static_cast<float>(typed - 1) / static_cast<float>(source - 1) + kZoomEpsilon;
    m_zoom = std::clamp(z, kMinZoom, kMaxZoom);
    Recompute();
    MoveSlider();
    ShowValues();
    Notify(kZoomChanged);
    return true;
}

bool CImageSizeDlg::ApplyWidthEdit()
{
    int typed = m_shownWidth;
    if (!ReadInt(kWidthEdit, typed)) return false;
    return ApplySide(typed, m_shownWidth, m_sourceWidth);
}

bool CImageSizeDlg::ApplyHeightEdit()
{
    int typed = m_shownHeight;
    if (!ReadInt(kHeightEdit, typed)) return false;
    return ApplySide(typed, m_shownHeight, m_sourceHeight);
}

void CImageSizeDlg::Reset()
{
    if (m_zoom == m_initialZoom) return;
    m_zoom = m_initialZoom;
    Recompute();
    MoveSlider();
    ShowValues();
    Notify(kZoomChanged);
}

void CImageSizeDlg::OnOK()
{
    // Width first, then height, then zoom: the first one changed wins.
    if (ApplyWidthEdit()) return;
    if (ApplyHeightEdit()) return;
    ApplyZoomEdit();
}

void CImageSizeDlg::OnCancel()
{
    if (m_callback) {
        // The owner destroys the dialog: nothing of it may be touched after.
        const Callback callback = m_callback;
        callback(kClosed, m_zoom);
        return;
    }
    DestroyWindow();
}

void CImageSizeDlg::OnHScroll(UINT code, UINT, CWnd* scrollCtrl)
{
    auto* slider = dynamic_cast<CSliderCtrl*>(scrollCtrl);
    if (!slider || slider->GetDlgCtrlID() != static_cast<int>(kSlider)) return;
    const float z = static_cast<float>(slider->GetPos()) / 100.0f;
    const int width = ShownSide(m_sourceWidth, z);
    const int height = ShownSide(m_sourceHeight, z);
    if (z != m_zoom || width != m_shownWidth || height != m_shownHeight) {
        m_zoom = z;
        m_shownWidth = width;
        m_shownHeight = height;
        ShowValues();
    }
    if (code == TB_ENDTRACK) Notify(kZoomChanged);
}

BOOL CImageSizeDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (code == EN_KILLFOCUS) {
        if (id == kZoomEdit) ApplyZoomEdit();
        else if (id == kWidthEdit) ApplyWidthEdit();
        else if (id == kHeightEdit) ApplyHeightEdit();
        return TRUE;
    }
    if (id == kResetButton && code == BN_CLICKED) {
        Reset();
        return TRUE;
    }
    return CDialog::OnCommand(wParam, lParam);
}

void RegisterImageSizeDialog()
{
    using win::ControlKind;
    using win::ControlTemplate;
    win::DialogTemplate dialog;
    dialog.id = CImageSizeDlg::kTemplateId;
    dialog.caption = "Select image size";
    dialog.size = SIZE{300, 150};
    dialog.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 12, 60, 30}, "Width"),
        ControlTemplate(CImageSizeDlg::kWidthEdit, ControlKind::Edit, RECT{62, 10, 130, 30}, "", WS_TABSTOP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{150, 12, 200, 30}, "Height"),
        ControlTemplate(CImageSizeDlg::kHeightEdit, ControlKind::Edit, RECT{202, 10, 270, 30}, "", WS_TABSTOP),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 44, 60, 62}, "Zoom"),
        ControlTemplate(CImageSizeDlg::kZoomEdit, ControlKind::Edit, RECT{62, 42, 130, 62}, "", WS_TABSTOP),
        ControlTemplate(CImageSizeDlg::kSlider, ControlKind::Slider, RECT{10, 72, 290, 100}, "", WS_TABSTOP),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{40, 114, 110, 138}, "OK", WS_TABSTOP),
        ControlTemplate(CImageSizeDlg::kResetButton, ControlKind::PushButton, RECT{120, 114, 190, 138}, "Reset",
                        WS_TABSTOP),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{200, 114, 270, 138}, "Close", WS_TABSTOP),
    };
    win::Resources::App().AddDialog(std::move(dialog));
}

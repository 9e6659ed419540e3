// The panorama view as owner of the modeless image-size dialog ("Zoom ...").
#include "app/panorama/rect_map_view.h"
#include "app/views/image_size_dlg.h"

#include "core/logger.h"

namespace {

CRectMapView::ZoomHandler& ZoomHandlerSlot()
{
    static CRectMapView::ZoomHandler handler;
    return handler;
}

}  // namespace

void CRectMapView::SetZoomHandler(ZoomHandler handler)
{
    ZoomHandlerSlot() = std::move(handler);
}

CImageSizeDlg* CRectMapView::GetZoomDialog() const
{
    return dynamic_cast<CImageSizeDlg*>(m_zoomDialog);
}

void CRectMapView::OpenZoomDialog()
{
    const RECT& sel = *GetSelectionRect();
    const int width = sel.right - sel.left + 1;
    const int height = sel.bottom - sel.top + 1;
    float zoomX = 1.0f, zoomY = 1.0f;
    GetCurrentZoom(zoomX, zoomY);
    if (!m_zoomDialog) {
        auto* dialog = new CImageSizeDlg();
        dialog->SetCallback([this](int code, float value) { OnZoomDialogNotify(code, value); });
        dialog->Init(zoomX, width, height, this, CImageSizeDlg::kPanoramaView);
        if (!dialog->Create(CImageSizeDlg::kTemplateId, this)) {
            Logger::log("ERROR CRectMapView::OpenZoomDialog: the zoom dialog cannot be created", 1);
            delete dialog;
            return;
        }
        m_zoomDialog = dialog;
    } else if (auto* dialog = GetZoomDialog()) {
        dialog->Init(zoomX, width, height, this, CImageSizeDlg::kPanoramaView);
    }
    m_zoomDialog->ShowWindow(SW_SHOW);
}

void CRectMapView::OnZoomDialogNotify(int code, float value)
{
    if (code == CImageSizeDlg::kClosed) {
        CWnd* dialog = m_zoomDialog;
        m_zoomDialog = nullptr;
        if (dialog) {
            if (dialog->GetSafeHwnd()) dialog->DestroyWindow();
            delete dialog;
        }
        return;
    }
    if (code != CImageSizeDlg::kZoomChanged) return;
    if (!(value > 0.0f)) {
        Logger::log("ERROR CRectMapView::OnZoomDialogNotify: zoom %f ignored", 1, static_cast<double>(value));
        return;
    }
    if (const ZoomHandler& handler = ZoomHandlerSlot()) {
        handler(this, value);
        return;
    }
    SetZoom(value);
}

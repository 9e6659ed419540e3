// TEMPORARY: drawing entry points written with the GDI part.
#include "platform/win/control_models.h"
#include "platform/win/controls.h"
#include "platform/win/control_bars.h"
#include "platform/win/tree_model.h"
namespace win {
void PaintWindowBackground(HWND, CDC*) {}
void ApplyClassCursor(HWND) {}
void ApplyScrollOrigin(CDC*, POINT) {}
void ButtonModel::Paint(WindowData&, CDC&) {}
void StaticModel::Paint(WindowData&, CDC&) {}
void EditModel::Paint(WindowData&, CDC&) {}
void ComboModel::Paint(WindowData&, CDC&) {}
void ListBoxModel::Paint(WindowData&, CDC&) {}
void SliderModel::Paint(WindowData&, CDC&) {}
void ProgressModel::Paint(WindowData&, CDC&) {}
void TreeModel::Paint(WindowData&, CDC&) {}
}
void CBitmapButton::DrawItem(LPDRAWITEMSTRUCT) {}
void CStatusBar::OnPaint() { Default(); }
void CToolBar::OnPaint() { Default(); }
BOOL CImageList::Draw(CDC*, int, POINT, UINT) { return FALSE; }
CDC* CWnd::GetDC() { return nullptr; }
int CWnd::ReleaseDC(CDC*) { return 0; }
#include "platform/win/doc_view.h"
void CView::OnPaint() { Default(); }
void CView::OnFilePrint() {}

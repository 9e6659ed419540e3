// TEMPORARY: symbols of parts not written yet.
#include "platform/win/control_models.h"
#include "platform/win/controls.h"
#include "platform/win/win_app.h"
#include "platform/win/frame_wnd.h"
namespace win {
void RegisterTreeClass(WindowSystem&) {}
void RegisterBarClasses(WindowSystem&) {}
void PaintWindowBackground(HWND, CDC*) {}
void ApplyClassCursor(HWND) {}
void ButtonModel::Paint(WindowData&, CDC&) {}
void StaticModel::Paint(WindowData&, CDC&) {}
void EditModel::Paint(WindowData&, CDC&) {}
void ComboModel::Paint(WindowData&, CDC&) {}
void ListBoxModel::Paint(WindowData&, CDC&) {}
void SliderModel::Paint(WindowData&, CDC&) {}
void ProgressModel::Paint(WindowData&, CDC&) {}
}
void CBitmapButton::DrawItem(LPDRAWITEMSTRUCT) {}
CWinApp* AfxGetApp() { return nullptr; }
CWnd* AfxGetMainWnd() { return nullptr; }
int AfxMessageBox(const char* text, UINT type, UINT) { return ::MessageBox(nullptr, text, "app", type); }
CFrameWnd* CWnd::GetParentFrame() const { return nullptr; }
CFrameWnd* CWnd::GetTopLevelFrame() const { return nullptr; }
CDC* CWnd::GetDC() { return nullptr; }
int CWnd::ReleaseDC(CDC*) { return 0; }

// The modeless Brightness/Contrast dialog (resource 158). Its target is a
// data viewer or a tray frame; the brightness-dialog issue fills in its
// controls.
#pragma once

#include "platform/win/dialog.h"

class DataViewer;
class ImageFrame;

class CBrightContrastDlg : public CDialog {
public:
    void SetDataViewer(DataViewer* viewer) { m_viewer = viewer; m_frame = nullptr; }
    void SetImageFrame(ImageFrame* frame) { m_frame = frame; m_viewer = nullptr; }
    // The target goes away.
    void Release() { m_viewer = nullptr; m_frame = nullptr; }
    DataViewer* GetDataViewer() const { return m_viewer; }
    ImageFrame* GetImageFrame() const { return m_frame; }

private:
    DataViewer* m_viewer = nullptr;
    ImageFrame* m_frame = nullptr;
};

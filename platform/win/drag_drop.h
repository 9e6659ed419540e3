// Drag and drop: files dropped from the desktop (WM_DROPFILES with a drop
// handle listing the paths) and drags between windows of the program (a data
// source offering global-memory formats, drop targets registered on
// windows). The drop point of a drag comes from the prompter headless, from
// the pointer with a display.
#pragma once

#include "platform/win/cmd_target.h"
#include "platform/win/win_defs.h"
#include "platform/win/win_rect.h"

#include <map>
#include <string>
#include <vector>

class CWnd;

// ---- Files dropped from the desktop -------------------------------------------

// index 0xFFFFFFFF: the number of files. Otherwise copies path `index` into
// buffer (when given) and returns its length.
UINT DragQueryFile(HDROP drop, UINT index, char* buffer, UINT size);
BOOL DragQueryPoint(HDROP drop, POINT* point);
void DragFinish(HDROP drop);
void DragAcceptFiles(HWND hwnd, BOOL accept);

namespace win {
// A drop handle for paths dropped at a client point (the desktop's part).
HDROP MakeDrop(const std::vector<std::string>& paths, POINT clientPoint);
size_t LiveDropCount();
void ResetDragDrop();
}  // namespace win

// ---- Drags inside the program ------------------------------------------------------

class COleDataObject {
public:
    COleDataObject() = default;
    BOOL IsDataAvailable(CLIPFORMAT format) const;
    // A copy of the data for the caller (who frees it); null when missing.
    HGLOBAL GetGlobalData(CLIPFORMAT format) const;
    std::vector<CLIPFORMAT> Formats() const;

private:
    friend class COleDataSource;
    const std::map<CLIPFORMAT, HGLOBAL>* m_data = nullptr;
};

class COleDataSource : public CCmdTarget {
public:
    ~COleDataSource() override;
    // The source takes the block.
    void CacheGlobalData(CLIPFORMAT format, HGLOBAL block);
    void Empty();
    // Runs the drag: the drop point is asked for, the target's handlers
    // decide. The effect performed, DROPEFFECT_NONE when nothing dropped.
    DROPEFFECT DoDragDrop(DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK,
                          const RECT* startRect = nullptr);

private:
    std::map<CLIPFORMAT, HGLOBAL> m_data;
};

class COleDropTarget : public CCmdTarget {
public:
    ~COleDropTarget() override;
    BOOL Register(CWnd* window);
    void Revoke();
    CWnd* Window() const { return m_window; }
    // Points are client coordinates of the registered window; keyState has
    // MK_CONTROL and MK_SHIFT.
    virtual DROPEFFECT OnDragEnter(CWnd* window, COleDataObject* data, DWORD keyState, CPoint point);
    virtual DROPEFFECT OnDragOver(CWnd* window, COleDataObject* data, DWORD keyState, CPoint point);
    virtual BOOL OnDrop(CWnd* window, COleDataObject* data, DROPEFFECT effect, CPoint point);
    virtual void OnDragLeave(CWnd* window);

private:
    CWnd* m_window = nullptr;
    HWND m_hwnd = nullptr;
};

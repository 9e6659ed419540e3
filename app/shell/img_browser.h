// The image browser frame "Image Browser", in which the user finds
// photographs and brings them into the project: a 1 x 2 static splitter
// with the folder tree (CDirTree) on the left and the thumbnail board
// (CImgBoard) on the right. The manager creates, places, shows and hides
// it. Its packed state is the profile value "InitState": byte 0 image-type
// index, byte 1 view flags, byte 2 combo selection, byte 3 left pane width
// in percent of the frame width.
#pragma once

#include "platform/win/frame_wnd.h"
#include "platform/win/splitter.h"

#include <cstdint>

class CDirTree;
class CImgBoard;

class CImgBrowser : public CFrameWnd {
public:
    static constexpr uint32_t kDefaultState = 33u << 24;  // list mode, JPEG files, a third
    static constexpr UINT kIcon = 229;

    // A visible pop-up frame at `rect` (screen coordinates) whose folder
    // tree starts from the project's name.
    BOOL Create(const RECT& rect, uint32_t state);
    uint32_t GetState() { return GetInitState(); }
    uint32_t GetInitState();
    void SetInitState(uint32_t state);
    uint8_t GetImageType() const { return static_cast<uint8_t>(m_state & 0xFF); }
    // 1 world-map files, 0 JPEG files (the manager's browser modes).
    void SetImageType(uint8_t type);
    void SetWorldMapFilter(bool worldMaps);
    void InitFolderTree(const char* startFolder);
    // The tray's drop at a point of the tray host.
    void LoadDroppedImages(POINT point);
    void NotifyDrop(POINT point);
    POINT GetLastDrop() const { return m_lastDrop; }

    CDirTree* GetDirTree() const { return m_tree; }
    CImgBoard* GetBoard() const { return m_board; }
    CSplitterWnd& GetSplitter() { return m_splitter; }

protected:
    BOOL OnCreateClient(LPCREATESTRUCT cs, CCreateContext* context) override;
    // Closing only hides the browser.
    void OnClose() override;
    // The manager keeps the placement for the next start and forgets it.
    void OnDestroy() override;

private:
    bool HasPanes() const { return m_tree && m_board && ::IsWindow(m_splitter.m_hWnd); }

    uint32_t m_state = kDefaultState;
    POINT m_lastDrop{-1, -1};
    CSplitterWnd m_splitter;
    CDirTree* m_tree = nullptr;
    CImgBoard* m_board = nullptr;
};

// The image browser's dialogs (227, 228), folder icons (101) and icon (229)
// in the application's resources.
void RegisterBrowserResources();

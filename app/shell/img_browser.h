// The image browser frame "Image Browser", in which the user finds
// photographs and brings them into the project. The manager creates, places,
// shows and hides it; the image browser issue fills in its folder tree and
// thumbnail board. Its packed state is the profile value "InitState":
// byte 0 image-type index, byte 1 view flags, byte 2 combo selection,
// byte 3 left pane width in percent.
#pragma once

#include "platform/win/frame_wnd.h"

#include <cstdint>

class CImgBrowser : public CFrameWnd {
public:
    static constexpr uint32_t kDefaultState = 33u << 24;  // list mode, JPEG files, a third

    // A visible pop-up frame at `rect` (screen coordinates).
    BOOL Create(const RECT& rect, uint32_t state);
    uint32_t GetState() const { return m_state; }
    uint8_t GetImageType() const { return static_cast<uint8_t>(m_state & 0xFF); }
    // 1 world-map files, 0 JPEG files.
    void SetImageType(uint8_t type) { m_state = (m_state & ~0xFFu) | type; }
    // A drop point handed on from the tray.
    void NotifyDrop(POINT point) { m_lastDrop = point; }
    POINT GetLastDrop() const { return m_lastDrop; }

protected:
    // The manager keeps the placement for the next start and forgets it.
    void OnDestroy() override;

private:
    uint32_t m_state = kDefaultState;
    POINT m_lastDrop{-1, -1};
};

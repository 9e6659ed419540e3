// Shared fixture of the viewer control's tests: the runtime's fixture on a
// manual clock, the control's module, a host window with the control in it,
// and panorama files (synthetic pictures through cjpeg, with the world-map
// descriptor in a comment segment).
#pragma once

#include "imaging/image.h"
#include "platform/win/message_queue.h"
#include "platform/win/system.h"
#include "platform/win/tests/win_test_fixture.h"
#include "platform/win/window_dc.h"
#include "testkit/testkit.h"
#include "viewer/lumivex/lumivex_ctrl.h"
#include "viewer/lumivex/lumivex_module.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace ctrltest {

using Bytes = testkit::Bytes;
using testkit::ReadBytes;
using testkit::WriteBytes;

// `jpeg` with a 22-byte world-map descriptor (equator width, column, row,
// map type 0) in a comment segment after the start marker, written to `out`.
inline std::string WithDescriptor(const std::string& jpeg, const std::string& out, int width, int column, int row)
{
    WriteBytes(out, testkit::WithJpegComment(ReadBytes(jpeg), testkit::PanoramaDescriptor(width, column, row, 0, "kqvz",
                                                                                          false, 0)));
    return out;
}

// A w x h picture: a colour ramp across, a second ramp down, a dark grid
// every 16 pixels (B, G, R).
inline Image* MakePicture(int w, int h)
{
    auto* image = new Image();
    if (image->BmpInit(w, h, 3) != 0) {
        ReleaseImage(image);
        return nullptr;
    }
    for (int y = 0; y < h; ++y) {
        uint8_t* row = image->GetData() + static_cast<size_t>(y) * static_cast<size_t>(image->GetRowByte());
        for (int x = 0; x < w; ++x) {
            const bool grid = x % 16 == 0 || y % 16 == 0;
            row[3 * x + 0] = grid ? 20 : static_cast<uint8_t>(40 + (x * 200) / std::max(1, w - 1));
            row[3 * x + 1] = grid ? 20 : static_cast<uint8_t>(40 + (y * 200) / std::max(1, h - 1));
            row[3 * x + 2] = grid ? 20 : static_cast<uint8_t>(128 + ((x / 16 + y / 16) % 2) * 100);
        }
    }
    return image;
}

// A JPEG of a w x h picture named `name` (cjpeg quality 95, `extra` options);
// with equatorWidth > 0 a panorama at (column, row) of a map of that width.
inline std::string MakeJpeg(const testkit::TempDir& dir, const std::string& name, int w, int h,
                            int equatorWidth = 0, int column = 0, int row = 0, const std::string& extra = "")
{
    Image* picture = MakePicture(w, h);
    if (!picture) return {};
    const std::string ppm = dir.file(name + ".ppm");
    const bool written = testkit::WritePnm(*picture, ppm);
    ReleaseImage(picture);
    if (!written) return {};
    const std::string plain = dir.file(name + ".plain.jpg");
    const testkit::CommandResult r =
        testkit::Run("cjpeg -quality 95 " + extra + " -outfile '" + plain + "' '" + ppm + "'");
    if (r.status != 0) return {};
    const std::string out = dir.file(name);
    if (equatorWidth > 0) return WithDescriptor(plain, out, equatorWidth, column, row);
    WriteBytes(out, ReadBytes(plain));
    return out;
}

// The host of the tests: a top-level window holding one control.
class HostWnd : public CWnd {};

}  // namespace ctrltest

class LumivexCtrlTest : public WinTest {
protected:
    using C = CLumivexCtrl;

    void SetUp() override
    {
        WinTest::SetUp();
        win::Clock::UseManual(true);
        win::SetScreenSize(1280, 1024);
        LumivexModule().InitInstance();
    }

    void TearDown() override
    {
        if (m_ctrl) {
            m_ctrl->worker->Stop();
            m_ctrl.reset();
        }
        if (m_host.m_hWnd) m_host.DestroyWindow();
        WinTest::TearDown();
    }

    // A control of w x h in a host window at (left, top) of the screen.
    CLumivexCtrl& Make(int w, int h, int left = 40, int top = 30)
    {
        if (!m_host.m_hWnd) {
            const RECT frame{left, top, left + w, top + h};
            EXPECT_TRUE(m_host.CreateEx(0, nullptr, "host", WS_POPUP | WS_VISIBLE, frame, nullptr, 0));
        }
        m_ctrl = std::make_unique<CLumivexCtrl>();
        EXPECT_TRUE(m_ctrl->CreateControl(&m_host, RECT{0, 0, w, h}, 1));
        win::PumpPendingMessages();
        return *m_ctrl;
    }

    // A control of w x h showing `file` after its first drawing.
    CLumivexCtrl& Show(const std::string& file, int w, int h, int mode = C::kWorldMapView, int speed = 0)
    {
        CLumivexCtrl& c = Make(w, h);
        c.LoadProperties({{"_Version", "65536"},
                          {"FileName", file},
                          {"Speed", std::to_string(speed)},
                          {"ViewMode", std::to_string(mode)}});
        c.Invalidate();
        win::PaintAll();
        win::PumpPendingMessages();
        return c;
    }

    LRESULT Post(UINT message, int x, int y, UINT keys = 0)
    {
        const LRESULT r = m_ctrl->SendMessage(message, keys, MAKEPOINTLPARAM(x, y));
        win::PumpPendingMessages();
        return r;
    }
    void Tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            win::Clock::Advance(C::kTimerMs);
            win::PumpPendingMessages();
        }
    }
    bool TimerSet() { return win::MessageQueue::Get().HasTimer(m_ctrl->m_hWnd, C::kTimerId); }
    void Command(UINT id) { m_ctrl->SendMessage(WM_COMMAND, id, 0); }
    // A point in the pan zone (near the destination's top-left corner).
    POINT PanPoint() { return POINT{m_ctrl->destX + 5, m_ctrl->destY + 5}; }
    UINT CursorId() { return win::CursorId(GetCursor()); }

    testkit::TempDir m_dir;
    ctrltest::HostWnd m_host;
    std::unique_ptr<CLumivexCtrl> m_ctrl;
};

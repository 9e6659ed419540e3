// A small program for the display test: the tour maker's dialog with one
// vista inside a main window, shown on an X display by the presenter, the
// same steps the test takes headless.
#include "imaging/image.h"
#include "platform/win/present_x11/x11_presenter.h"
#include "platform/win/runtime.h"
#include "platform/win/system.h"
#include "platform/win/wnd.h"
#include "tour/tessiv/i_tessiv.h"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: tessiv_show <program folder>\n");
        return 1;
    }
    win::InitRuntime();
    if (!win::X11Presenter::Start()) {
        std::fprintf(stderr, "tessiv_show: no X display is reachable\n");
        return 2;
    }
    CWnd frame;
    frame.CreateEx(0, nullptr, "Fendrake", WS_OVERLAPPED | WS_VISIBLE, RECT{0, 0, 1000, 700}, nullptr, 0);
    ITessiv* tessiv = CreateTessiv();
    tessiv->Open(argv[1], &frame, WM_USER + 1000);
    Image* thumb = new Image(96, 48, 3);
    thumb->Fill(90);
    tessiv->AddVista(thumb, "/pics/hall.jpg", TessivPanoramaValues{2, 4000, 2000, 4000, 0, 0});
    ReleaseImage(thumb);
    MSG msg;
    while (::GetMessage(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessage(&msg);
    }
    tessiv->Close();
    win::X11Presenter::Stop();
    return 0;
}

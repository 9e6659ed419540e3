#include "tour/tessiv/tessiv_resources.h"

#include "tour/tessiv/bench_wnd.h"

win::ResourceModule& TessivResources()
{
    win::ResourceModule& module = win::Resources::Module("Tessiv");
    if (!module.FindMenu(BenchWnd::kPopupMenu)) {
        win::MenuTemplate strip;
        strip.items.push_back(win::MenuItemTemplate(0, "TmbnailWndPopup", 0,
                                                    {
                                                        {BenchWnd::kMoveBeforeActive, "Move to befor active vista"},
                                                        {BenchWnd::kMoveAfterActive, "Move to after active vista"},
                                                        {BenchWnd::kMoveToLeft, "Move to Left"},
                                                        {BenchWnd::kMoveToRight, "Move to Right"},
                                                    }));
        module.AddMenu(BenchWnd::kPopupMenu, std::move(strip));
        module.AddCursor(BenchWnd::kOutsideCursor);
    }
    return module;
}

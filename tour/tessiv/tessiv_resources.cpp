#include "tour/tessiv/tessiv_resources.h"

#include "tour/tessiv/bench_wnd.h"
#include "tour/tessiv/tour_maker_dlg.h"

#include <initializer_list>

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
        AddTourMakerDialog(module);
    }
    return module;
}

namespace {

// A plain picture for a bitmap button: a grey face with a darker border.
void AddButtonPicture(win::ResourceModule& module, UINT id, int width, int height, int grey)
{
    Image* picture = new Image(width, height, 3);
    picture->Fill(grey);
    for (int x = 0; x < width; ++x)
        for (int y : {0, height - 1}) std::fill_n(picture->GetData() + y * picture->GetRowByte() + 3 * x, 3, 64);
    for (int y = 0; y < height; ++y)
        for (int x : {0, width - 1}) std::fill_n(picture->GetData() + y * picture->GetRowByte() + 3 * x, 3, 64);
    module.AddBitmap(id, picture);
    ReleaseImage(picture);
}

}  // namespace

void AddTourMakerDialog(win::ResourceModule& module)
{
    using win::ControlKind;
    using win::ControlTemplate;
    using D = PTourMakerDlg;
    module.AddIcon(128);
    for (UINT id : {295u, 296u, 297u, 298u, 299u, 300u, 301u, 302u})
        AddButtonPicture(module, id, 90, 30, id == 296 || id == 300 ? 160 : id % 2 ? 200 : 220);
    AddButtonPicture(module, 289, 28, 24, 210);
    AddButtonPicture(module, 290, 28, 24, 170);

    win::DialogTemplate d;
    d.id = D::kTemplateId;
    d.caption = "Create Virtual Tour";
    d.size = SIZE{864, 512};  // 576 x 315 dialog units of "MS Sans Serif" 8
    d.style = WS_CHILD | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    const UINT label = 0xFFFF;
    d.controls = {
        ControlTemplate(D::kTitle, ControlKind::Edit, RECT{20, 28, 320, 48}, "", WS_GROUP),
        ControlTemplate(D::kShowTitle, ControlKind::CheckBox, RECT{20, 50, 200, 66}, "Show in Web Page", WS_GROUP),
        ControlTemplate(D::kVistaFile, ControlKind::Static, RECT{20, 94, 320, 110}, "Vista file name:"),
        ControlTemplate(D::kVistaSize, ControlKind::Static, RECT{20, 112, 210, 128}, "Vista Size"),
        ControlTemplate(D::kInitialView, ControlKind::Static, RECT{20, 130, 210, 146}, "(H,V):"),
        ControlTemplate(D::kVistaLoad, ControlKind::OwnerDrawButton, RECT{220, 112, 310, 142}, "Load...", WS_GROUP),
        ControlTemplate(D::kStrip, ControlKind::StaticFrame, RECT{10, 184, 560, 331}),
        ControlTemplate(label, ControlKind::Static, RECT{350, 30, 388, 46}, "Width"),
        ControlTemplate(D::kPageWidth, ControlKind::Edit, RECT{390, 26, 446, 46}, "", WS_GROUP),
        ControlTemplate(label, ControlKind::Static, RECT{454, 30, 496, 46}, "Height"),
        ControlTemplate(D::kPageHeight, ControlKind::Edit, RECT{498, 26, 552, 46}, "", WS_GROUP),
        ControlTemplate(label, ControlKind::Static, RECT{350, 96, 436, 112}, "Spin speed"),
        ControlTemplate(D::kSpinSpeed, ControlKind::Edit, RECT{440, 94, 500, 114}, "", WS_GROUP),
        ControlTemplate(D::kTurnTime, ControlKind::Static, RECT{440, 118, 552, 134}, "15 second"),
        ControlTemplate(label, ControlKind::Static, RECT{350, 142, 436, 158}, "Field of view"),
        ControlTemplate(D::kFieldOfView, ControlKind::Edit, RECT{440, 140, 500, 160}, "", WS_GROUP),
        ControlTemplate(D::kSoundLoad, ControlKind::PushButton, RECT{20, 358, 100, 382}, "Load...", WS_GROUP),
        ControlTemplate(D::kSoundName, ControlKind::Static, RECT{110, 362, 320, 378}, "None"),
        ControlTemplate(D::kSoundPlay, ControlKind::PushButton, RECT{20, 388, 100, 412}, "play", WS_GROUP),
        ControlTemplate(D::kSoundUse, ControlKind::CheckBox, RECT{110, 392, 200, 408}, "use", WS_GROUP),
        ControlTemplate(D::kFolder, ControlKind::Edit, RECT{350, 358, 520, 378}, "", WS_GROUP),
        ControlTemplate(D::kPageFile, ControlKind::OwnerDrawButton, RECT{524, 356, 552, 380}, "...", WS_GROUP),
        ControlTemplate(D::kPageName, ControlKind::Edit, RECT{350, 384, 552, 404}, "", WS_GROUP),
        ControlTemplate(D::kHigh, ControlKind::RadioButton, RECT{350, 410, 410, 426}, "High", WS_GROUP),
        ControlTemplate(D::kMedium, ControlKind::RadioButton, RECT{414, 410, 484, 426}, "Medium"),
        ControlTemplate(D::kLow, ControlKind::RadioButton, RECT{488, 410, 552, 426}, "Low"),
        ControlTemplate(D::kViewerKind, ControlKind::ComboDropList, RECT{350, 430, 552, 450}, "", WS_GROUP),
        ControlTemplate(D::kPublish, ControlKind::OwnerDrawButton, RECT{350, 456, 440, 486}, "publish", WS_GROUP),
        ControlTemplate(D::kProgress, ControlKind::Progress, RECT{350, 462, 440, 480}),
        ControlTemplate(D::kPreview, ControlKind::PushButton, RECT{450, 456, 552, 486}, "Preview", WS_GROUP),
        ControlTemplate(label, ControlKind::Static, RECT{580, 30, 656, 46}, "Tour Title"),
        ControlTemplate(D::kTitleColor, ControlKind::OwnerDrawButton, RECT{660, 26, 700, 46}, "...", WS_GROUP),
        ControlTemplate(D::kTitleFont, ControlKind::PushButton, RECT{710, 26, 780, 46}, "Font...", WS_GROUP),
        ControlTemplate(label, ControlKind::Static, RECT{580, 54, 656, 70}, "Control Bar"),
        ControlTemplate(D::kBarColor, ControlKind::OwnerDrawButton, RECT{660, 50, 700, 70}, "...", WS_GROUP),
        ControlTemplate(D::kNoColor, ControlKind::CheckBox, RECT{710, 52, 800, 68}, "no color", WS_GROUP),
        ControlTemplate(label, ControlKind::Static, RECT{580, 78, 656, 94}, "Page Background"),
        ControlTemplate(D::kPageColor, ControlKind::OwnerDrawButton, RECT{660, 74, 700, 94}, "...", WS_GROUP),
        ControlTemplate(D::kPreviewFrame, ControlKind::StaticFrame, RECT{570, 130, 854, 330}),
        ControlTemplate(D::kSaveConfig, ControlKind::PushButton, RECT{570, 440, 720, 466}, "Save Configuration",
                        WS_GROUP),
        ControlTemplate(D::kDone, ControlKind::PushButton, RECT{730, 440, 854, 466}, "Done", WS_GROUP),
        ControlTemplate(label, ControlKind::GroupBox, RECT{10, 8, 330, 70}, "Tour title"),
        ControlTemplate(label, ControlKind::GroupBox, RECT{10, 76, 330, 176}, "Vista"),
        ControlTemplate(label, ControlKind::GroupBox, RECT{340, 8, 560, 70}, "Viewer"),
        ControlTemplate(label, ControlKind::GroupBox, RECT{340, 76, 560, 176}, "Initial Behavior"),
        ControlTemplate(label, ControlKind::GroupBox, RECT{10, 340, 330, 420}, "Tour Sound"),
        ControlTemplate(label, ControlKind::GroupBox, RECT{340, 340, 560, 500}, "Publish"),
        ControlTemplate(label, ControlKind::GroupBox, RECT{570, 8, 854, 120}, "Colors / Fonts"),
    };
    module.AddDialog(std::move(d));
}

// The image browser's resources: the folder tree form (dialog 227), the
// thumbnail board form (dialog 228), the folder icon strip (bitmap 101:
// a closed and an open folder, 16 x 16 each) and the browser icon (229).
#include "app/shell/dir_tree.h"
#include "app/shell/img_board.h"
#include "app/shell/img_browser.h"
#include "imaging/image.h"
#include "platform/win/resources.h"

namespace {

using win::ControlKind;
using win::ControlTemplate;

// Two folder pictures on white (the strip's transparent colour): a yellow
// folder, the open one with a lighter front flap.
Image* MakeFolderIcons()
{
    auto* strip = new Image(32, 16, 3);
    unsigned char* data = strip->GetData();
    const size_t rowBytes = static_cast<size_t>(strip->GetRowByte());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const int local = x % 16;
            const bool open = x >= 16;
            const bool tab = y >= 2 && y < 4 && local >= 1 && local < 7;
            const bool body = y >= 4 && y < 14 && local >= 1 && local < 15;
            const bool flap = open && y >= 8 && y < 14 && local >= 3 && local < 15;
            unsigned char* p = data + y * rowBytes + static_cast<size_t>(x) * 3;
            unsigned char b = 255, g = 255, r = 255;  // B, G, R
            if (tab || body) {
                b = 40;
                g = 190;
                r = 230;
            }
            if (flap) {
                b = 120;
                g = 230;
                r = 250;
            }
            p[0] = b;
            p[1] = g;
            p[2] = r;
        }
    return strip;
}

}  // namespace

void RegisterBrowserResources()
{
    win::ResourceModule& app = win::Resources::App();
    win::DialogTemplate tree;
    tree.id = CDirTree::kDialogId;
    tree.style = WS_CHILD;
    tree.size = SIZE{180, 300};
    tree.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{5, 5, 80, 18}, "Image Type"),
        ControlTemplate(CDirTree::kTypeCombo, ControlKind::ComboDropList, RECT{5, 20, 175, 41}),
        ControlTemplate(CDirTree::kTree, ControlKind::TreeView, RECT{5, 45, 175, 230}, "Tree1",
                        TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | WS_BORDER),
        ControlTemplate(CDirTree::kLoadSelections, ControlKind::PushButton, RECT{5, 235, 175, 256}, "Load Selections"),
        ControlTemplate(CDirTree::kHelp, ControlKind::PushButton, RECT{5, 260, 26, 281}, "?"),
        ControlTemplate(CDirTree::kThumbnailCheck, ControlKind::CheckBox, RECT{31, 260, 101, 281}, "Thumbnail"),
        ControlTemplate(CDirTree::kNameCheck, ControlKind::CheckBox, RECT{116, 260, 166, 281}, "Name"),
    };
    app.AddDialog(std::move(tree));

    win::DialogTemplate board;
    board.id = CImgBoard::kDialogId;
    board.style = WS_CHILD;
    board.size = SIZE{300, 300};
    board.controls = {
        ControlTemplate(CImgBoard::kPreview, ControlKind::StaticFrame, RECT{152, 75, 298, 225}, "", SS_NOTIFY),
        ControlTemplate(CImgBoard::kFileList, ControlKind::ListBoxExtended, RECT{0, 0, 146, 300}, "", LBS_NOTIFY),
    };
    app.AddDialog(std::move(board));

    Image* icons = MakeFolderIcons();
    app.AddBitmap(CDirTree::kFolderIcons, icons);
    ReleaseImage(icons);
    app.AddIcon(CImgBrowser::kIcon);
}

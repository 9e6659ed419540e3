// The prompter of a program shown on a display: message boxes, file and
// print questions and popup menus become small dialogs of the runtime that
// the presenter shows and the user answers; a drag ends where the user
// releases the button. The X11 presenter installs it while it runs.
#pragma once

#include "platform/win/prompter.h"

#include <utility>
#include <vector>

namespace win {

class InteractivePrompter : public Prompter {
public:
    int MessageBox(const MessageBoxRequest& request) override;
    FileDialogAnswer FileDialog(const FileDialogRequest& request) override;
    PageSetupAnswer PageSetup(const PageSetupRequest& request) override;
    PrintAnswer Print(const PrintRequest& request) override;
    UINT PopupMenu(const PopupMenuRequest& request) override;
    DropAnswer DragDrop(const DragDropRequest& request) override;
    // A modal dialog on a display waits for its user.
    bool DriveModal(CDialog&) override { return true; }
};

// The dialog template a message box is shown with (for tests): the text's
// lines, then one button per answer the type offers.
struct MessageBoxLayout {
    int width = 0;
    int height = 0;
    std::vector<std::pair<int, RECT>> buttons;  // id and place
};
MessageBoxLayout LayoutMessageBox(const MessageBoxRequest& request);

}  // namespace win

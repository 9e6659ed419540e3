// The one interface through which the program asks the user anything:
// message boxes (also the dialog data-validation range messages), file
// dialogs, the page-setup and print dialogs, popup menus, the drop point of
// a drag, and the user's actions in modal dialogs. The headless
// ScriptedPrompter answers from a script and reports anything unscripted as
// a failure, so that a test fails on an unexpected question.
#pragma once

#include "platform/win/win_defs.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CDialog;

namespace win {

struct MessageBoxRequest {
    std::string text;
    std::string caption;
    UINT type = MB_OK;
};

struct FileDialogRequest {
    bool open = true;
    std::string title;
    std::string filter;  // "Name|*.a;*.b|Name|*.c||" pairs
    int filterIndex = 1;
    std::string initialDir;
    std::string fileName;
    std::string defaultExt;
    DWORD flags = 0;
    // Non-empty: the chooser stays in this folder and its answer must lie
    // directly in it.
    std::string lockedFolder;
};
struct FileDialogAnswer {
    bool ok = false;
    std::vector<std::string> paths;
    int filterIndex = 1;
};
// Whether `path` lies directly in the request's locked folder (true when
// the request locks none).
bool InLockedFolder(const FileDialogRequest& request, const std::string& path);

// Sizes in thousandths of an inch.
struct PageSetupRequest {
    POINT paperSize{8500, 11000};
    RECT margins{};
    RECT minMargins{};
    DWORD flags = 0;
};
struct PageSetupAnswer {
    bool ok = false;
    POINT paperSize{8500, 11000};
    RECT margins{1000, 1000, 1000, 1000};
    RECT minMargins{250, 250, 250, 250};
};

struct PrintRequest {
    int minPage = 1;
    int maxPage = 1;
    DWORD flags = 0;
};
struct PrintAnswer {
    bool ok = false;
    std::string outputPath;  // the PDF the printer writes
    int fromPage = 1;
    int toPage = 0xFFFF;
    int dotsPerInch = 300;
    // Paper and the printer's unprintable border, thousandths of an inch.
    POINT paperSize{8500, 11000};
    RECT minMargins{250, 250, 250, 250};
};

struct PopupMenuItem {
    UINT id = 0;
    std::string text;
    bool enabled = true;
    bool checked = false;
};
struct PopupMenuRequest {
    std::vector<PopupMenuItem> items;  // command items in menu order, submenus flattened
    POINT screenPoint{};
};

struct DragDropRequest {
    HWND source = nullptr;
    std::vector<UINT> formats;
    std::string text;  // the CF_TEXT data, when offered
    DROPEFFECT allowed = DROPEFFECT_NONE;
};
struct DropAnswer {
    bool drop = false;
    HWND target = nullptr;
    POINT clientPoint{};  // in the target's client coordinates
    UINT keyState = 0;    // MK_CONTROL, MK_SHIFT
};

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual int MessageBox(const MessageBoxRequest& request) = 0;
    virtual FileDialogAnswer FileDialog(const FileDialogRequest& request) = 0;
    virtual PageSetupAnswer PageSetup(const PageSetupRequest& request) = 0;
    virtual PrintAnswer Print(const PrintRequest& request) = 0;
    // The chosen command, 0 when the menu was dismissed.
    virtual UINT PopupMenu(const PopupMenuRequest& request) = 0;
    virtual DropAnswer DragDrop(const DragDropRequest& request) = 0;
    // A modal dialog's loop has nothing left to do: act on the dialog (set
    // controls, press buttons). False when nothing is planned for it; the
    // loop then ends the dialog with IDCANCEL.
    virtual bool DriveModal(CDialog& dialog) = 0;
};

// The program's prompter; null restores the default, which logs every
// question as an error and gives the safe answer (Cancel, No, dismissed).
Prompter& GetPrompter();
void SetPrompter(Prompter* prompter);
// The prompter set by SetPrompter, null while the default answers.
Prompter* InstalledPrompter();

class ScriptedPrompter : public Prompter {
public:
    using Failure = std::function<void(const std::string& what)>;
    explicit ScriptedPrompter(Failure onUnscripted);

    // Expectations are answered in order, one queue per kind of question.
    ScriptedPrompter& ExpectMessageBox(std::string text, int answer);
    ScriptedPrompter& ExpectMessageBoxPrefix(std::string prefix, int answer);
    ScriptedPrompter& ExpectFileDialog(std::string title, FileDialogAnswer answer);
    ScriptedPrompter& ExpectPageSetup(PageSetupAnswer answer);
    ScriptedPrompter& ExpectPrint(PrintAnswer answer);
    ScriptedPrompter& ExpectPopupMenu(UINT choice);
    ScriptedPrompter& ExpectDrop(DropAnswer answer);
    // One step of the user in the modal dialog made from `templateId`; a
    // dialog may take several steps, each after the loop went idle.
    ScriptedPrompter& ExpectDialog(UINT templateId, std::function<void(CDialog&)> step);

    // What was asked, in order (message boxes and file dialogs).
    std::vector<MessageBoxRequest> MessageBoxes() const;
    std::vector<FileDialogRequest> FileDialogs() const;
    std::vector<PopupMenuRequest> PopupMenus() const;
    std::vector<DragDropRequest> Drags() const;
    // Expectations not used yet, described.
    std::vector<std::string> Unused() const;

    int MessageBox(const MessageBoxRequest& request) override;
    FileDialogAnswer FileDialog(const FileDialogRequest& request) override;
    PageSetupAnswer PageSetup(const PageSetupRequest& request) override;
    PrintAnswer Print(const PrintRequest& request) override;
    UINT PopupMenu(const PopupMenuRequest& request) override;
    DropAnswer DragDrop(const DragDropRequest& request) override;
    bool DriveModal(CDialog& dialog) override;

private:
    struct MessageBoxEntry {
        std::string text;
        bool prefix;
        int answer;
    };
    struct DialogStep {
        UINT templateId;
        std::function<void(CDialog&)> step;
    };
    void Fail(const std::string& what);

    Failure m_onUnscripted;
    mutable std::mutex m_lock;
    std::deque<MessageBoxEntry> m_messageBoxes;
    std::deque<std::pair<std::string, FileDialogAnswer>> m_fileDialogs;
    std::deque<PageSetupAnswer> m_pageSetups;
    std::deque<PrintAnswer> m_prints;
    std::deque<UINT> m_popupMenus;
    std::deque<DropAnswer> m_drops;
    std::deque<DialogStep> m_dialogSteps;
    std::vector<MessageBoxRequest> m_askedBoxes;
    std::vector<FileDialogRequest> m_askedFiles;
    std::vector<PopupMenuRequest> m_askedMenus;
    std::vector<DragDropRequest> m_askedDrags;
};

// The safe answer to a message box nobody scripted: Cancel when offered,
// else No, else OK.
int SafeMessageBoxAnswer(UINT type);

// The page-setup dialog's flags the program uses: margins given in the
// request, and the default printer's page answered without a dialog.
constexpr DWORD PSD_MARGINS = 0x00000002;
constexpr DWORD PSD_RETURNDEFAULT = 0x00000400;

// The default printer's page (Letter, 1-inch margins, a quarter inch it
// cannot print on until set otherwise); SetDefaultPrinterPage stands in for
// the system's printer choice.
PageSetupAnswer GetDefaultPrinterPage();
void SetDefaultPrinterPage(const PageSetupAnswer& page);
// The page-setup dialog: with PSD_RETURNDEFAULT no dialog opens and the
// answer is the default printer's page (the request's margins with
// PSD_MARGINS when it gives any); otherwise the prompter asks.
PageSetupAnswer RunPageSetup(const PageSetupRequest& request);

}  // namespace win

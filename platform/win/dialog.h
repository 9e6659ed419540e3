// Dialogs made from the dialog templates of the resources: modal ones with
// their own nested message loop (the owner disabled meanwhile) and modeless
// ones, with OnInitDialog, OnOK/OnCancel, EndDialog and UpdateData over the
// data exchange of data_exchange.h. In a headless run the prompter plays
// the user of a modal dialog whenever its loop has nothing else to do.
#pragma once

#include "platform/win/resources.h"
#include "platform/win/wnd.h"

class CDataExchange;

class CDialog : public CWnd {
public:
    CDialog();
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);

    // Modeless: creates the window (shown when the template has WS_VISIBLE).
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    // Modal: runs until EndDialog; the result given to EndDialog, -1 when
    // the dialog could not be made.
    virtual INT_PTR DoModal();
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // Closing a dialog's window is its Cancel (IDCANCEL), as Escape is.
    void OnClose() override;
    // Moves data between controls and members; false when a value failed
    // its check (the dialog stays open, the control has the focus).
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange* dx);

    UINT GetTemplateId() const { return m_templateId; }
    bool IsModal() const { return m_modal; }
    bool HasEnded() const { return m_ended; }
    int GetModalResult() const { return m_modalResult; }
    void SetDefID(UINT id) { m_defaultId = id; }
    DWORD GetDefID() const;
    void GotoDlgCtrl(CWnd* control);
    void NextDlgCtrl();
    void PrevDlgCtrl();

    const win::MessageMap* GetMessageMap() const override;
    BOOL PreTranslateMessage(MSG* msg) override;

    CWnd* m_pParentWnd = nullptr;

protected:
    // Creates the window and its controls from the template and sends
    // WM_INITDIALOG.
    BOOL CreateFromTemplate(const win::DialogTemplate& t, CWnd* parent, bool modal);
    LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
    UINT m_templateId = 0;

private:
    void OnOKCommand() { OnOK(); }
    void OnCancelCommand() { OnCancel(); }
    bool m_modal = false;
    bool m_ended = false;
    int m_modalResult = -1;
    UINT m_defaultId = 0;
};

namespace win {

// Creates the controls of a template as children of `parent` (dialogs,
// dialog bars and form views share it). False when a control failed.
bool CreateTemplateControls(const DialogTemplate& t, CWnd* parent);
// The window class and style of a control kind.
const char* ControlClassName(const ControlTemplate& c);
DWORD ControlStyle(const ControlTemplate& c);

// True while the loop should wait for real input instead of asking the
// prompter (the presenter shows the program on a display).
void SetInteractive(bool interactive);
bool IsInteractive();

}  // namespace win

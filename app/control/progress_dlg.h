// The one modeless progress dialog of long operations (stitch runs, express
// stitching, blending, the outside matcher), reached only through the five
// free functions below; callers never hold the dialog.
//
// Threads: the dialog is made, stepped, labelled and deleted on the
// user-interface thread. Workers may call every function but Open and
// Close: their calls are sent to the user-interface thread, which looks the
// dialog up there, and the cancelled state lives outside the dialog, read
// atomically, so that a dialog closed and deleted meanwhile is never touched.
#pragma once

#include "platform/win/dialog.h"

class CProgressCtrl;

class CProgressDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 297;
    static constexpr UINT kCancelId = 1310;
    static constexpr UINT kBarId = 1311;
    static constexpr UINT kTextId = 1312;

    CProgressDlg() : CDialog(kTemplateId) {}
    // False when Cancel had already been pressed in this dialog.
    bool Setup(int position, int range, bool showCancel);
    bool Step();
    void SetText(const char* text);
    CProgressCtrl* GetBar() const;

    const win::MessageMap* GetMessageMap() const override;

protected:
    // The Cancel button only marks the run cancelled; the owner closes.
    void OnCancel() override;
    void OnCancelButton() { OnCancel(); }
    LRESULT OnWorkerStep(WPARAM, LPARAM);
    LRESULT OnWorkerText(WPARAM, LPARAM);
};

bool OpenProgressDialog(int position, int range, bool showCancel);
void CloseProgressDialog();
bool StepProgressDialog();
void SetProgressText(const char* text);
bool IsProgressCancelled();
// The open dialog (user-interface thread), or null.
CProgressDlg* GetProgressDialog();
// Marks an open dialog's run cancelled, as its Cancel button does.
void CancelProgress();

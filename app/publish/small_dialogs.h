// The Publish menu's two small dialogs: "E-mail Panorama" (215), which
// names the files to attach and puts viewing instructions on the clipboard,
// and the modeless "Set as Screen Saver: Tips" note (244).
#pragma once

#include "platform/win/dialog.h"

#include <string>

class CEmailPanoramaDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 215;
    static constexpr UINT kPanoramaText = 1152;
    static constexpr UINT kLocationText = 1153;
    static constexpr UINT kPrepareButton = 1154;

    CEmailPanoramaDlg(const char* panoramaPath, CWnd* parent = nullptr);

    // The recipient's instructions, line-feed separated, ending in one.
    static const std::string& InstructionText();
    // Replaces the clipboard's contents with the instructions as text;
    // false when the clipboard could not be opened or the block made.
    bool PutInstructionsOnClipboard();

    void DoDataExchange(CDataExchange* dx) override;
    const win::MessageMap* GetMessageMap() const override;

    std::string m_panoramaPath;  // at most 128 characters
    std::string m_location;      // at most 128 characters

protected:
    void OnPrepare() { PutInstructionsOnClipboard(); }
};

class CScreenSaverTipsDlg : public CDialog {
public:
    static constexpr UINT kTemplateId = 244;
    static constexpr UINT kDontShowCheck = 1257;

    explicit CScreenSaverTipsDlg(CWnd* parent = nullptr) : CDialog(kTemplateId, parent) {}

    bool IsDontShowChecked() const;
    // Closing: a checked box turns the note off for good (the configuration
    // is written back at exit); the manager forgets the note, which then
    // deletes itself.
    void OnCancel() override;
    void OnOK() override { OnCancel(); }

    bool m_dontShow = false;
};

// Adds both dialogs' templates to the program's resources when missing.
void RegisterPublishDialogs();

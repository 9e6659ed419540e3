// The viewer program's application object: start-up with the command line
// ("-m" mode, "-s" spin speed), the one single-document template and its
// server registration, the File Open dialog, and stepping through the
// images of the open file's folder.
#pragma once

#include "imaging/list.h"
#include "platform/win/ole_server.h"
#include "platform/win/win_app.h"
#include "viewer/vistrel/vistrel_view.h"

#include <string>

class CVistrelApp : public CWinApp, public VistrelStartOptions {
public:
    CVistrelApp();
    ~CVistrelApp() override;
    CVistrelApp(const CVistrelApp&) = delete;
    CVistrelApp& operator=(const CVistrelApp&) = delete;

    BOOL InitInstance() override;
    int ExitInstance() override;
    // Opens the document, then builds the folder list for the path.
    CDocument* OpenDocumentFile(const char* path) override;

    // Reads "-m" and "-s" from the third argument on; a switch without a
    // value after it is ignored.
    void ScanSwitches();
    // The folder list for `path` (see the .cpp for the rules).
    void BuildFolderList(const char* path);
    // The name at `index` of the folder list (null outside it).
    const char* FolderFile(int index) const;
    int FolderCount() const { return folderFiles ? folderFiles->m_count : 0; }

    int StartMode() const override { return startMode; }
    int SpinSpeed() const override { return spinSpeed; }

    // Commands.
    void OnVistrelFileOpen();
    void OnNextImage();
    void OnPrevImage();
    void OnUpdateStepImage(CCmdUI* ui);
    void OnVistrelHelp();
    void OnAppAbout();
    void OnWebLink(UINT id);

    const win::MessageMap* GetMessageMap() const override;

    int filterIndex = 1;
    int folderIndex = -1;
    List* folderFiles = nullptr;  // owns its names (malloc'd strings)
    std::string folderPath;       // with its trailing separator
    int startMode = 0;            // 0 none, 1 perspective, 2 panorama
    int spinSpeed = 0;
    COleTemplateServer server;
    const CRuntimeClass* inPlaceFrameClass = nullptr;
    bool embedded = false;        // started to serve an embedded object or for automation

    // The class identifier of the viewer's embedded object.
    static constexpr const char* kClsid = "{5A3C2E70-1B9D-4F61-9C0E-7D2B8A41E6F3}";

protected:
    // OLE start-up; the runtime's stand-in always succeeds.
    virtual BOOL StartOle();

private:
    void StepImage(int direction);
    void FreeFolderList();
};

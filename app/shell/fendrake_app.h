// The application object of Fendrake: start-up, the five document
// templates, the File and Help commands no frame handles, the files given on
// the command line or picked in the recent-file list, and the topics of the
// compiled help file. All project work goes to the one SuperManager, which
// the main frame creates.
#pragma once

#include "platform/win/doc_view.h"
#include "platform/win/win_app.h"

#include <string>

class CFendrakeDoc : public CDocument {
public:
    BOOL OnNewDocument() override { return CDocument::OnNewDocument(); }
};

class CFendrakeView : public CView {
public:
    void OnDraw(CDC*) override {}
    BOOL OnPreparePrinting(CPrintInfo* info) override { return DoPreparePrinting(info); }
};

class CFendrakeApp : public CWinApp {
public:
    CFendrakeApp();

    BOOL InitInstance() override;
    // Nonzero on success: the document of the window it opened, or the
    // application's project document for a project; null on failure.
    CDocument* OpenDocumentFile(const char* path) override;
    void WinHelp(DWORD_PTR data, UINT command = HELP_CONTEXT) override;

    void OnFileSave();
    void OnFileSaveAs();
    void OnOpenImage();
    // The maker's web site with `path` appended (nothing when null).
    void OpenWebPage(const char* path);
    void ShowHelpTopic(const char* topic);

    // The folder of the running program (no trailing separator) and its
    // parent. Files that lie beside the program are found here.
    static std::string GetProgramDir();
    static std::string GetProgramParentDir();
    // Points the program folder elsewhere (tests, or an installed layout).
    static void SetProgramDir(const std::string& folder);
    // How long the splash stays up during start-up, in milliseconds.
    static void SetSplashTime(DWORD ms);

    CDocTemplate* GetPairMarkerTemplate() const { return m_pairMarkerTemplate; }
    CDocTemplate* GetPanoramaTemplate() const { return m_panoramaTemplate; }
    CDocTemplate* GetImageTemplate() const { return m_imageTemplate; }
    CDocTemplate* GetOverlapTemplate() const { return m_overlapTemplate; }
    int GetImageFilterIndex() const { return m_imageFilterIndex; }

    const win::MessageMap* GetMessageMap() const override;

protected:
    void OnAppAbout();
    void OnNewProject();
    void OnOpenProject();
    void OnLoadImagesToPellicot();
    void OnTutorial();
    void OnLaunchHelpManual();
    void OnUpdateNeedsProjectName(CCmdUI* ui);

private:
    void RegisterTemplates();

    CDocTemplate* m_pairMarkerTemplate = nullptr;
    CDocTemplate* m_panoramaTemplate = nullptr;
    CDocTemplate* m_imageTemplate = nullptr;
    CDocTemplate* m_overlapTemplate = nullptr;
    int32_t m_imageFilterIndex = 1;
    CFendrakeDoc m_projectDoc;
};

CFendrakeApp* GetFendrakeApp();

// The HTML Help entry point, loaded once: the registry's in-process server
// of the help control, else "hhctrl.ocx"; a failure is remembered and every
// later call answers 0 without trying again.
HWND HtmlHelpA(HWND caller, const char* file, UINT command, DWORD_PTR data);
// How often the loader tried to load the help library (at most once).
int HtmlHelpLoadAttempts();
constexpr UINT HH_DISPLAY_TOPIC = 0x0000;
constexpr UINT HH_CLOSE_ALL = 0x0012;

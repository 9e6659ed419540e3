// The application object: start-up (InitInstance), the main message loop
// with idle processing, the document templates, the per-user profile with
// the recent-file list, the command line, and the File and Help commands
// that no frame handles. AfxWinMain runs the program's one application
// object.
#pragma once

#include "platform/win/cmd_target.h"
#include "platform/win/wnd.h"

#include <string>
#include <vector>

class CDocTemplate;
class CDocument;

class CCommandLineInfo {
public:
    enum { FileNew, FileOpen, FilePrint, FilePrintTo, FileDDE, AppUnregister, FileNothing = -1 };
    virtual ~CCommandLineInfo() = default;
    // One argument: flag is true for "-x" or "/x" switches (param without
    // the switch character); last is true for the last argument.
    virtual void ParseParam(const char* param, BOOL flag, BOOL last);

    int m_nShellCommand = FileNew;
    std::string m_strFileName;
    BOOL m_bRunEmbedded = FALSE;
    BOOL m_bRunAutomated = FALSE;
    BOOL m_bShowSplash = TRUE;
};

// The most recently used files, newest first, kept in the profile section
// "Recent File List" as "File1" ... "FileN"; written through at every change.
class CRecentFileList {
public:
    CRecentFileList(UINT startId, const char* section, const char* entryFormat, int size);
    void Add(const char* path);
    void Remove(int index);
    int GetSize() const { return m_size; }
    int GetCount() const { return static_cast<int>(m_paths.size()); }
    const std::string& operator[](int index) const;
    void ReadList();
    void WriteList();
    // Fills the menu items from the first recent-file command on.
    void UpdateMenu(CCmdUI* ui);
    UINT StartId() const { return m_startId; }

private:
    UINT m_startId;
    std::string m_section;
    std::string m_entryFormat;
    int m_size;
    std::vector<std::string> m_paths;
};

class CWinApp : public CCmdTarget {
public:
    // The program's one application object registers itself here.
    explicit CWinApp(const char* appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    virtual int ExitInstance();
    // The main message loop: until WM_QUIT, with idle processing whenever
    // the queue is empty.
    virtual int Run();
    virtual BOOL OnIdle(LONG count);
    virtual BOOL PreTranslateMessage(MSG* msg);

    CWnd* m_pMainWnd = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;
    std::string m_pszAppName;
    std::string m_pszExeName;
    std::string m_pszRegistryKey;
    std::string m_pszProfileName;
    std::string m_lpCmdLine;
    std::vector<std::string> m_args;  // the command line, the program first
    CRecentFileList* m_pRecentFileList = nullptr;

    // Profile.
    void SetRegistryKey(const char* key);
    void LoadStdProfileSettings(UINT maxRecent = 4);
    UINT GetProfileInt(const char* section, const char* entry, int defaultValue);
    std::string GetProfileString(const char* section, const char* entry, const char* defaultValue = "");
    BOOL WriteProfileInt(const char* section, const char* entry, int value);
    BOOL WriteProfileString(const char* section, const char* entry, const char* value);
    BOOL GetProfileBinary(const char* section, const char* entry, std::vector<BYTE>& data);
    BOOL WriteProfileBinary(const char* section, const char* entry, const BYTE* data, UINT size);

    // Documents.
    void AddDocTemplate(CDocTemplate* docTemplate);
    const std::vector<CDocTemplate*>& GetDocTemplates() const { return m_templates; }
    virtual CDocument* OpenDocumentFile(const char* path);
    virtual void AddToRecentFileList(const char* path);
    BOOL SaveAllModified();
    void CloseAllDocuments(BOOL endSession);

    // Command line and shell.
    void ParseCommandLine(CCommandLineInfo& info);
    BOOL ProcessShellCommand(CCommandLineInfo& info);
    void EnableShellOpen() {}
    // Shell registration has no counterpart here; it succeeds.
    void RegisterShellFileTypes(BOOL compatible = FALSE) { (void)compatible; }
    void UnregisterShellFileTypes() {}
    BOOL Enable3dControls() { return TRUE; }

    HCURSOR LoadCursor(UINT resourceId) const;
    HCURSOR LoadStandardCursor(UINT idc) const;
    HICON LoadIcon(UINT resourceId) const;
    virtual void WinHelp(DWORD_PTR data, UINT command = HELP_CONTEXT);
    void DoWaitCursor(int code);

    // Page setup defaults kept for the program (thousandths of an inch).
    POINT m_paperSize{8500, 11000};

    BOOL OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info) override;
    const win::MessageMap* GetMessageMap() const override;

    // Standard command handlers.
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnAppExit();
    void OnHelp();
    void OnOpenRecentFile(UINT id);
    void OnUpdateRecentFileMenu(CCmdUI* ui);

private:
    std::vector<CDocTemplate*> m_templates;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The module's instance handle (one per program).
HINSTANCE AfxGetInstanceHandle();
BOOL AfxOleInit();
void AfxEnableControlContainer();

// Runs the application object: command line, InitInstance, the message loop
// and ExitInstance (workers are joined at the end). The exit code.
int AfxWinMain(int argc, char** argv);

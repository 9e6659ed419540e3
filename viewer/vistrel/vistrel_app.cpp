#include "viewer/vistrel/vistrel_app.h"

#include "core/logger.h"
#include "platform/win/file_system.h"
#include "platform/win/prompter.h"
#include "platform/win/registry_file.h"
#include "platform/win/shell.h"
#include "viewer/engine/panorama_reader.h"
#include "viewer/vistrel/main_frame.h"
#include "viewer/vistrel/vistrel_dialogs.h"
#include "viewer/vistrel/vistrel_doc.h"
#include "viewer/vistrel/vistrel_resources.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

// "/Embedding" and "/Automation" are switches here too (elsewhere a leading
// slash starts a path).
class CVistrelCommandLineInfo : public CCommandLineInfo {
public:
    void ParseParam(const char* param, BOOL flag, BOOL last) override
    {
        if (!flag && param && param[0] == '/' &&
            (strcasecmp(param + 1, "Embedding") == 0 || strcasecmp(param + 1, "Automation") == 0)) {
            CCommandLineInfo::ParseParam(param + 1, TRUE, last);
            return;
        }
        CCommandLineInfo::ParseParam(param, flag, last);
    }
};

void FreeName(void* name)
{
    std::free(name);
}

constexpr DWORD kHideReadOnly = 0x4;  // the open dialog without its read-only box
constexpr UINT kOpenNext = 32796;
constexpr UINT kOpenPrevious = 32797;

}  // namespace

CVistrelApp::CVistrelApp() : CWinApp("Vistrel") {}

CVistrelApp::~CVistrelApp()
{
    FreeFolderList();
}

const win::MessageMap* CVistrelApp::GetMessageMap() const
{
    static const win::MessageMap map(CWinApp::GetMessageMap(), {
        win::on::Command(57601, &CVistrelApp::OnVistrelFileOpen),
        win::on::Command(kOpenNext, &CVistrelApp::OnNextImage),
        win::on::Command(kOpenPrevious, &CVistrelApp::OnPrevImage),
        win::on::UpdateUI(kOpenNext, &CVistrelApp::OnUpdateStepImage),
        win::on::UpdateUI(kOpenPrevious, &CVistrelApp::OnUpdateStepImage),
        win::on::Command(57670, &CVistrelApp::OnVistrelHelp),
        win::on::Command(57664, &CVistrelApp::OnAppAbout),
        win::on::CommandRange(32791, 32795, &CVistrelApp::OnWebLink),
    });
    return &map;
}

BOOL CVistrelApp::StartOle()
{
    return AfxOleInit();
}

BOOL CVistrelApp::InitInstance()
{
    RegisterVistrelResources();
    if (!StartOle()) {
        AfxMessageBox(100);
        return FALSE;
    }
    AfxEnableControlContainer();
    Enable3dControls();
    SetRegistryKey("Quorvane");
    LoadStdProfileSettings(10);

    auto* docTemplate = new CSingleDocTemplate(128, win::ClassOf<CVistrelDoc>(), win::ClassOf<CMainFrame>(),
                                               win::ClassOf<CVistrelView>());
    inPlaceFrameClass = win::ClassOf<CInPlaceFrame>();
    AddDocTemplate(docTemplate);
    server.ConnectTemplate(kClsid, docTemplate, false);
    EnableShellOpen();
    const std::string program = m_args.empty() ? std::string("Vistrel") : m_args[0];
    win::RegisterShellFileType(*docTemplate, program);

    CVistrelCommandLineInfo command;
    ParseCommandLine(command);
    ScanSwitches();

    if (command.m_bRunEmbedded || command.m_bRunAutomated) {
        embedded = true;
        server.RegisterAll();
        return TRUE;
    }
    server.UpdateRegistry(COleTemplateServer::Registration::InPlaceServer, program);
    if (!ProcessShellCommand(command)) {
        // The file could not be shown: the program still starts, empty.
        if (!m_pMainWnd) OnFileNew();
    }
    if (!m_pMainWnd) return FALSE;
    m_pMainWnd->ShowWindow(SW_SHOW);
    m_pMainWnd->UpdateWindow();
    m_pMainWnd->DragAcceptFiles(TRUE);
    return TRUE;
}

int CVistrelApp::ExitInstance()
{
    FreeFolderList();
    viewengine::FreeJpegDecoder();
    return CWinApp::ExitInstance();
}

void CVistrelApp::ScanSwitches()
{
    const size_t count = m_args.size();
    for (size_t i = 2; i < count;) {
        const std::string& a = m_args[i];
        if ((a == "-m" || a == "-s") && i + 1 >= count) break;  // no value follows: ignored
        if (a == "-m") {
            startMode = m_args[i + 1].compare(0, 1, "p") == 0 ? 1 : 2;
            i += 2;
        } else if (a == "-s") {
            spinSpeed = std::atoi(m_args[i + 1].c_str());
            i += 2;
        } else {
            ++i;
        }
    }
}

CDocument* CVistrelApp::OpenDocumentFile(const char* path)
{
    CDocument* doc = CWinApp::OpenDocumentFile(path);
    BuildFolderList(path);
    return doc;
}

void CVistrelApp::FreeFolderList()
{
    delete folderFiles;
    folderFiles = nullptr;
}

// The folder is the path up to its last separator ("/" or "\"). A folder
// already listed keeps its list and index. Otherwise the files matching
// "*.<extension>" ("*" without one) replace the list when there are any;
// the index is the position of the opened file's name, or -1.
void CVistrelApp::BuildFolderList(const char* path)
{
    if (!path) return;
    const std::string full(path);
    const size_t separator = full.find_last_of("/\\");
    if (separator == std::string::npos) return;
    const std::string folder = full.substr(0, separator + 1);
    if (folder == folderPath) return;
    const std::string name = full.substr(separator + 1);
    const size_t dot = full.find_last_of('.');
    const std::string pattern =
        folder + (dot != std::string::npos && dot > separator ? "*." + full.substr(dot + 1) : std::string("*"));

    WIN32_FIND_DATA found{};
    HANDLE find = FindFirstFile(pattern.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    auto* list = new List(FreeName, 4);
    int index = -1;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        char* copy = strdup(found.cFileName);
        if (!copy) continue;
        const int at = list->Append(copy);
        if (at < 0) {
            std::free(copy);
            break;
        }
        if (index < 0 && std::strcmp(found.cFileName, name.c_str()) == 0) index = at;
    } while (FindNextFile(find, &found));
    FindClose(find);

    FreeFolderList();
    folderPath = folder;
    if (list->m_count == 0) {
        delete list;
        folderIndex = -1;
        return;
    }
    folderFiles = list;
    folderIndex = index;
}

const char* CVistrelApp::FolderFile(int index) const
{
    if (!folderFiles || index < 0 || index >= folderFiles->m_count) return nullptr;
    return static_cast<const char*>(folderFiles->GetData(index));
}

void CVistrelApp::StepImage(int direction)
{
    const int count = FolderCount();
    if (folderIndex < 0 || count == 0) return;
    folderIndex = ((folderIndex + direction) % count + count) % count;
    const std::string path = folderPath + FolderFile(folderIndex);
    OpenDocumentFile(path.c_str());
}

void CVistrelApp::OnNextImage()
{
    StepImage(1);
}

void CVistrelApp::OnPrevImage()
{
    StepImage(-1);
}

void CVistrelApp::OnUpdateStepImage(CCmdUI* ui)
{
    ui->Enable(folderIndex >= 0);
}

void CVistrelApp::OnVistrelFileOpen()
{
    win::FileDialogRequest request;
    request.open = true;
    request.title = "Open Image File";
    request.filter =
        "Quorvane files (*.qxl,*.tif,*.jpg,*.bmp)|*.qxl;*.tif;*.jpg;*.bmp|Quorvane Files (*.qxl)|*.qxl|"
        "TIFF Files (*.tif)|*.tif|JPEG Files (*.jpg)|*.jpg|Bitmap Files (*.bmp)|*.bmp|All files(*.*)|*.*||";
    request.filterIndex = filterIndex;
    request.flags = kHideReadOnly;
    request.initialDir = GetProfileString("Recent File List", "File1", "");
    const win::FileDialogAnswer answer = win::GetPrompter().FileDialog(request);
    if (!answer.ok || answer.paths.empty()) return;
    filterIndex = answer.filterIndex;
    OpenDocumentFile(answer.paths.front().c_str());
}

void CVistrelApp::OnVistrelHelp()
{
    if (auto* frame = dynamic_cast<CMainFrame*>(m_pMainWnd)) frame->ShowHelp();
}

void CVistrelApp::OnAppAbout()
{
    CVistrelAboutDlg about;
    about.DoModal();
}

void CVistrelApp::OnWebLink(UINT id)
{
    const std::string page = VistrelWebPage(id);
    if (page.empty()) return;
    ShellExecute(m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr, "open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

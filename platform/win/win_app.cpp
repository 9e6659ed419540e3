#include "platform/win/win_app.h"

#include "core/logger.h"
#include "platform/win/doc_view.h"
#include "platform/win/menu.h"
#include "platform/win/message_queue.h"
#include "platform/win/profile.h"
#include "platform/win/prompter.h"
#include "platform/win/resources.h"
#include "platform/win/runtime.h"
#include "platform/win/system.h"
#include "platform/win/win_thread.h"
#include "platform/win/window_system.h"

#include <cstdlib>
#include <cstring>

namespace {

CWinApp* g_app = nullptr;

std::string BaseName(const std::string& path)
{
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace

CWinApp* AfxGetApp()
{
    return g_app;
}

HINSTANCE AfxGetInstanceHandle()
{
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
}

BOOL AfxOleInit()
{
    return TRUE;
}

void AfxEnableControlContainer() {}

int AfxMessageBox(const char* text, UINT type, UINT)
{
    CWinApp* app = AfxGetApp();
    const std::string caption = (app && !app->m_pszAppName.empty()) ? app->m_pszAppName : std::string("Program");
    CWnd* main = AfxGetMainWnd();
    return ::MessageBox(main ? main->m_hWnd : nullptr, text, caption.c_str(), type);
}

int AfxMessageBox(UINT stringId, UINT type, UINT helpId)
{
    return AfxMessageBox(win::Resources::LoadString(stringId).c_str(), type, helpId);
}

// ---- CCommandLineInfo ------------------------------------------------------------------

void CCommandLineInfo::ParseParam(const char* param, BOOL flag, BOOL)
{
    if (!param) return;
    if (flag) {
        if (strcasecmp(param, "Embedding") == 0 || strcasecmp(param, "Automation") == 0) {
            m_bRunEmbedded = strcasecmp(param, "Embedding") == 0;
            m_bRunAutomated = !m_bRunEmbedded;
            m_bShowSplash = FALSE;
            if (m_nShellCommand == FileNew) m_nShellCommand = FileNothing;
        } else if (strcasecmp(param, "Unregister") == 0 || strcasecmp(param, "Unregserver") == 0) {
            m_nShellCommand = AppUnregister;
        } else if (strcasecmp(param, "p") == 0) {
            m_nShellCommand = FilePrint;
        }
        return;
    }
    // The first plain argument is the file to open.
    if (m_strFileName.empty()) {
        m_strFileName = param;
        if (m_nShellCommand == FileNew) m_nShellCommand = FileOpen;
    }
}

// ---- CRecentFileList -----------------------------------------------------------------------

CRecentFileList::CRecentFileList(UINT startId, const char* section, const char* entryFormat, int size)
    : m_startId(startId), m_section(section ? section : ""), m_entryFormat(entryFormat ? entryFormat : "File%d"),
      m_size(std::max(0, size))
{
}

const std::string& CRecentFileList::operator[](int index) const
{
    static const std::string empty;
    if (index < 0 || static_cast<size_t>(index) >= m_paths.size()) return empty;
    return m_paths[static_cast<size_t>(index)];
}

void CRecentFileList::Add(const char* path)
{
    if (!path || !*path || m_size == 0) return;
    const std::string p = path;
    m_paths.erase(std::remove(m_paths.begin(), m_paths.end(), p), m_paths.end());
    m_paths.insert(m_paths.begin(), p);
    if (static_cast<int>(m_paths.size()) > m_size) m_paths.resize(static_cast<size_t>(m_size));
    WriteList();
}

void CRecentFileList::Remove(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_paths.size()) return;
    m_paths.erase(m_paths.begin() + index);
    WriteList();
}

void CRecentFileList::ReadList()
{
    m_paths.clear();
    for (int i = 1; i <= m_size; ++i) {
        char entry[64];
        snprintf(entry, sizeof entry, m_entryFormat.c_str(), i);
        const auto value = win::Profile::Get().ReadString(m_section, entry);
        if (value && !value->empty()) m_paths.push_back(*value);
    }
}

void CRecentFileList::WriteList()
{
    for (int i = 1; i <= m_size; ++i) {
        char entry[64];
        snprintf(entry, sizeof entry, m_entryFormat.c_str(), i);
        if (static_cast<size_t>(i) <= m_paths.size()) {
            win::Profile::Get().WriteString(m_section, entry, m_paths[static_cast<size_t>(i - 1)]);
        } else {
            win::Profile::Get().WriteString(m_section, entry, std::nullopt);
        }
    }
}

void CRecentFileList::UpdateMenu(CCmdUI* ui)
{
    if (!ui) return;
    ui->Enable(!m_paths.empty());
    CMenu* menu = ui->m_pMenu;
    if (!menu) return;
    // The first item stands for the whole list: one item per file after it.
    for (int i = 0; i < m_size; ++i) menu->DeleteMenu(m_startId + static_cast<UINT>(i), MF_BYCOMMAND);
    if (m_paths.empty()) {
        menu->AppendMenu(MF_STRING | MF_GRAYED, m_startId, "Recent File");
        return;
    }
    for (size_t i = 0; i < m_paths.size(); ++i) {
        std::string text = "&";
        text += std::to_string(i + 1);
        text += ' ';
        text += m_paths[i];
        menu->AppendMenu(MF_STRING, m_startId + static_cast<UINT>(i), text.c_str());
    }
}

// ---- CWinApp ---------------------------------------------------------------------------------

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName ? appName : "")
{
    if (g_app) Logger::log("ERROR CWinApp::CWinApp a program has one application object", 1);
    g_app = this;
    win::SetIdleHandler([this](long count) { return OnIdle(count) != FALSE; });
}

CWinApp::~CWinApp()
{
    if (g_app == this) {
        g_app = nullptr;
        win::SetIdleHandler(nullptr);
    }
    for (CDocTemplate* t : m_templates) delete t;
    delete m_pRecentFileList;
}

const win::MessageMap* CWinApp::GetMessageMap() const
{
    static const win::MessageMap map(
        CCmdTarget::GetMessageMap(),
        {
            win::on::Command(ID_APP_EXIT, &CWinApp::OnAppExit),
            win::on::CommandRange(ID_FILE_MRU_FILE1, ID_FILE_MRU_LAST, &CWinApp::OnOpenRecentFile),
            win::on::UpdateUI(ID_FILE_MRU_FILE1, &CWinApp::OnUpdateRecentFileMenu),
        });
    return &map;
}

BOOL CWinApp::OnCmdMsg(UINT id, int code, void* extra, win::HandlerInfo* info)
{
    return CCmdTarget::OnCmdMsg(id, code, extra, info);
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

int CWinApp::Run()
{
    int exitCode = 0;
    LONG idleCount = 0;
    bool idleDone = false;
    for (;;) {
        // Idle processing while nothing waits, then block for the next message.
        while (!idleDone && !win::MessageQueue::Get().HasWork()) {
            if (!OnIdle(idleCount++)) idleDone = true;
        }
        MSG msg;
        if (!win::MessageQueue::Get().GetMessage(msg)) {
            exitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (!PreTranslateMessage(&msg)) win::TranslateAndDispatch(msg);
        // Painting and timers do not restart the idle work.
        if (msg.message != WM_PAINT && msg.message != WM_TIMER) {
            idleDone = false;
            idleCount = 0;
        }
    }
    const int code = ExitInstance();
    return code != 0 ? code : exitCode;
}

BOOL CWinApp::OnIdle(LONG count)
{
    if (count > 0) return FALSE;
    // Frames bring their titles, toolbars and dialog bars up to date.
    for (HWND top : win::WindowSystem::Get().TopLevelWindows()) {
        auto* frame = dynamic_cast<CFrameWnd*>(CWnd::FromHandle(top));
        if (!frame || !frame->IsWindowVisible()) continue;
        frame->SendMessage(WM_IDLEUPDATECMDUI);
        if (frame->m_hWnd) frame->SendMessageToDescendants(WM_IDLEUPDATECMDUI, 0, 0, TRUE);
    }
    return FALSE;
}

BOOL CWinApp::PreTranslateMessage(MSG*)
{
    return FALSE;
}

void CWinApp::SetRegistryKey(const char* key)
{
    m_pszRegistryKey = key ? key : "";
    m_pszProfileName = m_pszAppName;
    win::Profile::Get().Configure(m_pszRegistryKey, m_pszProfileName);
}

void CWinApp::LoadStdProfileSettings(UINT maxRecent)
{
    if (m_pszProfileName.empty()) win::Profile::Get().Configure(m_pszRegistryKey, m_pszAppName);
    delete m_pRecentFileList;
    m_pRecentFileList = nullptr;
    if (maxRecent == 0) return;
    m_pRecentFileList =
        new CRecentFileList(ID_FILE_MRU_FILE1, "Recent File List", "File%d", static_cast<int>(maxRecent));
    m_pRecentFileList->ReadList();
}

UINT CWinApp::GetProfileInt(const char* section, const char* entry, int defaultValue)
{
    const auto value = win::Profile::Get().ReadString(section ? section : "", entry ? entry : "");
    if (!value || value->empty()) return static_cast<UINT>(defaultValue);
    char* end = nullptr;
    const long long v = std::strtoll(value->c_str(), &end, 10);
    if (end == value->c_str()) return static_cast<UINT>(defaultValue);
    return static_cast<UINT>(v);
}

std::string CWinApp::GetProfileString(const char* section, const char* entry, const char* defaultValue)
{
    const auto value = win::Profile::Get().ReadString(section ? section : "", entry ? entry : "");
    return value ? *value : std::string(defaultValue ? defaultValue : "");
}

BOOL CWinApp::WriteProfileInt(const char* section, const char* entry, int value)
{
    return win::Profile::Get().WriteString(section ? section : "", entry ? entry : "", std::to_string(value))
               ? TRUE
               : FALSE;
}

BOOL CWinApp::WriteProfileString(const char* section, const char* entry, const char* value)
{
    if (!section) return FALSE;
    if (!entry) return win::Profile::Get().RemoveSection(section) ? TRUE : FALSE;
    const std::optional<std::string> v = value ? std::optional<std::string>(value) : std::nullopt;
    return win::Profile::Get().WriteString(section, entry, v) ? TRUE : FALSE;
}

BOOL CWinApp::GetProfileBinary(const char* section, const char* entry, std::vector<BYTE>& data)
{
    data.clear();
    const auto value = win::Profile::Get().ReadString(section ? section : "", entry ? entry : "");
    if (!value || value->size() % 2 != 0) return FALSE;
    for (size_t i = 0; i < value->size(); i += 2) {
        char* end = nullptr;
        const std::string pair = value->substr(i, 2);
        const long byte = std::strtol(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2) {
            data.clear();
            return FALSE;
        }
        data.push_back(static_cast<BYTE>(byte));
    }
    return TRUE;
}

BOOL CWinApp::WriteProfileBinary(const char* section, const char* entry, const BYTE* data, UINT size)
{
    std::string hex;
    for (UINT i = 0; i < size; ++i) {
        char pair[3];
        snprintf(pair, sizeof pair, "%02X", data[i]);
        hex += pair;
    }
    return win::Profile::Get().WriteString(section ? section : "", entry ? entry : "", hex) ? TRUE : FALSE;
}

void CWinApp::AddDocTemplate(CDocTemplate* docTemplate)
{
    if (docTemplate) m_templates.push_back(docTemplate);
}

CDocument* CWinApp::OpenDocumentFile(const char* path)
{
    CDocTemplate* best = nullptr;
    CDocTemplate::Confidence bestConfidence = CDocTemplate::noAttempt;
    for (CDocTemplate* t : m_templates) {
        CDocument* open = nullptr;
        const CDocTemplate::Confidence c = t->MatchDocType(path, open);
        if (c == CDocTemplate::yesAlreadyOpen && open) {
            // Already open: its frame comes to the front.
            for (CView* v : open->GetViews()) {
                if (CFrameWnd* f = v->GetParentFrame()) {
                    f->ActivateFrame();
                    break;
                }
            }
            return open;
        }
        if (c > bestConfidence) {
            best = t;
            bestConfidence = c;
        }
    }
    if (!best) return nullptr;
    return best->OpenDocumentFile(path);
}

void CWinApp::AddToRecentFileList(const char* path)
{
    if (m_pRecentFileList) m_pRecentFileList->Add(path);
}

BOOL CWinApp::SaveAllModified()
{
    for (CDocTemplate* t : m_templates) {
        if (!t->SaveAllModified()) return FALSE;
    }
    return TRUE;
}

void CWinApp::CloseAllDocuments(BOOL endSession)
{
    for (CDocTemplate* t : m_templates) t->CloseAllDocuments(endSession);
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info)
{
    // '-' marks a switch; '/' starts a path here, never a switch.
    for (size_t i = 1; i < m_args.size(); ++i) {
        const std::string& a = m_args[i];
        const BOOL last = (i + 1 == m_args.size()) ? TRUE : FALSE;
        if (a.size() > 1 && a[0] == '-') info.ParseParam(a.c_str() + 1, TRUE, last);
        else info.ParseParam(a.c_str(), FALSE, last);
    }
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& info)
{
    switch (info.m_nShellCommand) {
    case CCommandLineInfo::FileNew:
        OnFileNew();
        return TRUE;
    case CCommandLineInfo::FileOpen:
        return OpenDocumentFile(info.m_strFileName.c_str()) != nullptr;
    default:
        return TRUE;
    }
}

HCURSOR CWinApp::LoadCursor(UINT resourceId) const
{
    return LoadResourceCursor(resourceId);
}

HCURSOR CWinApp::LoadStandardCursor(UINT idc) const
{
    return ::LoadStandardCursor(idc);
}

HICON CWinApp::LoadIcon(UINT resourceId) const
{
    return LoadResourceIcon(resourceId);
}

void CWinApp::WinHelp(DWORD_PTR, UINT) {}

void CWinApp::DoWaitCursor(int code)
{
    if (code > 0) win::PushWaitCursor();
    else if (code < 0) win::PopWaitCursor();
    else win::RestoreWaitCursor();
}

void CWinApp::OnFileNew()
{
    if (m_templates.empty()) return;
    m_templates.front()->OpenDocumentFile(nullptr);
}

void CWinApp::OnFileOpen()
{
    win::FileDialogRequest request;
    request.open = true;
    request.title = "Open";
    for (CDocTemplate* t : m_templates) {
        std::string name, ext;
        if (t->GetDocString(name, CDocTemplate::filterName) && t->GetDocString(ext, CDocTemplate::filterExt))
            request.filter += name + "|*" + ext + "|";
    }
    request.filter += "All Files (*.*)|*.*||";
    const win::FileDialogAnswer answer = win::GetPrompter().FileDialog(request);
    if (!answer.ok) return;
    for (const std::string& path : answer.paths) OpenDocumentFile(path.c_str());
}

void CWinApp::OnFilePrintSetup()
{
    win::PageSetupRequest request;
    request.paperSize = m_paperSize;
    const win::PageSetupAnswer answer = win::GetPrompter().PageSetup(request);
    if (answer.ok) m_paperSize = answer.paperSize;
}

void CWinApp::OnAppExit()
{
    if (m_pMainWnd && m_pMainWnd->m_hWnd) m_pMainWnd->SendMessage(WM_CLOSE);
}

void CWinApp::OnHelp()
{
    WinHelp(0, HELP_FINDER);
}

void CWinApp::OnOpenRecentFile(UINT id)
{
    if (!m_pRecentFileList) return;
    const int index = static_cast<int>(id - ID_FILE_MRU_FILE1);
    const std::string path = (*m_pRecentFileList)[index];
    if (path.empty()) return;
    // A file that no longer opens leaves the list.
    if (!OpenDocumentFile(path.c_str())) m_pRecentFileList->Remove(index);
}

void CWinApp::OnUpdateRecentFileMenu(CCmdUI* ui)
{
    if (m_pRecentFileList) m_pRecentFileList->UpdateMenu(ui);
    else if (ui) ui->Enable(FALSE);
}

int AfxWinMain(int argc, char** argv)
{
    CWinApp* app = AfxGetApp();
    if (!app) {
        Logger::log("ERROR AfxWinMain the program has no application object", 1);
        return 1;
    }
    win::InitRuntime();
    app->m_args.assign(argv, argv + argc);
    if (argc > 0) app->m_pszExeName = BaseName(argv[0]);
    if (app->m_pszAppName.empty()) app->m_pszAppName = app->m_pszExeName;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) app->m_lpCmdLine += ' ';
        app->m_lpCmdLine += argv[i];
    }
    int code;
    if (!app->InitInstance()) {
        code = app->ExitInstance();
        if (code == 0) code = 1;
    } else {
        code = app->Run();
    }
    // Workers finish (their sends are answered meanwhile); nobody pumps after.
    win::JoinWorkerThreads(10000);
    win::MessageQueue::Get().Close();
    return code;
}

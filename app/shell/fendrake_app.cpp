#include "app/shell/fendrake_app.h"

#include "app/control/stitch_wiring.h"
#include "app/control/super_manager.h"
#include "app/matching/share_library.h"
#include "app/matching/utilities.h"
#include "app/panorama/rect_map_view.h"
#include "app/shell/app_resources.h"
#include "app/shell/child_frame.h"
#include "app/shell/kestova_doc.h"
#include "app/shell/main_frame.h"
#include "app/shell/start_dialogs.h"
#include "app/views/image_doc.h"
#include "app/views/image_loaders.h"
#include "app/pairview/image_pair_view.h"
#include "app/pairview/pair_overlap_dlg.h"
#include "app/pairview/overlap_pair_view.h"
#include "app/views/image_pair_doc.h"
#include "app/views/image_view.h"
#include "imaging/image.h"
#include "platform/utilkit/log_base.h"
#include "core/logger.h"
#include "platform/win/controls.h"
#include "platform/win/prompter.h"
#include "platform/win/shell.h"
#include "worldmap/world_map.h"

#include <cstring>
#include <mutex>

namespace {

std::string g_programDir;
DWORD g_splashMs = 2000;

constexpr DWORD kOfnOverwritePrompt = 0x2;
constexpr DWORD kOfnHideReadOnly = 0x4;
constexpr DWORD kOfnAllowMultiSelect = 0x200;

// The folder part of a path cut at its last backslash or slash.
std::string CutAtLastSeparator(const std::string& path)
{
    const size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? path : path.substr(0, at);
}

}  // namespace

CFendrakeApp* GetFendrakeApp()
{
    return dynamic_cast<CFendrakeApp*>(AfxGetApp());
}

CFendrakeApp::CFendrakeApp() : CWinApp("Fendrake") {}

std::string CFendrakeApp::GetProgramDir()
{
    // The running executable's folder: argv[0] may be a bare name.
    if (g_programDir.empty()) g_programDir = LogBase::GetAppDir0();
    return g_programDir;
}

std::string CFendrakeApp::GetProgramParentDir()
{
    return CutAtLastSeparator(GetProgramDir());
}

void CFendrakeApp::SetProgramDir(const std::string& folder)
{
    g_programDir = folder;
    while (g_programDir.size() > 1 && (g_programDir.back() == '/' || g_programDir.back() == '\\'))
        g_programDir.pop_back();
}

void CFendrakeApp::SetSplashTime(DWORD ms)
{
    g_splashMs = ms;
}

void CFendrakeApp::RegisterTemplates()
{
    const CRuntimeClass* child = win::ClassOf<CChildFrame>();
    auto* project = new CMultiDocTemplate(129, win::ClassOf<CFendrakeDoc>(), child, win::ClassOf<CFendrakeView>());
    AddDocTemplate(project);
    EnableShellOpen();
    RegisterShellFileTypes(TRUE);
    m_pairMarkerTemplate =
        new CMultiDocTemplate(129, win::ClassOf<CImagePairDoc>(), child, win::ClassOf<CImagePairView>());
    AddDocTemplate(m_pairMarkerTemplate);
    m_panoramaTemplate = new CMultiDocTemplate(129, win::ClassOf<CKestovaDoc>(), child, win::ClassOf<CWorldMapView>());
    AddDocTemplate(m_panoramaTemplate);
    m_imageTemplate = new CMultiDocTemplate(273, win::ClassOf<CImageDoc>(), child, win::ClassOf<CImageView>());
    AddDocTemplate(m_imageTemplate);
    m_overlapTemplate = new CMultiDocTemplate(129, win::ClassOf<CImagePairDoc>(), child, win::ClassOf<COverlapPair>());
    AddDocTemplate(m_overlapTemplate);
}

BOOL CFendrakeApp::InitInstance()
{
    RegisterAppResources();
    auto splash = std::make_unique<CSplashDlg>();
    if (splash->Create(CSplashDlg::kTemplateId, nullptr)) {
        splash->ShowWindow(SW_SHOWNORMAL);
        splash->UpdateWindow();
    } else {
        splash.reset();
    }
    if (!AfxOleInit()) {
        splash.release();  // left as it is: the program ends here
        return FALSE;
    }
    AfxEnableControlContainer();
    Enable3dControls();
    SetRegistryKey("Quorvane");
    LoadStdProfileSettings(10);
    RegisterTemplates();

    auto* frame = new CMainFrame;
    if (!frame->LoadFrame(130, WS_OVERLAPPEDWINDOW, nullptr, nullptr)) {
        // A frame that failed to load has deleted itself.
        if (splash) splash->DestroyWindow();
        return FALSE;
    }
    m_pMainWnd = frame;
    frame->DragAcceptFiles(TRUE);
    InstallStitchServices();  // the frame made the manager
    InstallOverlapDialogHooks(GetSuperManager());

    CCommandLineInfo command;
    ParseCommandLine(command);
    if (command.m_nShellCommand == CCommandLineInfo::FileNew) command.m_nShellCommand = CCommandLineInfo::FileNothing;

    std::string title;
    GetSuperManager()->BuildWindowTitle(title);
    frame->SetWindowText(title.c_str());
    OnNewProject();

    if (splash) {
        ::Sleep(g_splashMs);
        splash->DestroyWindow();
        splash.reset();
    }
    ProcessShellCommand(command);
    frame->ShowWindow(m_nCmdShow);
    frame->UpdateWindow();
    UpdateAppDirLib(0);
    return TRUE;
}

CDocument* CFendrakeApp::OpenDocumentFile(const char* path)
{
    if (!path || !*path) return nullptr;
    const size_t length = std::strlen(path);
    SuperManager* manager = GetSuperManager();
    if (length >= 4 && std::memcmp(path + length - 4, ".kzp", 4) == 0) {
        if (!manager || !manager->OpenProject(path)) return nullptr;
        AddToRecentFileList(path);
        return &m_projectDoc;
    }
    Image* image = nullptr;
    const int type = LoadImage(path, &image);
    if (!image) {
        if (type != 2) return nullptr;
        AddToRecentFileList(path);
        for (CDocument* doc : m_panoramaTemplate->GetDocuments())
            if (auto* panorama = dynamic_cast<CKestovaDoc*>(doc); panorama && panorama->GetWorldMap() &&
                                                                  panorama->GetWorldMap()->GetName() &&
                                                                  std::strcmp(panorama->GetWorldMap()->GetName(), path) == 0)
                return panorama;
        return &m_projectDoc;
    }
    if (type == 1) {
        Utilities::RaiseZeroPixels(image);
        OpenImageWindow(image, path);
    }
    ReleaseImage(image);
    AddToRecentFileList(path);
    CDocument* shown = FindImageDoc(path);
    return shown ? shown : &m_projectDoc;
}

void CFendrakeApp::OnFileSave()
{
    Logger::log("Enter CFendrakeApp::OnFileSave()", 3);
    SuperManager* manager = GetSuperManager();
    if (manager && manager->SaveProject(true))
        AddToRecentFileList(manager->GetProjectName(true));
    else
        Logger::log(" CFendrakeApp::OnFileSave(): save failed!!!", 3);
    Logger::log("Leave CFendrakeApp::OnFileSave()", 3);
}

void CFendrakeApp::OnFileSaveAs()
{
    Logger::log("Enter CFendrakeApp::OnFileSaveAs()", 3);
    SuperManager* manager = GetSuperManager();
    if (manager && manager->SaveProject(false))
        AddToRecentFileList(manager->GetProjectName(true));
    else
        Logger::log(" CFendrakeApp::OnFileSave(): save failed!!!", 3);
    Logger::log("Leave CFendrakeApp::OnFileSaveAs()", 3);
}

void CFendrakeApp::OnOpenImage()
{
    win::FileDialogRequest request;
    request.open = true;
    request.title = "Open Image File";
    request.filter =
        "Graphics files (*.tif,*.jpg,*.bmp)|*.tif;*.jpg;*.bmp|TIFF Files (*.tif)|*.tif|JPEG Files (*.jpg)|*.jpg|"
        "Bitmap Files (*.bmp)|*.bmp|All files(*.*)|*.*||";
    request.filterIndex = m_imageFilterIndex;
    request.flags = kOfnHideReadOnly | kOfnOverwritePrompt | kOfnAllowMultiSelect;
    const std::string recent = GetProfileString("Recent File List", "File1", "");
    if (!recent.empty()) request.initialDir = recent;
    const win::FileDialogAnswer answer = win::GetPrompter().FileDialog(request);
    if (!answer.ok) return;
    m_imageFilterIndex = answer.filterIndex;
    for (const std::string& path : answer.paths) OpenDocumentFile(path.c_str());
}

void CFendrakeApp::OpenWebPage(const char* path)
{
    std::string address = MakerWebSite();
    if (path) address += path;
    ShellExecute(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CFendrakeApp::ShowHelpTopic(const char* topic)
{
    std::string path = GetProgramDir() + "\\Fendrake.chm::/";
    if (topic) path += topic;
    HtmlHelpA(::GetDesktopWindow(), path.c_str(), HH_DISPLAY_TOPIC, 0);
}

void CFendrakeApp::WinHelp(DWORD_PTR data, UINT command)
{
    if (command != HELP_CONTEXT) return;
    static const char* const kTopics[] = {"Introduction.htm", nullptr, "Trelmond.htm#Placing_marker_pairs",
                                          "Trelmond.htm#Troubleshoot_marker_stitching",
                                          "Advanced.htm#Topic_Reset_stitching"};
    if (data < 0x30001 || data > 0x30005) return;
    ShowHelpTopic(kTopics[data - 0x30001]);
}

void CFendrakeApp::OnAppAbout()
{
    CAboutDlg about;
    about.DoModal();
}

void CFendrakeApp::OnNewProject()
{
    SuperManager* manager = GetSuperManager();
    if (manager && manager->NewProject()) manager->ShowImageTray();
}

void CFendrakeApp::OnOpenProject()
{
    SuperManager* manager = GetSuperManager();
    if (manager && manager->OpenProject(nullptr)) AddToRecentFileList(manager->GetProjectName(true));
}

void CFendrakeApp::OnLoadImagesToPellicot()
{
    SuperManager* manager = GetSuperManager();
    if (!manager) return;
    manager->ShowImageTray();
    manager->ShowImageBrowser(0, true);
}

void CFendrakeApp::OnTutorial()
{
    const std::string page = GetProgramParentDir() + "\\Skelwin\\Skelwin.htm";
    ShellExecute(nullptr, "open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CFendrakeApp::OnLaunchHelpManual()
{
    ShowHelpTopic("Introduction.htm");
}

void CFendrakeApp::OnUpdateNeedsProjectName(CCmdUI* ui)
{
    SuperManager* manager = GetSuperManager();
    ui->Enable(manager && manager->HasProjectName());
}

const win::MessageMap* CFendrakeApp::GetMessageMap() const
{
    static const win::MessageMap map(CWinApp::GetMessageMap(),
                                     {
                                         win::on::Command(ID_APP_ABOUT, &CFendrakeApp::OnAppAbout),
                                         win::on::Command(ID_FILE_NEW, &CFendrakeApp::OnNewProject),
                                         win::on::Command(32898, &CFendrakeApp::OnNewProject),
                                         win::on::Command(ID_FILE_OPEN, &CFendrakeApp::OnOpenProject),
                                         win::on::Command(32771, &CFendrakeApp::OnOpenImage),
                                         win::on::Command(32866, &CFendrakeApp::OnFileSave),
                                         win::on::Command(32867, &CFendrakeApp::OnFileSaveAs),
                                         win::on::UpdateUI(32866, &CFendrakeApp::OnUpdateNeedsProjectName),
                                         win::on::UpdateUI(32867, &CFendrakeApp::OnUpdateNeedsProjectName),
                                         win::on::Command(32880, &CFendrakeApp::OnLoadImagesToPellicot),
                                         win::on::Command(33159, &CFendrakeApp::OnTutorial),
                                         win::on::Command(32778, &CFendrakeApp::OnLaunchHelpManual),
                                         win::on::Command(ID_FILE_PRINT_SETUP, &CWinApp::OnFilePrintSetup),
                                         win::on::Command(ID_HELP, &CWinApp::OnHelp),
                                     });
    return &map;
}

// ---- Splash and About -------------------------------------------------------

BOOL CSplashDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    auto* picture = dynamic_cast<CStatic*>(GetDlgItem(kPictureId));
    if (picture && m_picture.LoadBitmap(kBitmapId)) picture->SetBitmap(static_cast<HBITMAP>(m_picture.GetSafeHandle()));
    return TRUE;
}

void CAboutDlg::OnWebSite()
{
    if (CFendrakeApp* app = GetFendrakeApp()) app->OpenWebPage(nullptr);
}

const win::MessageMap* CAboutDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {win::on::Control(BN_CLICKED, kWebSiteButton, &CAboutDlg::OnWebSite)});
    return &map;
}

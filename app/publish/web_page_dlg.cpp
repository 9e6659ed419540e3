#include "app/publish/web_page_dlg.h"

#include "core/logger.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/file_dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/resources.h"
#include "platform/win/shell.h"
#include "worldmap/image_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

constexpr const char* kSupportFiles[] = {"wait.gif", "ptviewer.jar", "ptviewer.class"};
constexpr int kLineLength = 355;

bool EndsWithMov(const std::string& path)
{
    if (path.size() < 3) return false;
    std::string tail = path.substr(path.size() - 3);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == "mov";
}

// The folder part of a path, up to and including its last separator.
std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string NameOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ProgramFolder() { return LogBase::GetAppDir0(); }

// The temporary folder, accepted only when it ends in "mp" and a separator.
std::string TemporaryFolder()
{
    char buffer[129] = {};
    DWORD n = GetTempPath(128, buffer);
    if (n < 3 || n > 128) return {};
    std::string folder(buffer, n);
    char a = folder[n - 3], b = folder[n - 2];
    if (!((a == 'm' && b == 'p') || (a == 'M' && b == 'P'))) return {};
    return folder;
}

}  // namespace

void CWebPageDlg::RegisterTemplate()
{
    using win::ControlKind;
    using win::ControlTemplate;
    if (win::Resources::App().FindDialog(kTemplateId)) return;
    win::DialogTemplate dialog;
    dialog.id = kTemplateId;
    dialog.caption = "Create Panoramic Web Page";
    dialog.size = SIZE{480, 320};
    dialog.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 12, 110, 28}, "Panorama File:"),
        ControlTemplate(kPanoramaEdit, ControlKind::Edit, RECT{110, 10, 420, 30}, "", WS_GROUP),
        ControlTemplate(kBrowsePanorama, ControlKind::PushButton, RECT{426, 10, 466, 30}, "..."),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 42, 110, 58}, "Title:"),
        ControlTemplate(kTitleEdit, ControlKind::Edit, RECT{110, 40, 466, 60}),
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{10, 68, 230, 116}, "Viewer"),
        ControlTemplate(kAppletRadio, ControlKind::RadioButton, RECT{20, 86, 110, 106}, "Applet", WS_GROUP),
        ControlTemplate(kActiveXRadio, ControlKind::RadioButton, RECT{120, 86, 220, 106}, "ActiveX"),
        ControlTemplate(0xFFFF, ControlKind::GroupBox, RECT{240, 68, 466, 116}, "View mode"),
        ControlTemplate(kWorldMapRadio, ControlKind::RadioButton, RECT{250, 86, 350, 106}, "World-map", WS_GROUP),
        ControlTemplate(kPerspectiveRadio, ControlKind::RadioButton, RECT{356, 86, 460, 106}, "Perspective"),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 128, 60, 144}, "Width:", WS_GROUP),
        ControlTemplate(kWidthEdit, ControlKind::Edit, RECT{60, 126, 120, 146}),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{140, 128, 190, 144}, "Height:"),
        ControlTemplate(kHeightEdit, ControlKind::Edit, RECT{190, 126, 250, 146}),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 158, 250, 174}, "Horizontal Field of View (degree)"),
        ControlTemplate(kFovEdit, ControlKind::Edit, RECT{260, 156, 320, 176}),
        ControlTemplate(kAutoSpinCheck, ControlKind::CheckBox, RECT{10, 188, 110, 206}, "Auto spin"),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{130, 188, 180, 204}, "Speed"),
        ControlTemplate(kSpeedEdit, ControlKind::Edit, RECT{190, 186, 250, 206}),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 220, 300, 236}, "Save web page (HTML) file as:"),
        ControlTemplate(kHtmlEdit, ControlKind::Edit, RECT{10, 240, 420, 260}),
        ControlTemplate(kBrowseHtml, ControlKind::PushButton, RECT{426, 240, 466, 260}, "..."),
        ControlTemplate(kPreviewButton, ControlKind::PushButton, RECT{10, 282, 100, 308}, "Preview", WS_GROUP),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{280, 282, 370, 308}, "OK"),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{376, 282, 466, 308}, "Cancel"),
    };
    win::Resources::App().AddDialog(std::move(dialog));
}

CWebPageDlg::CWebPageDlg(const char* panoramaFile, CWnd* parent) : CDialog(kTemplateId, parent)
{
    m_panoramaFile = panoramaFile ? panoramaFile : "";
    if (!m_panoramaFile.empty()) {
        size_t dot = m_panoramaFile.rfind('.');
        if (dot != std::string::npos) m_htmlName = m_panoramaFile.substr(0, dot + 1) + "htm";
    }
    m_panoramaMode = !EndsWithMov(m_panoramaFile);
}

CWebPageDlg::~CWebPageDlg() = default;

void CWebPageDlg::SetQuickTimeMode(bool panoramaMode)
{
    m_panoramaMode = panoramaMode;
    m_modeFixed = true;
}

std::string CWebPageDlg::HtmlEscape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string CWebPageDlg::PanoramaFolder() const { return FolderOf(m_panoramaFile); }

CWebPageDlg::GeometryResult CWebPageDlg::ComputeAppletGeometry(int width, int height, int equatorWidth, int row,
                                                               AppletGeometry& out)
{
    if (equatorWidth <= 0 || width <= 0 || height <= 0) return kNotKestova;
    AppletGeometry g;
    g.range = static_cast<int>(static_cast<int64_t>(width) * 360 / equatorWidth);
    if (g.range < 100) return kTooSmall;
    const int e = equatorWidth / 4;
    g.x = (equatorWidth - width) / 2;
    g.tiltTop = static_cast<int>(static_cast<int64_t>(row - e) * 360 / equatorWidth);
    g.tiltBottom = static_cast<int>(static_cast<int64_t>(row + height - 1 - e) * 360 / equatorWidth);
    if (g.tiltTop >= -69 && g.tiltBottom < 70 && std::abs(g.tiltTop + g.tiltBottom) < 40) {
        g.pheight = height;
        g.y = 0;
        g.tiltTop = static_cast<int>(static_cast<int64_t>(height / 2 - e) * 360 / equatorWidth);
        g.tiltBottom = -g.tiltTop;
    } else {
        // Equal tilts leave no span to scale the height by.
        if (g.tiltBottom == g.tiltTop) return kNotKestova;
        int m = std::max(std::abs(g.tiltTop), std::abs(g.tiltBottom));
        g.pheight = static_cast<int>(static_cast<int64_t>(height) * 2 * m / (g.tiltBottom - g.tiltTop));
        g.y = std::max(0, row - (e - g.pheight / 2));
    }
    out = g;
    return kGeometryOk;
}

bool CWebPageDlg::WriteAppletBlock(FILE* file)
{
    int width = 0, height = 0, equatorWidth = 0, column = 0, row = 0, mapType = 0;
    int kind = m_mapInfo ? m_mapInfo(m_panoramaFile.c_str(), width, height, equatorWidth, column, row, mapType)
                         : GetWMapInfo(m_panoramaFile.c_str(), width, height, equatorWidth, column, row, mapType);
    AppletGeometry g;
    GeometryResult result = kind == 2 ? ComputeAppletGeometry(width, height, equatorWidth, row, g) : kNotKestova;
    if (result == kNotKestova) {
        Logger::log("ERROR CWebPageDlg::WriteAppletBlock: %s has no usable panorama descriptor", 1,
                    m_panoramaFile.c_str());
        AfxMessageBox("The image is not in kestova format. Please check!");
        return false;
    }
    if (result == kTooSmall) {
        AfxMessageBox("The kestova range is too small (<100 degree). Please use ActiveX or QuickTime plugin!");
        return false;
    }
    CopyAppletFiles();
    const int w = m_width, h = m_height;
    std::fprintf(file, "<APPLET archive=ptviewer.jar code=ptviewer.class width=%d height=%d>\n", w, h);
    std::fprintf(file, "<PARAM name=pwidth value=%d>\n", equatorWidth);
    std::fprintf(file, "<PARAM name=pheight value=%d>\n", g.pheight);
    std::fprintf(file, "<PARAM name=roi0 value=\"i'%s' x%d y%d\">\n", HtmlEscape(NameOf(m_panoramaFile)).c_str(), g.x,
                 g.y);
    std::fprintf(file, "<PARAM name=panmin value=%d>\n", -g.range / 2);
    std::fprintf(file, "<PARAM name=panmax value=%d>\n", g.range / 2);
    std::fprintf(file, "<PARAM name=tiltmin value=%d>\n", g.tiltTop);
    std::fprintf(file, "<PARAM name=tiltmax value=%d>\n", g.tiltBottom);
    std::fprintf(file, "<PARAM name=wait value=wait.gif>\n");
    std::fprintf(file, "<param name=barcolor value=0000ff>\n");
    std::fprintf(file, "<param name=bgcolor value=ffffff>\n");
    std::fprintf(file, "<PARAM name=fov value=%d>\n", static_cast<int>(m_fov));
    std::fprintf(file, "<PARAM name=auto value=%f>\n", m_speed * 0.05);
    struct Spot {
        int x, y, a, b;
        const char* action;
    };
    const Spot spots[] = {{0, 0, 19, h - 1, "startAutoPan(-0.5,0,1)"},
                          {w - 20, 0, w - 1, h - 1, "startAutoPan(0.5,0,1)"},
                          {0, 0, w - 1, 19, "startAutoPan(0,3,1)"},
                          {0, h - 20, w - 1, h - 1, "startAutoPan(0,-3,1)"}};
    for (int i = 0; i < 4; ++i)
        std::fprintf(file, "<PARAM NAME=\"shotspot%d\" VALUE=\" x%d y%d a%d b%d u'ptviewer:%s' \">\n", i, spots[i].x,
                     spots[i].y, spots[i].a, spots[i].b, spots[i].action);
    std::fprintf(file, "</APPLET>\n");
    return true;
}

void CWebPageDlg::CopyAppletFiles()
{
    if (m_panoramaFile.empty()) {
        AfxMessageBox("Please set panorama file name.");
        return;
    }
    namespace fs = std::filesystem;
    const std::string folder = PanoramaFolder();
    for (const char* name : kSupportFiles) {
        fs::path from = fs::path(ProgramFolder()) / name;
        fs::path to = fs::path(folder.empty() ? "." : folder) / name;
        std::error_code ec;
        if (fs::exists(to, ec)) continue;
        if (!fs::copy_file(from, to, ec)) {
            Logger::log("ERROR CWebPageDlg::CopyAppletFiles: cannot copy %s to %s", 1, from.c_str(), to.c_str());
            continue;
        }
        m_made.push_back(to.string());
    }
}

void CWebPageDlg::DeleteAppletFiles(bool alsoHtml)
{
    if (m_panoramaFile.empty()) return;
    std::vector<std::string> kept;
    for (const std::string& path : m_made) {
        bool isPage = !NameOf(path).empty() &&
                      std::find_if(std::begin(kSupportFiles), std::end(kSupportFiles), [&](const char* n) {
                          return NameOf(path) == n;
                      }) == std::end(kSupportFiles);
        if (isPage && !(alsoHtml && path == m_htmlName)) {
            kept.push_back(path);
            continue;
        }
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    m_made = std::move(kept);
}

void CWebPageDlg::ForgetWritten(const std::string& path)
{
    if (std::find(m_made.begin(), m_made.end(), path) == m_made.end()) m_made.push_back(path);
}

std::string CWebPageDlg::MakeWebPage(bool final)
{
    const char* templateName = "WebPageSamplePTViewer.htm";
    if (EndsWithMov(m_panoramaFile)) {
        templateName = "WebPageSampleQT.htm";
        m_viewer = kQuickTime;
    } else if (m_viewer == kActiveX) {
        templateName = "WebPageSample.htm";
    }
    const std::string templatePath = ProgramFolder() + "/WebLinks/" + templateName;
    FILE* in = std::fopen(templatePath.c_str(), "r");
    if (!in) {
        Logger::log("ERROR CWebPageDlg::MakeWebPage: cannot read %s", 1, templatePath.c_str());
        AfxMessageBox("Missing web page sample file.");
        return {};
    }
    static const char* const kPreviewNames[] = {"quorvaneWPS_applet.htm", "quorvaneWPS_activeX.htm",
                                                "quorvaneWPS_QTVR.htm"};
    std::string outPath;
    FILE* out = nullptr;
    if (final) {
        outPath = m_htmlName;
        out = outPath.empty() ? nullptr : std::fopen(outPath.c_str(), "w");
    } else {
        std::string folder = m_viewer == kApplet ? PanoramaFolder() : TemporaryFolder();
        if (!folder.empty()) {
            outPath = folder + kPreviewNames[m_viewer];
            out = std::fopen(outPath.c_str(), "w");
        }
        if (!out) {
            outPath = ProgramFolder() + "/" + kPreviewNames[m_viewer];
            out = std::fopen(outPath.c_str(), "w");
        }
    }
    if (!out) {
        Logger::log("ERROR CWebPageDlg::MakeWebPage: cannot write %s", 1, outPath.c_str());
        if (final)
            AfxMessageBox(("Can not create Web file " + outPath).c_str());
        else
            AfxMessageBox("Can not create temporary web page file.");
        std::fclose(in);
        return {};
    }
    ForgetWritten(outPath);

    bool appletDone = false, sizeDone = false, fileDone = false, titleDone = false, speedDone = false,
         modeDone = false;
    char line[kLineLength + 1];
    while (std::fgets(line, sizeof line, in)) {
        auto is = [&](const char* marker, size_t n) { return std::strncmp(line, marker, n) == 0; };
        if (line[0] != '#') {
            std::fputs(line, out);
        } else if (!appletDone && is("#viewer_applet_Set", 13)) {
            appletDone = true;
            WriteAppletBlock(out);
        } else if (!sizeDone && is("#width_height", 13)) {
            sizeDone = true;
            std::fprintf(out, "width=\"%d\" height=\"%d\">\n", m_width, m_height);
        } else if (!sizeDone && is("#width_htQT", 11)) {
            sizeDone = true;
            std::fprintf(out, "width=\"%d\" height=\"%d\"\n", m_width, m_height);
        } else if (!fileDone && is("#FileName", 9)) {
            fileDone = true;
            std::fprintf(out, "<PARAM NAME=\"FileName\" VALUE=\"%s\">\n", HtmlEscape(m_panoramaFile).c_str());
        } else if (!fileDone && is("#FileQT", 7)) {
            fileDone = true;
            std::error_code ec;
            std::string absolute = std::filesystem::absolute(m_panoramaFile, ec).string();
            std::fprintf(out, "SRC=\"file://%s\"\n", HtmlEscape(absolute).c_str());
        } else if (!titleDone && is("#My Web Page", 12)) {
            titleDone = true;
            std::fprintf(out, "%s\n", HtmlEscape(m_title).c_str());
        } else if (!speedDone && is("#Speed", 6)) {
            speedDone = true;
            std::fprintf(out, "<PARAM NAME=\"Speed\" VALUE=\"%d\">\n", m_speed);
        } else if (!modeDone && is("#ViewMode", 9)) {
            modeDone = true;
            std::fprintf(out, "<PARAM NAME=\"ViewMode\" VALUE=\"%d\">\n", m_viewMode);
        } else {
            std::fputs(line, out);
        }
    }
    std::fclose(in);
    std::fclose(out);
    return outPath;
}

bool CWebPageDlg::CheckQuickTime()
{
    if (!m_panoramaFile.empty()) m_panoramaMode = !EndsWithMov(m_panoramaFile);
    if (m_hWnd) {
        const BOOL on = m_panoramaMode ? TRUE : FALSE;
        for (UINT id : {kWorldMapRadio, kPerspectiveRadio, kAppletRadio, kActiveXRadio, kAutoSpinCheck, kSpeedEdit,
                        kFovEdit})
            if (CWnd* item = GetDlgItem(id)) item->EnableWindow(on);
    }
    return !m_panoramaMode;
}

BOOL CWebPageDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CheckDlgButton(kAutoSpinCheck, BST_CHECKED);
    if (CWnd* speed = GetDlgItem(kSpeedEdit)) speed->EnableWindow(TRUE);
    if (CheckQuickTime()) return TRUE;
    if (m_viewer == kActiveX)
        OnActiveX();
    else
        OnApplet();
    return TRUE;
}

void CWebPageDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, kHtmlEdit, m_htmlName);
    DDX_Text(dx, kWidthEdit, m_width);
    DDV_MinMaxInt(dx, m_width, 160, 1024);
    DDX_Text(dx, kHeightEdit, m_height);
    DDV_MinMaxInt(dx, m_height, 100, 1024);
    DDX_Text(dx, kFovEdit, m_fov);
    DDV_MinMaxFloat(dx, m_fov, 10.0f, 140.0f);
    DDX_Text(dx, kPanoramaEdit, m_panoramaFile);
    DDX_Text(dx, kTitleEdit, m_title);
    DDX_Text(dx, kSpeedEdit, m_speed);
    DDV_MinMaxInt(dx, m_speed, -20, 20);
    DDX_Radio(dx, kWorldMapRadio, m_viewMode);
    DDX_Radio(dx, kAppletRadio, m_viewer);
}

void CWebPageDlg::OnOK()
{
    if (!UpdateData(TRUE)) return;
    if (m_htmlName.empty()) {
        AfxMessageBox("Please select HTML file name.");
        return;
    }
    // The page is written anew over any file of that name (the browse dialog
    // asked before overwriting); nothing else in the folder is removed.
    if (MakeWebPage(true).empty()) return;
    EndDialog(IDOK);
}

void CWebPageDlg::OnCancel()
{
    DeleteAppletFiles(false);
    CDialog::OnCancel();
}

void CWebPageDlg::OnPreview()
{
    if (!UpdateData(TRUE)) return;
    if (m_panoramaFile.empty()) {
        AfxMessageBox("Please set panorama file name.");
        return;
    }
    std::string page = MakeWebPage(false);
    if (!page.empty()) ShellExecute(m_hWnd, "open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CWebPageDlg::OnBrowseHtml()
{
    CFileDialog dialog(FALSE, "htm", m_htmlName.c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       "Html file (*.htm)|*.htm||", this);
    dialog.m_ofn.lpstrTitle = "Browsw htm File";
    if (dialog.DoModal() != IDOK) return;
    m_htmlName = dialog.GetPathName();
    SetDlgItemText(kHtmlEdit, m_htmlName.c_str());
}

void CWebPageDlg::OnBrowsePanorama()
{
    const bool quickTime = m_modeFixed && !m_panoramaMode;
    CFileDialog dialog(TRUE, quickTime ? "mov" : "jpg", m_panoramaFile.c_str(), OFN_HIDEREADONLY,
                       quickTime ? "QuickTime file (*.mov)|*.mov||" : "Panorama file (*.jpg)|*.jpg||", this);
    dialog.m_ofn.lpstrTitle = quickTime ? "Browse QuickTime File" : "Browse Panorama File";
    if (dialog.DoModal() != IDOK) return;
    m_panoramaFile = dialog.GetPathName();
    SetDlgItemText(kPanoramaEdit, m_panoramaFile.c_str());
    CheckQuickTime();
    if (m_panoramaMode && m_viewer == kApplet) OnApplet();
}

void CWebPageDlg::OnAutoSpin()
{
    if (CWnd* speed = GetDlgItem(kSpeedEdit)) speed->EnableWindow(IsDlgButtonChecked(kAutoSpinCheck) ? TRUE : FALSE);
}

void CWebPageDlg::OnApplet()
{
    m_viewMode = 1;
    // The two ids are not in ascending order, so each button is set by itself.
    CheckDlgButton(kWorldMapRadio, BST_UNCHECKED);
    CheckDlgButton(kPerspectiveRadio, BST_CHECKED);
    for (UINT id : {kWorldMapRadio, kPerspectiveRadio})
        if (CWnd* item = GetDlgItem(id)) item->EnableWindow(FALSE);
}

void CWebPageDlg::OnActiveX()
{
    for (UINT id : {kWorldMapRadio, kPerspectiveRadio})
        if (CWnd* item = GetDlgItem(id)) item->EnableWindow(TRUE);
}

const win::MessageMap* CWebPageDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {
                                         win::on::Control(BN_CLICKED, kPreviewButton, &CWebPageDlg::OnPreview),
                                         win::on::Control(BN_CLICKED, kBrowseHtml, &CWebPageDlg::OnBrowseHtml),
                                         win::on::Control(BN_CLICKED, kBrowsePanorama, &CWebPageDlg::OnBrowsePanorama),
                                         win::on::Control(BN_CLICKED, kAutoSpinCheck, &CWebPageDlg::OnAutoSpin),
                                         win::on::Control(BN_CLICKED, kAppletRadio, &CWebPageDlg::OnApplet),
                                         win::on::Control(BN_CLICKED, kActiveXRadio, &CWebPageDlg::OnActiveX),
                                     });
    return &map;
}

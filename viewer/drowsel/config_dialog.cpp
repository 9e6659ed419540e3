#include "viewer/drowsel/config_dialog.h"

#include "viewer/drowsel/album_files.h"
#include "viewer/drowsel/drowsel_resources.h"
#include "viewer/drowsel/drowsel_wnd.h"

#include "core/logger.h"
#include "platform/win/controls.h"
#include "platform/win/data_exchange.h"
#include "platform/win/profile.h"
#include "platform/win/prompter.h"
#include "platform/win/shell.h"
#include "platform/win/system_menu.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

using namespace drowsel;

namespace {

bool IsAlbumName(const std::string& name)
{
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".txt";
}

int ConfigInt(const char* entry, int defaultValue)
{
    const auto value = win::Profile::Get().ReadString(kConfigSection, entry);
    if (!value || value->empty()) return defaultValue;
    char* end = nullptr;
    const long v = std::strtol(value->c_str(), &end, 10);
    return end == value->c_str() ? defaultValue : static_cast<int>(std::clamp(v, -1000000000L, 1000000000L));
}

void WriteConfig(const char* entry, const std::string& value)
{
    if (!win::Profile::Get().WriteString(kConfigSection, entry, value))
        Logger::log("ERROR CDrowselConfigDlg::OnOK cannot write \"%s\" to the profile", 1, entry);
}

}  // namespace

// ---- help and about -----------------------------------------------------------

CDrowselHelpDlg::CDrowselHelpDlg() : CDialog(IDD_CONFIG_HELP) {}

void CDrowselHelpDlg::PostNcDestroy()
{
    delete this;
}

void CDrowselHelpDlg::OnOK()
{
    DestroyWindow();
}

void CDrowselHelpDlg::OnCancel()
{
    DestroyWindow();
}

CDrowselAboutDlg::CDrowselAboutDlg(CWnd* parent) : CDialog(IDD_ABOUTBOX, parent) {}

const win::MessageMap* CDrowselAboutDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {win::on::Control(BN_CLICKED, IDC_HOME_LINK, &CDrowselAboutDlg::OnHomeLink)});
    return &map;
}

void CDrowselAboutDlg::OnHomeLink()
{
    ShellExecute(m_hWnd, "open", HomePage(), nullptr, nullptr, SW_SHOWNORMAL);
}

// ---- configuration ------------------------------------------------------------

CDrowselConfigDlg::CDrowselConfigDlg(const std::string& handedOver, CWnd* parent)
    : CDialog(IDD_CONFIG, parent), m_path(handedOver), mayWrite(handedOver.empty()), m_handedOver(handedOver)
{
}

CDrowselConfigDlg::~CDrowselConfigDlg()
{
    if (m_help && ::IsWindow(m_help)) ::DestroyWindow(m_help);
}

const win::MessageMap* CDrowselConfigDlg::GetMessageMap() const
{
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {
                                         win::on::Control(BN_CLICKED, IDC_BROWSE, &CDrowselConfigDlg::OnBrowse),
                                         win::on::Control(BN_CLICKED, IDC_ADD_TO_ALBUM, &CDrowselConfigDlg::OnAddToAlbum),
                                         win::on::Control(BN_CLICKED, IDC_HELP_BUTTON, &CDrowselConfigDlg::OnHelpButton),
                                         win::on::Message(WM_SYSCOMMAND, &CDrowselConfigDlg::OnSysCommand),
                                     });
    return &map;
}

BOOL CDrowselConfigDlg::OnInitDialog()
{
    // The dialog's own defaults differ from the saver's: a period of 5.
    m_speed = std::clamp(ConfigInt("Speed", 1), -200, 200);
    m_height = std::clamp(ConfigInt("FieldOfView", 70), 50, 90);
    m_period = ConfigInt("Period", 5);
    const std::string profileName = win::Profile::Get().ReadString(kConfigSection, "ImageName").value_or("");
    if (!m_handedOver.empty()) {
        if (IsAlbumName(profileName)) m_album = profileName;
    } else {
        m_path = profileName;
        if (IsAlbumName(profileName)) m_album = profileName;
    }
    if (CMenu* menu = GetSystemMenu(m_hWnd, FALSE)) {
        menu->AppendMenu(MF_SEPARATOR);
        menu->AppendMenu(MF_STRING, IDM_ABOUTBOX, "&About Saver...");
    }
    if (auto* speed = win::WindowAs<CSliderCtrl>(::GetDlgItem(m_hWnd, IDC_SPEED))) {
        speed->SetRange(-200, 200);
        speed->SetTicFreq(20);
    }
    if (auto* height = win::WindowAs<CSliderCtrl>(::GetDlgItem(m_hWnd, IDC_HEIGHT))) {
        height->SetRange(50, 90);
        height->SetTicFreq(5);
    }
    CDialog::OnInitDialog();  // moves the values into the controls
    ShowHeight();
    EnableForPath();
    return TRUE;
}

void CDrowselConfigDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, IDC_IMAGE_PATH, m_path);
    DDX_Text(dx, IDC_PERIOD, m_period);
    DDV_MinMaxInt(dx, m_period, 1, 10000);
    DDX_Slider(dx, IDC_SPEED, m_speed);
    DDX_Slider(dx, IDC_HEIGHT, m_height);
}

void CDrowselConfigDlg::ShowHeight()
{
    const int height = static_cast<int>(::SendMessage(::GetDlgItem(m_hWnd, IDC_HEIGHT), TBM_GETPOS, 0, 0));
    char text[16];
    std::snprintf(text, sizeof text, "%2d%%", height);
    SetDlgItemText(IDC_HEIGHT_VALUE, text);
}

void CDrowselConfigDlg::OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    if (scrollCtrl && scrollCtrl->GetDlgCtrlID() == static_cast<int>(IDC_HEIGHT)) ShowHeight();
    CDialog::OnHScroll(code, pos, scrollCtrl);
}

void CDrowselConfigDlg::EnableForPath()
{
    const std::string path = GetDlgItemText(IDC_IMAGE_PATH);
    const bool album = IsAlbumName(path);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_ADD_TO_ALBUM), !path.empty() && !album);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_PERIOD), album);
}

void CDrowselConfigDlg::ForgetHandOver()
{
    if (!m_handedOver.empty()) {
        EmptyHandOver();
        m_handedOver.clear();
    }
    mayWrite = true;
}

void CDrowselConfigDlg::OnBrowse()
{
    win::FileDialogRequest request;
    request.open = true;
    request.title = "Browse Drowsel Album File or Panorama File";
    request.filter = "Album/Panorama Files (*.txt,*tif,*jpg)|*.txt;*.tif;*.jpg|Album Files (*.txt)|*.txt|"
                     "Panorama Files (*.tif, *.jpg)|*.tif;*.jpg|TIFF Image Files (*.tif)|*.tif|"
                     "JPEG Image Files (*.jpg)|*.jpg||";
    const win::FileDialogAnswer answer = win::GetPrompter().FileDialog(request);
    if (!answer.ok || answer.paths.empty()) return;
    const std::string previous = GetDlgItemText(IDC_IMAGE_PATH);
    if (IsAlbumName(previous)) m_album = previous;
    SetDlgItemText(IDC_IMAGE_PATH, answer.paths.front().c_str());
    EnableForPath();
    ForgetHandOver();
}

void CDrowselConfigDlg::OnAddToAlbum()
{
    const std::string picture = GetDlgItemText(IDC_IMAGE_PATH);
    if (picture.empty() || IsAlbumName(picture)) return;
    win::FileDialogRequest request;
    request.open = true;
    request.title = "Browse Drowsel Album File";
    request.filter = "Album File (*.txt)|*.txt||";
    request.defaultExt = "txt";
    request.fileName = m_album;
    request.initialDir = AlbumFolder(m_album);
    const win::FileDialogAnswer answer = win::GetPrompter().FileDialog(request);
    if (!answer.ok || answer.paths.empty()) return;
    std::string album = answer.paths.front();
    if (album.find('.', album.find_last_of("/\\") + 1) == std::string::npos) album += ".txt";
    if (!AddToAlbum(album, picture)) return;
    m_album = album;
    SetDlgItemText(IDC_IMAGE_PATH, album.c_str());
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_ADD_TO_ALBUM), FALSE);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_PERIOD), TRUE);
    ForgetHandOver();
}

void CDrowselConfigDlg::OnHelpButton()
{
    if (m_help && ::IsWindow(m_help)) {
        ::ShowWindow(m_help, SW_SHOW);
        return;
    }
    auto* help = new CDrowselHelpDlg();
    if (!help->Create(IDD_CONFIG_HELP, this)) {
        delete help;
        Logger::log("ERROR CDrowselConfigDlg::OnHelpButton cannot open the help dialog", 1);
        return;
    }
    m_help = help->m_hWnd;
}

CDrowselHelpDlg* CDrowselConfigDlg::HelpDialog() const
{
    return m_help && ::IsWindow(m_help) ? win::WindowAs<CDrowselHelpDlg>(m_help) : nullptr;
}

LRESULT CDrowselConfigDlg::OnSysCommand(WPARAM wParam, LPARAM lParam)
{
    if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
        CDrowselAboutDlg about(this);
        about.DoModal();
        return 0;
    }
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        OnCancel();
        return 0;
    }
    (void)lParam;
    return Default();
}

void CDrowselConfigDlg::OnOK()
{
    if (!UpdateData(TRUE)) return;
    // Speed, height and period are the user's whatever was handed over; the
    // picture is written only when none was.
    WriteConfig("Speed", std::to_string(m_speed));
    WriteConfig("FieldOfView", std::to_string(m_height));
    WriteConfig("Period", std::to_string(m_period));
    if (mayWrite) WriteConfig("ImageName", m_path);
    EndDialog(IDOK);
}

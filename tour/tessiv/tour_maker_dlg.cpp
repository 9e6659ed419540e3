#include "tour/tessiv/tour_maker_dlg.h"

#include "core/logger.h"
#include "platform/utilkit/log_base.h"
#include "platform/win/choose_dialogs.h"
#include "platform/win/data_exchange.h"
#include "platform/win/file_dialog.h"
#include "platform/win/file_system.h"
#include "platform/win/gdi.h"
#include "platform/win/shell.h"
#include "platform/win/system.h"
#include "platform/win/window_dc.h"
#include "tour/tessiv/file_utils.h"
#include "tour/tessiv/publish.h"
#include "tour/tessiv/tessiv_resources.h"
#include "tour/tessiv/tour_colors.h"
#include "tour/tessiv/tour_project.h"
#include "tour/tessiv/tour_sound.h"
#include "tour/tessiv/vista.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr UINT kEditIds[7] = {PTourMakerDlg::kTitle,     PTourMakerDlg::kSpinSpeed, PTourMakerDlg::kPageWidth,
                              PTourMakerDlg::kPageHeight, PTourMakerDlg::kFieldOfView, PTourMakerDlg::kFolder,
                              PTourMakerDlg::kPageName};
constexpr UINT kColorIds[3] = {PTourMakerDlg::kTitleColor, PTourMakerDlg::kBarColor, PTourMakerDlg::kPageColor};
constexpr int kBandHeight = 20;       // control bar and title bands of the preview
constexpr COLORREF kNoVistaViewer = 0x808000;

// The last `count` characters of a long name after "~", a short one after
// a blank.
std::string ShortName(const std::string& name, size_t count)
{
    if (name.size() > count) return "~" + name.substr(name.size() - count);
    return " " + name;
}

}  // namespace

// ---- Edit_Enter and CColorButton ----------------------------------------------------------------

void Edit_Enter::OnKeyDown(UINT ch, UINT repeat, UINT flags)
{
    if (ch == 13 && m_owner) {
        m_owner->OnEditEnter(GetDlgCtrlID(), WM_KEYDOWN, 13);
        return;
    }
    CEdit::OnKeyDown(ch, repeat, flags);
}

void CColorButton::SetColor(COLORREF color)
{
    m_color = color;
    if (m_hWnd) Invalidate();
}

void CColorButton::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis || !dis->hDC) return;
    CDC& dc = *dis->hDC;
    const RECT r = dis->rcItem;
    const bool pressed = (dis->itemState & ODS_SELECTED) != 0;
    const bool disabled = (dis->itemState & ODS_DISABLED) != 0;
    // The frame: light on the top-left, dark on the bottom-right (swapped
    // while pressed).
    const COLORREF light = pressed ? 0x404040 : 0xFFFFFF, dark = pressed ? 0xFFFFFF : 0x404040;
    dc.FillSolidRect(r.left, r.top, r.right - r.left, 1, light);
    dc.FillSolidRect(r.left, r.top, 1, r.bottom - r.top, light);
    dc.FillSolidRect(r.left, r.bottom - 1, r.right - r.left, 1, dark);
    dc.FillSolidRect(r.right - 1, r.top, 1, r.bottom - r.top, dark);
    const COLORREF face = disabled ? GetSysColor(COLOR_BTNFACE) : m_color;
    dc.FillSolidRect(r.left + 2, r.top + 2, r.right - r.left - 4, r.bottom - r.top - 4, face);
    const std::string caption = GetWindowText();
    if (caption.empty() || caption[0] == '.') return;
    RECT text = r;
    const COLORREF old = dc.SetTextColor(ContrastColor(face));
    const int oldMode = dc.SetBkMode(TRANSPARENT);
    dc.DrawText(caption, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    dc.SetBkMode(oldMode);
    dc.SetTextColor(old);
}

// ---- The dialog ---------------------------------------------------------------------------------

PTourMakerDlg::PTourMakerDlg() : CDialog(kTemplateId, nullptr) {}

PTourMakerDlg::~PTourMakerDlg()
{
    if (m_playing) StopSound();
}

bool PTourMakerDlg::Open(const char* programDir, CWnd* parent, UINT notifyMessage)
{
    m_parentWnd = parent;
    m_notifyMessage = notifyMessage;
    m_programDir = programDir ? programDir : "";
    m_workDir = m_programDir;
    if (!LogBase::canWriteFile(m_programDir.c_str())) {
        // The shared data folder, with the program's configuration copied
        // there once; any failure keeps the program folder.
        std::string quorvane, stitcher;
        bool ok = LogBase::GetCommonAppDataDir("\\Quorvane", quorvane) &&
                  LogBase::GetCommonAppDataDir("\\Quorvane\\stitcher", stitcher);
        if (ok) {
            const std::string config = stitcher + "\\" + kConfigFile;
            if (!LogBase::IsFileExists(config.c_str()))
                ok = CopyFile((m_programDir + "\\" + kConfigFile).c_str(), config.c_str(), TRUE) != FALSE;
        }
        if (ok) m_workDir = stitcher;
    }
    win::ModuleScope scope(TessivResources());
    if (!Create(kTemplateId, parent)) {
        Logger::log("ERROR PTourMakerDlg::Open: the dialog could not be made", 1);
        return false;
    }
    return ShowWindow(SW_SHOW) != FALSE || IsWindowVisible();
}

void PTourMakerDlg::AddVista(Image* thumbnail, const char* fileName, const TessivPanoramaValues& values)
{
    if (values.kind != 2 || !m_project) return;
    const int id = m_project->AddVista(thumbnail, fileName, values.kind, values.fullWidth, values.fullHeight,
                                       values.equatorWidth, values.column, values.row);
    m_strip.SetTour(m_project.get());
    if (id >= 0 && m_project->GetActiveVistaId() == id) ShowVistaInfo();
    RefreshButtons();
    Invalidate();
}

void PTourMakerDlg::Close()
{
    if (m_hWnd) DestroyWindow();
    delete this;
}

void PTourMakerDlg::PostNcDestroy() {}

void PTourMakerDlg::Notify(WPARAM what)
{
    if (m_parentWnd && m_parentWnd->GetSafeHwnd()) m_parentWnd->PostMessage(m_notifyMessage, what, 0);
}

void PTourMakerDlg::OnClose() { Notify(2); }
void PTourMakerDlg::OnDone() { Notify(2); }
void PTourMakerDlg::OnVistaLoad() { Notify(1); }

BOOL PTourMakerDlg::OnInitDialog()
{
    win::ModuleScope scope(TessivResources());
    SetIcon(LoadResourceIcon(128), TRUE);
    SetIcon(LoadResourceIcon(128), FALSE);
    m_project = std::make_unique<TourProject>(1);
    const std::string config = m_workDir + "\\" + kConfigFile;
    if (FILE* file = win::OpenFile(config, "rb")) {
        m_project->Load(file, false);
        std::fclose(file);
    }
    for (int i = 0; i < 7; ++i) {
        m_edits[i].SubclassDlgItem(kEditIds[i], this);
        m_edits[i].SetOwner(this);
    }
    m_loadButton.AutoLoad(kVistaLoad, this);
    m_loadButton.LoadBitmaps(295, 297, 298, 296);
    m_loadButton.SizeToContent();
    m_pageFileButton.AutoLoad(kPageFile, this);
    m_pageFileButton.LoadBitmaps(289, 290, 289, 290);
    m_pageFileButton.SizeToContent();
    m_publishButton.AutoLoad(kPublish, this);
    m_publishButton.LoadBitmaps(299, 301, 302, 300);
    m_publishButton.SizeToContent();
    m_progress.SubclassDlgItem(kProgress, this);
    m_progress.ShowWindow(SW_HIDE);

    CComboBox list;
    list.SubclassDlgItem(kViewerKind, this);
    list.ResetContent();
    list.AddString("Resizable - Flash");
    list.AddString("Framed - Java");
    list.SetCurSel(m_project->GetViewerKind() == 0 ? 0 : 1);
    list.UnsubclassWindow();

    // The strip takes the placeholder's place.
    if (CWnd* frame = GetDlgItem(kStrip)) {
        RECT r{};
        frame->GetWindowRect(&r);
        ScreenToClient(&r);
        frame->DestroyWindow();
        m_strip.Create(r, this, kStrip);
        m_strip.SetTour(m_project.get());
        m_strip.ShowWindow(SW_SHOW);
    }
    for (int i = 0; i < 3; ++i) m_colorButtons[i].SubclassDlgItem(kColorIds[i], this);
    // The preview is drawn by the dialog inside the frame's rectangle; the
    // frame itself would paint over it.
    if (CWnd* frame = GetDlgItem(kPreviewFrame)) {
        frame->GetWindowRect(&m_previewFrame);
        ScreenToClient(&m_previewFrame);
        frame->ShowWindow(SW_HIDE);
    }

    LoadControls();
    CDialog::OnInitDialog();
    return TRUE;
}

void PTourMakerDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, kTitle, m_title);
    DDX_Text(dx, kPageName, m_pageName);
    DDX_Text(dx, kFolder, m_folder);
    DDX_Text(dx, kPageWidth, m_pageWidth);
    DDX_Text(dx, kPageHeight, m_pageHeight);
    DDV_MinMaxInt(dx, m_pageHeight, 200, 1200);
    DDX_Text(dx, kFieldOfView, m_fieldOfView);
    DDV_MinMaxInt(dx, m_fieldOfView, 30, 120);
    DDX_Text(dx, kSpinSpeed, m_spinSpeed);
    DDV_MinMaxInt(dx, m_spinSpeed, -20, 20);
    DDX_Check(dx, kNoColor, m_noColor);
    DDX_Radio(dx, kHigh, m_quality);
}

const win::MessageMap* PTourMakerDlg::GetMessageMap() const
{
    using D = PTourMakerDlg;
    static const win::MessageMap map(
        CDialog::GetMessageMap(),
        {
            win::on::Control(EN_KILLFOCUS, kPageWidth, &D::OnWidthOrHeight),
            win::on::Control(EN_KILLFOCUS, kPageHeight, &D::OnWidthOrHeight),
            win::on::Control(EN_KILLFOCUS, kFieldOfView, &D::OnFieldOfView),
            win::on::Control(EN_KILLFOCUS, kSpinSpeed, &D::OnSpinSpeed),
            win::on::Control(EN_KILLFOCUS, kTitle, &D::OnTitleEdit),
            win::on::Control(EN_KILLFOCUS, kFolder, &D::OnFolderEdit),
            win::on::Control(EN_KILLFOCUS, kPageName, &D::OnPageNameEdit),
            win::on::Control(BN_CLICKED, kShowTitle, &D::OnShowTitle),
            win::on::Control(BN_CLICKED, kNoColor, &D::OnNoColor),
            win::on::Control(BN_CLICKED, kHigh, &D::OnQuality),
            win::on::Control(BN_CLICKED, kMedium, &D::OnQuality),
            win::on::Control(BN_CLICKED, kLow, &D::OnQuality),
            win::on::Control(CBN_SELCHANGE, kViewerKind, &D::OnViewerKind),
            win::on::Control(BN_CLICKED, kVistaLoad, &D::OnVistaLoad),
            win::on::Control(BN_CLICKED, kSoundLoad, &D::OnSoundLoad),
            win::on::Control(BN_CLICKED, kSoundPlay, &D::OnSoundPlay),
            win::on::Control(BN_CLICKED, kSoundUse, &D::OnSoundUse),
            win::on::Control(BN_CLICKED, kPageFile, &D::OnPageFile),
            win::on::Control(BN_CLICKED, kPublish, &D::OnPublish),
            win::on::Control(BN_CLICKED, kPreview, &D::OnPreview),
            win::on::Control(BN_CLICKED, kSaveConfig, &D::OnSaveConfig),
            win::on::Control(BN_CLICKED, kDone, &D::OnDone),
            win::on::Control(BN_CLICKED, kTitleColor, &D::OnTitleColor),
            win::on::Control(BN_CLICKED, kBarColor, &D::OnBarColor),
            win::on::Control(BN_CLICKED, kPageColor, &D::OnPageColor),
            win::on::Control(BN_CLICKED, kTitleFont, &D::OnTitleFont),
            win::on::Message(BenchWnd::kNotify, &D::OnStripNotify),
        });
    return &map;
}

BOOL PTourMakerDlg::PreTranslateMessage(MSG* msg)
{
    // Enter in one of the Edit_Enter controls goes to the control, not to
    // the dialog's default button.
    if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
        for (const Edit_Enter& edit : m_edits)
            if (edit.GetSafeHwnd() && msg->hwnd == edit.GetSafeHwnd()) return FALSE;
    return CDialog::PreTranslateMessage(msg);
}

int PTourMakerDlg::OnEditEnter(int controlId, int message, int key)
{
    if (message == WM_KEYDOWN && key == 13 && controlId >= 1004 && controlId <= 1244) RunEditHandler(controlId);
    return 0;
}

bool PTourMakerDlg::RunEditHandler(int id)
{
    switch (id) {
    case kPageWidth:
    case kPageHeight: OnWidthOrHeight(); return true;
    case kFieldOfView: OnFieldOfView(); return true;
    case kSpinSpeed: OnSpinSpeed(); return true;
    case kTitle: OnTitleEdit(); return true;
    case kFolder: OnFolderEdit(); return true;
    case kPageName: OnPageNameEdit(); return true;
    default: return false;
    }
}

// ---- Loading and showing ----------------------------------------------------------------------

void PTourMakerDlg::LoadControls()
{
    TourProject& p = *m_project;
    m_pageWidth = p.GetPageWidth();
    m_pageHeight = p.GetPageHeight();
    m_fieldOfView = p.GetFieldOfView();
    m_spinSpeed = p.GetSpinSpeed();
    const TextStyle& title = p.GetTitle();
    m_title = title.GetText() ? title.GetText() : "";
    if (m_title.empty()) p.SetTitleShown(false);
    CheckDlgButton(kShowTitle, p.GetTitle().IsShown() ? BST_CHECKED : BST_UNCHECKED);
    m_colors[0] = title.GetTextColor();
    m_colors[1] = p.GetControlBarColor();
    m_colors[2] = p.GetPageBgColor();
    for (int i = 0; i < 3; ++i) m_colorButtons[i].SetColor(m_colors[i]);
    m_noColor = p.GetControlBarColored() ? 0 : 1;
    if (CWnd* bar = GetDlgItem(kBarColor)) bar->EnableWindow(!m_noColor);
    m_quality = std::clamp(p.GetImageQuality(), 0, 2);
    m_pageName = p.GetPageName() ? p.GetPageName() : "";
    m_folder = p.GetFolder() ? p.GetFolder() : "";
    UpdateData(FALSE);
    ShowTurnTime();
    RefreshSound();
    ShowVistaInfo();
    RefreshButtons();
}

void PTourMakerDlg::ShowVistaInfo()
{
    Vista* vista = m_project ? m_project->GetActiveVista() : nullptr;
    if (!vista) {
        SetDlgItemText(kVistaFile, "File: ");
        SetDlgItemText(kVistaSize, "Size: ");
        SetDlgItemText(kInitialView, "(H,V) = (0.00, 0.00)");
        return;
    }
    SetDlgItemText(kVistaFile, ("File: " + ShortName(vista->GetFileName() ? vista->GetFileName() : "", 50)).c_str());
    char text[96];
    std::snprintf(text, sizeof text, "Size: %dx%d", vista->GetWidth(), vista->GetHeight());
    SetDlgItemText(kVistaSize, text);
    std::snprintf(text, sizeof text, "(H,V) = (%.2f, %.2f)", vista->GetInitialViewH(), vista->GetInitialViewV());
    SetDlgItemText(kInitialView, text);
}

void PTourMakerDlg::ShowTurnTime()
{
    const int speed = std::abs(m_spinSpeed);
    const int seconds = speed ? static_cast<int>(360.0 / speed + 0.5) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%d seconds", seconds);
    SetDlgItemText(kTurnTime, text);
}

void PTourMakerDlg::RefreshSound()
{
    const char* sound = m_project->GetBgSoundPath();
    CWnd* play = GetDlgItem(kSoundPlay);
    CWnd* use = GetDlgItem(kSoundUse);
    if (sound) {
        const std::string name = sound;
        SetDlgItemText(kSoundName, name.size() > 50 ? name.substr(name.size() - 50).c_str() : sound);
        if (play) play->EnableWindow(TRUE);
        if (use) use->EnableWindow(TRUE);
        CheckDlgButton(kSoundUse, m_project->GetUseSound() ? BST_CHECKED : BST_UNCHECKED);
    } else {
        SetDlgItemText(kSoundName, "none");
        if (play) play->EnableWindow(FALSE);
        CheckDlgButton(kSoundUse, BST_UNCHECKED);
        if (use) use->EnableWindow(FALSE);
    }
}

void PTourMakerDlg::RefreshButtons()
{
    const bool vistas = m_project && m_project->GetVistaCount() > 0;
    if (CWnd* publish = GetDlgItem(kPublish)) publish->EnableWindow(vistas);
    if (CWnd* save = GetDlgItem(kSaveConfig)) save->EnableWindow(m_project && m_project->HasUnsavedChanges());
    if (CWnd* preview = GetDlgItem(kPreview)) preview->EnableWindow(m_published);
}

// ---- Edits ------------------------------------------------------------------------------------

void PTourMakerDlg::OnWidthOrHeight()
{
    if (!UpdateData(TRUE)) return;
    if (m_pageWidth == m_project->GetPageWidth() && m_pageHeight == m_project->GetPageHeight()) return;
    m_pageWidth = std::clamp(m_pageWidth, 300, 1200);
    SetDlgItemInt(kPageWidth, static_cast<UINT>(m_pageWidth));
    m_project->SetPageSize(m_pageWidth, m_pageHeight);
    m_strip.Invalidate();
    RefreshButtons();
    Invalidate();
}

void PTourMakerDlg::OnFieldOfView()
{
    if (!UpdateData(TRUE)) return;
    if (m_fieldOfView == m_project->GetFieldOfView()) return;
    m_project->SetFieldOfView(m_fieldOfView);
    m_strip.Invalidate();
    RefreshButtons();
    Invalidate();
}

void PTourMakerDlg::OnSpinSpeed()
{
    if (!UpdateData(TRUE)) return;
    if (m_spinSpeed == 0) {
        m_spinSpeed = 1;
        SetDlgItemInt(kSpinSpeed, 1);
    }
    m_project->SetSpinSpeed(m_spinSpeed);
    ShowTurnTime();
    RefreshButtons();
}

void PTourMakerDlg::OnTitleEdit()
{
    if (!UpdateData(TRUE)) return;
    m_project->SetTitleText(m_title.empty() ? nullptr : m_title.c_str());
    RefreshButtons();
    Invalidate();
}

void PTourMakerDlg::OnFolderEdit()
{
    if (!UpdateData(TRUE)) return;
    m_project->SetFolder(m_folder.c_str());
    RefreshButtons();
}

void PTourMakerDlg::OnPageNameEdit()
{
    if (!UpdateData(TRUE)) return;
    m_project->SetPageName(m_pageName.c_str());
    RefreshButtons();
}

void PTourMakerDlg::OnShowTitle()
{
    m_project->SetTitleShown(IsDlgButtonChecked(kShowTitle) == BST_CHECKED);
    RefreshButtons();
    Invalidate();
}

void PTourMakerDlg::OnNoColor()
{
    m_noColor = IsDlgButtonChecked(kNoColor) == BST_CHECKED ? 1 : 0;
    if (CWnd* bar = GetDlgItem(kBarColor)) bar->EnableWindow(!m_noColor);
    m_project->SetControlBarColored(!m_noColor);
    RefreshButtons();
    Invalidate();
}

void PTourMakerDlg::OnQuality()
{
    m_quality = std::max(0, GetCheckedRadioButton(kHigh, kLow) - static_cast<int>(kHigh));
    m_project->SetImageQuality(m_quality);
    RefreshButtons();
}

void PTourMakerDlg::OnViewerKind()
{
    CComboBox list;
    list.SubclassDlgItem(kViewerKind, this);
    const int kind = list.GetCurSel() == 0 ? 0 : 1;
    list.UnsubclassWindow();
    m_project->SetViewerKind(kind);
    RefreshButtons();
}

// ---- Colours, font, sound ---------------------------------------------------------------------

void PTourMakerDlg::ApplyColor(int which, COLORREF color)
{
    if (which < 0 || which > 2) return;
    m_colors[which] = color;
    m_colorButtons[which].SetColor(color);
    if (which == 0) m_project->SetTitleColor(color);
    if (which == 1) m_project->SetControlBarColor(color);
    if (which == 2) m_project->SetPageBgColor(color);
    RefreshButtons();
    Invalidate();
}

void PTourMakerDlg::ApplyFont(const char* face, int twentieths, int weight, bool italic)
{
    m_project->SetTitleFont(face, twentieths, (weight >= 700 ? 1 : 0) + (italic ? 2 : 0));
    RefreshButtons();
    Invalidate();
}

void PTourMakerDlg::ChooseColor(int which)
{
    CColorDialog chooser(m_colors[which], CC_FULLOPEN | CC_RGBINIT, this);
    if (chooser.DoModal() == IDOK) ApplyColor(which, chooser.GetColor());
}

void PTourMakerDlg::OnTitleColor() { ChooseColor(0); }
void PTourMakerDlg::OnBarColor() { ChooseColor(1); }
void PTourMakerDlg::OnPageColor() { ChooseColor(2); }

void PTourMakerDlg::OnTitleFont()
{
    const TextStyle& title = m_project->GetTitle();
    ChosenFont font;
    font.faceName = title.GetFaceName() ? title.GetFaceName() : "";
    font.pointSize = title.GetSize() / 2;  // twentieths to tenths of a point
    font.weight = title.IsBold() ? 700 : 400;
    font.italic = title.IsItalic();
    CFontDialog chooser(&font, CF_EFFECTS | CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT, this);
    chooser.m_cf.rgbColors = title.GetTextColor();
    if (chooser.DoModal() != IDOK) return;
    ApplyFont(chooser.GetFaceName().c_str(), chooser.GetSize() * 2, chooser.GetWeight(), chooser.IsItalic() != FALSE);
}

void PTourMakerDlg::OnSoundLoad()
{
    const char* current = m_project->GetBgSoundPath();
    CFileDialog chooser(TRUE, "wav", current, OFN_HIDEREADONLY,
                        "Sound File (*.mid,*.wav,*.mp3,*.rmi,*.wma)|*.mid;*.wav;*.mp3;*.rmi;*.wma||", this);
    chooser.m_ofn.lpstrTitle = "Select Sound File";
    if (chooser.DoModal() != IDOK) return;
    m_project->SetBgSound(chooser.GetPathName().c_str());
    m_project->SetUseSound(true);
    RefreshSound();
    RefreshButtons();
}

void PTourMakerDlg::OnSoundPlay()
{
    if (m_playing) {
        StopSound();
        m_playing = false;
        SetDlgItemText(kSoundPlay, "Play");
        return;
    }
    const char* sound = m_project->GetBgSoundPath();
    if (!sound) return;
    const int result = PlaySoundFile(sound);
    if (result != 0) {
        // The preview's result codes as the user reads them.
        std::string text;
        if (result == kSoundNotFound) text = std::string("Cannot find sound file:\n") + sound;
        else if (result == kSoundUnknownKind) text = std::string("Unknown sound file type:\n") + sound;
        else if (result == kSoundSequencerMissing) text = "The MIDI sequencer is missing or busy.";
        else text = "Cannot play sound file:\n" + std::string(sound);
        AfxMessageBox(text.c_str(), MB_OK);
        return;
    }
    m_playing = true;
    SetDlgItemText(kSoundPlay, "Stop");
}

void PTourMakerDlg::OnSoundUse()
{
    m_project->SetUseSound(IsDlgButtonChecked(kSoundUse) == BST_CHECKED);
    RefreshButtons();
}

// ---- Configuration, page file, publish, preview -----------------------------------------------

void PTourMakerDlg::OnSaveConfig()
{
    const std::string path = m_workDir + "\\" + kConfigFile;
    FILE* file = win::OpenFile(path, "wb");
    bool saved = false;
    if (file) {
        saved = m_project->Save(file, false);
        saved = std::fclose(file) == 0 && saved;
    }
    if (!saved) {
        // The unsaved state stays: the user may save again elsewhere.
        m_project->MarkChanged();
        AfxMessageBox(("Cannot save configuration file:\n" + path).c_str(), MB_OK);
    }
    RefreshButtons();
}

void PTourMakerDlg::OnPageFile()
{
    CFileDialog chooser(FALSE, "htm", m_pageName.c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                        "Html file (*.htm)|*.htm||", this);
    chooser.m_ofn.lpstrTitle = "Create web htm File";
    const bool pending = m_publishPending;
    m_publishPending = false;
    if (chooser.DoModal() != IDOK) return;
    const std::string path = chooser.GetPathName();
    const size_t cut = path.find_last_of("\\/");
    m_pageName = cut == std::string::npos ? path : path.substr(cut + 1);
    m_folder = cut == std::string::npos ? std::string() : path.substr(0, cut);
    m_project->SetPageName(m_pageName.c_str());
    m_project->SetFolder(m_folder.c_str());
    LoadControls();
    if (pending) PostMessage(WM_COMMAND, MAKEWPARAM(kPublish, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(kPublish)->GetSafeHwnd()));
}

void PTourMakerDlg::OnPublish()
{
    if (!UpdateData(TRUE)) return;
    m_publishPending = false;
    if (m_folder.empty() || m_pageName.empty()) {
        m_publishPending = true;
        PostMessage(WM_COMMAND, MAKEWPARAM(kPageFile, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(kPageFile)->GetSafeHwnd()));
        return;
    }
    m_project->SetStripEnabled(m_project->GetStripEnabled());
    m_project->ComputeLayout();

    CComboBox list;
    list.SubclassDlgItem(kViewerKind, this);
    const bool flash = list.GetCurSel() == 0;
    list.UnsubclassWindow();

    PublishSettings& s = GetPublishSettings();
    s = PublishSettings();
    s.tourTitle = m_title;
    s.pageName = m_pageName;
    s.publishFolder = m_folder;
    s.pageWidth = m_pageWidth;
    s.pageHeight = m_pageHeight;
    s.fieldOfView = m_fieldOfView;
    s.spinSpeed = m_spinSpeed;
    s.quality = m_quality;
    s.skin = 0;
    s.programFolder = m_programDir;
    s.project = m_project.get();
    s.backgroundSound = m_project->HasBgSound();
    SetViewerFiles(s, flash);

    if (CWnd* publish = GetDlgItem(kPublish)) publish->ShowWindow(SW_HIDE);
    m_progress.SetRange32(0, 100);
    m_progress.SetPos(0);
    m_progress.ShowWindow(SW_SHOW);
    const bool ok = RunPublish(s, [this](int position) { m_progress.SetPos(position); });
    if (ok) {
        m_published = true;
        if (CWnd* done = GetDlgItem(kDone)) done->EnableWindow(TRUE);
    }
    m_progress.ShowWindow(SW_HIDE);
    if (CWnd* publish = GetDlgItem(kPublish)) publish->ShowWindow(SW_SHOW);
    RefreshButtons();
}

void PTourMakerDlg::OnPreview()
{
    if (!m_project || m_project->GetVistaCount() == 0) {
        AfxMessageBox("Please set panorama file name.", MB_OK);
        return;
    }
    const PublishSettings& s = GetPublishSettings();
    const std::string page = s.publishFolder + "\\" + s.starterPrefix + s.pageName;
    ShellExecute(GetSafeHwnd(), "open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

LRESULT PTourMakerDlg::OnStripNotify(WPARAM wParam, LPARAM lParam)
{
    if (wParam == 0) {
        UpdateData(TRUE);
        ShowVistaInfo();
    } else if (wParam == 1 && lParam) {
        const float* hv = reinterpret_cast<const float*>(lParam);
        char text[64];
        std::snprintf(text, sizeof text, "(H,V) = (%.2f, %.2f)", hv[0], hv[1]);
        SetDlgItemText(kInitialView, text);
        Invalidate();
    } else if (wParam == 2) {
        ShowVistaInfo();
    }
    RefreshButtons();
    return 0;
}

// ---- Page preview ------------------------------------------------------------------------------

PTourMakerDlg::PreviewBoxes PTourMakerDlg::ComputePreview() const
{
    PreviewBoxes b;
    if (!m_project) return b;
    const RECT f = m_previewFrame;
    const bool title = m_project->IsTitleShown();
    const int bands = kBandHeight + (title ? kBandHeight : 0);
    const int fw = f.right - f.left, fh = f.bottom - f.top - bands;
    const int pw = std::max(1, m_project->GetPageWidth()), ph = std::max(1, m_project->GetPageHeight());
    if (fw <= 0 || fh <= 0) return b;
    // The page scaled to fit with its proportions, centred where room is left.
    int w = fw, h = static_cast<int>(static_cast<int64_t>(fw) * ph / pw);
    if (h > fh) {
        h = fh;
        w = static_cast<int>(static_cast<int64_t>(fh) * pw / ph);
    }
    const int left = f.left + (fw - w) / 2;
    const int top = f.top + (fh - h) / 2;
    b.outline = RECT{left, top, left + w, top + h + bands};
    b.title = title ? RECT{left, top, left + w, top + kBandHeight} : RECT{left, top, left + w, top};
    b.viewer = RECT{left, b.title.bottom, left + w, b.title.bottom + h};
    b.controlBar = RECT{left, b.viewer.bottom, left + w, b.viewer.bottom + kBandHeight};
    return b;
}

void PTourMakerDlg::ComputeLayoutPreview(RECT boxes[kLayoutBoxCount])
{
    for (int k = 0; k < kLayoutBoxCount; ++k) boxes[k] = RECT{};
    const PreviewBoxes b = ComputePreview();
    const int w = b.viewer.right - b.viewer.left, h = b.viewer.bottom - b.viewer.top;
    const int pw = m_project ? m_project->GetPageWidth() : 0, ph = m_project ? m_project->GetPageHeight() : 0;
    if (w <= 0 || h <= 0 || pw <= 0 || ph <= 0) return;
    RECT edges[kLayoutBoxCount];
    m_project->ComputeLayout(edges, true);
    // Page pixels to preview pixels, rounded to the nearest.
    auto x = [&](int v) { return b.viewer.left + static_cast<int>((static_cast<int64_t>(v) * w * 2 + pw) / (2 * pw)); };
    auto y = [&](int v) { return b.viewer.top + static_cast<int>((static_cast<int64_t>(v) * h * 2 + ph) / (2 * ph)); };
    for (int k : {kTourMapBox, kStripBox, kTitleBox, kControlBox}) {
        const RECT& e = edges[k];
        if (e.right <= e.left || e.bottom <= e.top) continue;
        const RECT r{x(std::clamp<int>(e.left, 0, pw)), y(std::clamp<int>(e.top, 0, ph)),
                     x(std::clamp<int>(e.right, 0, pw)), y(std::clamp<int>(e.bottom, 0, ph))};
        // At least two pixels each way so that a thin box still shows.
        if (r.right - r.left >= 2 && r.bottom - r.top >= 2) boxes[k] = r;
    }
}

RECT PTourMakerDlg::PageOutline() const
{
    RECT client{};
    GetClientRect(&client);
    return RECT{client.right - m_project->GetPageWidth(), client.bottom - m_project->GetPageHeight(), client.right,
                client.bottom};
}

void PTourMakerDlg::OnPaint()
{
    CPaintDC dc(this);
    if (m_project) DrawPreview(dc);
}

void PTourMakerDlg::DrawPreview(CDC& dc)
{
    const PreviewBoxes b = ComputePreview();
    if (b.outline.right <= b.outline.left) return;
    const TourProject& p = *m_project;
    const COLORREF page = p.GetPageBgColor();
    const int oldMode = dc.SetBkMode(TRANSPARENT);
    if (b.title.bottom > b.title.top) {
        dc.FillSolidRect(b.title.left, b.title.top, b.title.right - b.title.left, b.title.bottom - b.title.top, page);
        const COLORREF old = dc.SetTextColor(p.GetTitle().GetTextColor());
        RECT t{b.title.left, b.title.top + 2, b.title.right, b.title.bottom};
        dc.DrawText(p.GetTitle().GetText() ? p.GetTitle().GetText() : "", &t, DT_CENTER | DT_SINGLELINE);
        dc.SetTextColor(old);
    }
    Vista* vista = p.GetVista(0);
    const RefPtr<Image> thumb = RefPtr<Image>::adopt(vista ? vista->GetShownThumbnail() : nullptr);
    if (thumb && vista->GetWidth() > 0 && vista->GetHeight() > 0) {
        float fovH = 0, fovV = 0;
        p.GetViewerFov(vista, fovH, fovV);
        const int tw = thumb->GetWidth(), th = thumb->GetHeight();
        const double cx = (vista->GetInitialViewH() + 1) * 0.5 * tw + 0.5;
        const double cy = (vista->GetInitialViewV() + 1) * 0.5 * th + 0.5;
        const int equator = vista->GetEquatorWidth() > 0 ? vista->GetEquatorWidth() : vista->GetWidth();
        const double hw = tw * static_cast<double>(fovH) * equator / (vista->GetWidth() * 720.0);
        const double hh = th * static_cast<double>(fovV) * equator / (vista->GetHeight() * 720.0);
        const int x0 = std::clamp(static_cast<int>(cx - hw), 0, tw - 1);
        const int y0 = std::clamp(static_cast<int>(cy - hh), 0, th - 1);
        const int x1 = std::clamp(static_cast<int>(cx + hw), x0 + 1, tw);
        const int y1 = std::clamp(static_cast<int>(cy + hh), y0 + 1, th);
        DrawTessivImage(dc, *thumb, b.viewer, x0, y0, x1 - x0, y1 - y0);
    } else {
        dc.FillSolidRect(b.viewer.left, b.viewer.top, b.viewer.right - b.viewer.left, b.viewer.bottom - b.viewer.top,
                         kNoVistaViewer);
        const COLORREF old = dc.SetTextColor(0xFFFFFF);
        RECT t = b.viewer;
        dc.DrawText("Viewer", &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        dc.SetTextColor(old);
    }
    const COLORREF bar = p.GetControlBarColored() ? p.GetControlBarColor() : page;
    dc.FillSolidRect(b.controlBar.left, b.controlBar.top, b.controlBar.right - b.controlBar.left,
                     b.controlBar.bottom - b.controlBar.top, bar);
    {
        const COLORREF old = dc.SetTextColor(ContrastColor(bar));
        RECT t = b.controlBar;
        dc.DrawText("Control Bar", &t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        dc.SetTextColor(old);
    }
    dc.SelectStockObject(NULL_BRUSH);
    CPen line(PS_SOLID, 1, 0x000000);
    CPen* oldPen = dc.SelectObject(&line);
    // Where the page's parts will lie, each outlined in its own colour.
    RECT layout[kLayoutBoxCount];
    ComputeLayoutPreview(layout);
    for (int k = 0; k < kLayoutBoxCount; ++k) {
        if (layout[k].right <= layout[k].left) continue;
        CPen pen(PS_SOLID, 1, kLayoutBoxColors[k]);
        dc.SelectObject(&pen);
        dc.Rectangle(layout[k]);
        dc.SelectObject(&line);
    }
    dc.Rectangle(b.viewer);
    dc.Rectangle(b.outline);
    // The page at its true size, anchored at the bottom-right corner.
    CPen red(PS_SOLID, 1, 0x0000FF);
    dc.SelectObject(&red);
    const RECT outline = PageOutline();
    dc.Rectangle(outline);
    char size[32];
    std::snprintf(size, sizeof size, "%d x %d", p.GetPageWidth(), p.GetPageHeight());
    RECT sizeText{outline.left + 4, outline.top + 2, outline.left + 200, outline.top + 20};
    const COLORREF oldText = dc.SetTextColor(0x0000FF);
    dc.DrawText(size, &sizeText, DT_LEFT | DT_SINGLELINE);
    dc.SetTextColor(oldText);
    dc.SelectObject(oldPen);
    dc.SetBkMode(oldMode);
}

void PTourMakerDlg::OnLButtonDown(UINT, CPoint point)
{
    if (!m_project) return;
    RECT client{};
    GetClientRect(&client);
    const RECT outline = PageOutline();
    if (client.right - point.x <= 15 && std::abs(point.y - outline.top) <= 7) {
        m_dragging = true;
        m_dragHeight = true;
        m_dragLast = point.y;
    } else if (client.bottom - point.y <= 15 && std::abs(point.x - outline.left) <= 7) {
        m_dragging = true;
        m_dragHeight = false;
        m_dragLast = point.x;
    }
    if (m_dragging) SetCapture();
}

void PTourMakerDlg::OnMouseMove(UINT, CPoint point)
{
    if (!m_dragging) return;
    const int now = m_dragHeight ? point.y : point.x;
    const int d = m_dragLast - now;  // up or left grows the page
    if (d == 0) return;
    m_dragLast = now;
    if (m_dragHeight) {
        m_pageHeight = std::clamp(m_project->GetPageHeight() + d, 200, 1200);
        SetDlgItemInt(kPageHeight, static_cast<UINT>(m_pageHeight));
    } else {
        m_pageWidth = std::clamp(m_project->GetPageWidth() + d, 300, 1200);
        SetDlgItemInt(kPageWidth, static_cast<UINT>(m_pageWidth));
    }
    m_project->SetPageSize(m_pageWidth, m_pageHeight);
    Invalidate();
}

void PTourMakerDlg::OnLButtonUp(UINT, CPoint)
{
    if (!m_dragging) return;
    m_dragging = false;
    if (CWnd::GetCapture() == this) ReleaseCapture();
    RefreshButtons();
    Invalidate();
    m_strip.Invalidate();
}

// ---- Entry ------------------------------------------------------------------------------------------

ITessiv* CreateTessiv()
{
    try {
        return new PTourMakerDlg();
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR CreateTessiv: out of memory", 1);
        return nullptr;
    }
}

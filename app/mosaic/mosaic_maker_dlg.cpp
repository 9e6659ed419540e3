#include "app/mosaic/mosaic_maker_dlg.h"

#include "app/control/super_manager.h"
#include "app/mosaic/mosaic_layout.h"
#include "app/mosaic/mosaic_preview_pane.h"
#include "app/views/image_loaders.h"
#include "core/logger.h"
#include "imaging/image.h"
#include "platform/imgcore/ps_map.h"
#include "platform/win/choose_dialogs.h"
#include "platform/win/data_exchange.h"
#include "platform/win/file_dialog.h"
#include "platform/win/resources.h"

#include <cstdio>
#include <string>

CMosaicMakerDlg::CMosaicMakerDlg() : CDialog(kTemplateId) {}

CMosaicMakerDlg::~CMosaicMakerDlg()
{
    CMosaicPreviewPane* pane = m_pane;
    m_pane = nullptr;
    if (pane) {
        if (pane->GetSafeHwnd()) pane->DestroyWindow();
        delete pane;
    }
    ReleaseImage(m_backgroundImage);
    m_backgroundImage = nullptr;
}

void CMosaicMakerDlg::SetLayout(MosaicLayout* layout)
{
    m_layout = layout;
    if (layout) m_tileCount = layout->GetTileCount();
    if (m_hWnd) UpdateData(FALSE);
}

PSMap* CMosaicMakerDlg::GetBackgroundMap()
{
    if (!m_backgroundMap) m_backgroundMap = std::make_unique<PSMap>();
    return m_backgroundMap.get();
}

Image* CMosaicMakerDlg::MakeBackground(int width)
{
    return m_layout ? m_layout->MakeBackground(width) : nullptr;
}

void CMosaicMakerDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, kTileCount, m_tileCount);
    DDX_Radio(dx, kColorRadio, m_backgroundKind);
    int sky = m_sky ? 1 : 0, ground = m_ground ? 1 : 0;
    DDX_Check(dx, kSky, sky);
    DDX_Check(dx, kGround, ground);
    m_sky = sky != 0;
    m_ground = ground != 0;
}

void CMosaicMakerDlg::ReadFields()
{
    if (m_hWnd) UpdateData(TRUE);
}

BOOL CMosaicMakerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_tileEdit.SubclassDlgItem(kTileCount, this);
    m_tileEdit.SetOwner(this);
    if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(kResolution))) {
        slider->SetRange(10, 100);
        slider->SetTicFreq(10);
    }
    // The picture radio waits for a picture.
    if (CWnd* radio = GetDlgItem(kImageRadio)) radio->EnableWindow(m_backgroundImage ? TRUE : FALSE);
    ShowResolution();
    return TRUE;
}

void CMosaicMakerDlg::ShowResolution()
{
    if (!m_hWnd || !m_layout) return;
    const int percent = m_layout->GetResolutionPercent();
    if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(kResolution))) slider->SetPos(percent);
    char text[64];
    std::snprintf(text, sizeof text, "%d%%", percent);
    SetDlgItemText(kPercentText, text);
    std::snprintf(text, sizeof text, "%dx%d", m_layout->GetSpanWidth() * percent / 100,
                  m_layout->GetSpanHeight() * percent / 100);
    SetDlgItemText(kSizeText, text);
}

void CMosaicMakerDlg::OnResolution(UINT code, int position)
{
    if (!m_layout) return;
    if (code == TB_ENDTRACK) {
        auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(kResolution));
        if (!slider) return;
        position = slider->GetPos();
    } else if (code != TB_THUMBTRACK) {
        return;
    }
    if (position == m_layout->GetResolutionPercent()) return;
    m_layout->SetResolutionPercent(position);
    ShowResolution();
}

void CMosaicMakerDlg::OnHScroll(UINT code, UINT pos, CWnd* scrollCtrl)
{
    if (scrollCtrl && scrollCtrl->GetDlgCtrlID() == static_cast<int>(kResolution))
        OnResolution(code, static_cast<int>(pos));
}

int CMosaicMakerDlg::OnEditEnter(int controlId, int message, int key)
{
    if (controlId != static_cast<int>(kTileCount) || message != WM_KEYDOWN || key != 13) return 0;
    const int before = m_tileCount;
    ReadFields();
    if (m_tileCount != before && m_layout) {
        m_layout->ApplyDialogSettings();
        // A refused count shows the layout's count again.
        if (m_layout->GetTileCount() != m_tileCount) {
            m_tileCount = m_layout->GetTileCount();
            if (m_hWnd) UpdateData(FALSE);
        }
        ShowResolution();
    }
    return 0;
}

BOOL CMosaicMakerDlg::PreTranslateMessage(MSG* msg)
{
    // Enter in the tile-count edit belongs to the edit, not the default button.
    if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN && m_tileEdit.GetSafeHwnd() &&
        msg->hwnd == m_tileEdit.GetSafeHwnd())
        return FALSE;
    return CDialog::PreTranslateMessage(msg);
}

void CMosaicMakerDlg::OnSkyOrGround()
{
    ReadFields();
    if (m_layout) m_layout->ApplyDialogSettings();
}

void CMosaicMakerDlg::OnSelectColour()
{
    CColorDialog chooser(m_backgroundColour, CC_RGBINIT | CC_FULLOPEN, this);
    if (chooser.DoModal() != IDOK) return;
    const COLORREF colour = chooser.GetColor();
    if (colour == m_backgroundColour) return;
    m_backgroundColour = colour;
    if (m_backgroundKind == 0 && m_pane) m_pane->SetBackgroundColour(colour);
}

namespace {

// A grey photograph as a colour picture (the grey replicated into the three
// samples), so it can lie behind the three-channel foreground. A picture that
// is already 8-bit colour is handed back as it is, with its reference.
Image* ColourPicture(Image* picture)
{
    if (!picture || picture->GetChannels() != 1 || picture->GetDataType() != IMG_UINT8 || !picture->GetData())
        return picture;
    const int width = picture->GetWidth(), height = picture->GetHeight();
    auto* colour = new Image();
    const int failed = picture->IsBmp() ? colour->BmpInit(width, height, 3)
                                        : (colour->Create(width, height, 3, IMG_UINT8) ? 0 : 1);
    if (failed || !colour->GetData()) {
        Logger::log("ERROR CMosaicMakerDlg::OnOpenPicture cannot make a %d x %d colour picture", 1, width, height);
        ReleaseImage(colour);
        ReleaseImage(picture);
        return nullptr;
    }
    // Rows keep their order: both images have the same layout.
    for (int r = 0; r < height; ++r) {
        const unsigned char* in = picture->GetData() + static_cast<size_t>(r) * picture->GetRowByte();
        unsigned char* out = colour->GetData() + static_cast<size_t>(r) * colour->GetRowByte();
        for (int i = 0; i < width; ++i) out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = in[i];
    }
    ReleaseImage(picture);
    return colour;
}

}  // namespace

void CMosaicMakerDlg::OnOpenPicture()
{
    CFileDialog chooser(TRUE, "jpg", m_backgroundPath.empty() ? nullptr : m_backgroundPath.c_str(),
                        OFN_HIDEREADONLY | OFN_FILEMUSTEXIST, "Jpeg File (*.jpg)|*.jpg||", this);
    chooser.m_ofn.lpstrTitle = "Find Image";
    if (chooser.DoModal() != IDOK) return;
    const std::string path = chooser.GetPathName();
    if (path.empty() || path == m_backgroundPath) return;
    Image* picture = nullptr;
    LoadImage(path.c_str(), &picture);
    picture = ColourPicture(picture);
    if (!picture) return;  // unreadable, or a panorama that opened in its own window
    ReleaseImage(m_backgroundImage);
    m_backgroundImage = picture;
    m_backgroundPath = path;
    if (m_backgroundKind == 1 && m_pane) m_pane->SetBackgroundImage(picture);
    if (m_hWnd)
        if (CWnd* radio = GetDlgItem(kImageRadio)) radio->EnableWindow(TRUE);
}

void CMosaicMakerDlg::OnColourRadio()
{
    ReadFields();
    if (m_backgroundKind == 0 && m_pane) m_pane->SetBackgroundColour(m_backgroundColour);
}

void CMosaicMakerDlg::OnImageRadio()
{
    ReadFields();
    if (m_backgroundKind == 1 && m_backgroundImage && m_pane) m_pane->SetBackgroundImage(m_backgroundImage);
}

void CMosaicMakerDlg::Refresh()
{
    if (m_pane) {
        if (m_pane->GetSafeHwnd()) m_pane->ShowWindow(SW_SHOW);
        return;
    }
    RegisterMosaicResources();
    auto* pane = new CMosaicPreviewPane(this);
    if (!pane->Create(CMosaicPreviewPane::kTemplateId, this)) {
        Logger::log("ERROR CMosaicMakerDlg::Refresh the preview pane cannot be created", 1);
        delete pane;
        return;
    }
    m_pane = pane;
    PositionPane(pane->GetDockSide());
    int w = 0, h = 0;
    pane->GetClientSize(w, h);
    if (Image* base = MakeBackground(w)) {
        pane->SetForeground(base);
        ReleaseImage(base);
    }
    pane->ShowWindow(SW_SHOW);
}

void CMosaicMakerDlg::PositionPane(int side)
{
    if (!m_pane || !m_pane->GetSafeHwnd() || !m_hWnd) return;
    RECT dialog{}, pane{};
    GetWindowRect(&dialog);
    m_pane->GetWindowRect(&pane);
    const int w = pane.right - pane.left, h = pane.bottom - pane.top;
    int x = 0, y = 0;
    switch (side) {
    case 1:
        x = dialog.left - w;
        y = dialog.bottom - h;
        break;
    case 2:
        x = dialog.right;
        y = dialog.bottom - h;
        break;
    default:
        x = (dialog.left + dialog.right) / 2 - w / 2;
        y = dialog.bottom;
        break;
    }
    m_pane->SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMosaicMakerDlg::OnMove(int x, int y)
{
    CDialog::OnMove(x, y);
    if (m_pane) PositionPane(m_pane->GetDockSide());
}

void CMosaicMakerDlg::OnMake()
{
    if (!m_pane) return;
    Image* base = MakeBackground(0);
    if (!base) return;
    const double scale = m_pane->GetForegroundScale();
    const double aspect = m_pane->GetAspect();
    const int W = scale > 0.0 ? static_cast<int>(base->GetWidth() / scale) : 0;
    const int H = aspect > 0.0 ? static_cast<int>(W / aspect) : 0;
    if (W <= 0 || H <= 0) {
        Logger::log("ERROR CMosaicMakerDlg::OnMake no result size (%d x %d)", 1, W, H);
        ReleaseImage(base);
        return;
    }
    auto* output = new Image(W, H, 3);
    if (!output->GetData()) {
        ReleaseImage(output);
        ReleaseImage(base);
        Logger::log("ERROR CMosaicMakerDlg::OnMake Allocation error.", 1);
        throw std::bad_alloc();
    }
    m_pane->RenderTo(output, base);
    ReleaseImage(base);
    std::string name = "Grivelle ";
    if (SuperManager* manager = GetSuperManager()) {
        char number[32] = {};
        manager->FormatPanoramaNumber(number, sizeof number);
        name += number;
        manager->NextPanoramaNumber();
    }
    if (!OpenImageWindow(output, name.c_str()))
        Logger::log("ERROR CMosaicMakerDlg::OnMake the window \"%s\" cannot be opened", 1, name.c_str());
    ReleaseImage(output);
}

void CMosaicMakerDlg::OnOK()
{
    // The layout deletes this dialog: nothing of it may be touched afterwards.
    if (m_layout) m_layout->CloseMakerDialog();
}

void CMosaicMakerDlg::OnCancel()
{
    if (m_layout) m_layout->CloseMakerDialog();
}

const win::MessageMap* CMosaicMakerDlg::GetMessageMap() const
{
    using D = CMosaicMakerDlg;
    static const win::MessageMap map(CDialog::GetMessageMap(),
                                     {
                                         win::on::Control(BN_CLICKED, kSky, &D::OnSkyOrGround),
                                         win::on::Control(BN_CLICKED, kGround, &D::OnSkyOrGround),
                                         win::on::Control(BN_CLICKED, kSelect, &D::OnSelectColour),
                                         win::on::Control(BN_CLICKED, kOpen, &D::OnOpenPicture),
                                         win::on::Control(BN_CLICKED, kMake, &D::OnMake),
                                         win::on::Control(BN_CLICKED, kColorRadio, &D::OnColourRadio),
                                         win::on::Control(BN_CLICKED, kImageRadio, &D::OnImageRadio),
                                     });
    return &map;
}

void RegisterMosaicResources()
{
    win::ResourceModule& app = win::Resources::App();
    if (app.FindDialog(CMosaicMakerDlg::kTemplateId)) return;
    using win::ControlKind;
    using win::ControlTemplate;
    using D = CMosaicMakerDlg;
    win::DialogTemplate maker;
    maker.id = D::kTemplateId;
    maker.caption = "Grivelle Maker";
    maker.size = SIZE{260, 250};
    maker.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    maker.controls = {
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 12, 110, 28}, "Number of Tiles"),
        ControlTemplate(D::kTileCount, ControlKind::Edit, RECT{115, 10, 165, 30}, "", WS_GROUP),
        ControlTemplate(D::kSky, ControlKind::CheckBox, RECT{10, 40, 80, 56}, "Sky", WS_GROUP),
        ControlTemplate(D::kGround, ControlKind::CheckBox, RECT{90, 40, 170, 56}, "Ground"),
        ControlTemplate(0xFFFF, ControlKind::Static, RECT{10, 70, 80, 86}, "Resolution"),
        ControlTemplate(D::kResolution, ControlKind::Slider, RECT{80, 64, 200, 92}, "", WS_GROUP),
        ControlTemplate(D::kPercentText, ControlKind::Static, RECT{205, 70, 250, 86}, ""),
        ControlTemplate(D::kSizeText, ControlKind::Static, RECT{80, 96, 250, 112}, ""),
        ControlTemplate(D::kColorRadio, ControlKind::RadioButton, RECT{10, 124, 150, 140}, "Background color", WS_GROUP),
        ControlTemplate(D::kImageRadio, ControlKind::RadioButton, RECT{10, 150, 150, 166}, "Background image"),
        ControlTemplate(D::kSelect, ControlKind::PushButton, RECT{160, 120, 240, 142}, "Select", WS_GROUP),
        ControlTemplate(D::kOpen, ControlKind::PushButton, RECT{160, 146, 240, 168}, "Open"),
        ControlTemplate(D::kMake, ControlKind::PushButton, RECT{10, 210, 80, 234}, "Make", WS_GROUP),
        ControlTemplate(IDOK, ControlKind::DefPushButton, RECT{90, 210, 160, 234}, "Done"),
        ControlTemplate(IDCANCEL, ControlKind::PushButton, RECT{170, 210, 240, 234}, "Cancel"),
    };
    app.AddDialog(std::move(maker));

    win::DialogTemplate pane;
    pane.id = CMosaicPreviewPane::kTemplateId;
    pane.caption = "";
    pane.size = SIZE{320, 200};
    pane.style = WS_POPUP | WS_BORDER;
    app.AddDialog(std::move(pane));

    using Item = win::MenuItemTemplate;
    using P = CMosaicPreviewPane;
    win::MenuTemplate menu;
    menu.items = {Item(0, "Preview", MF_POPUP,
                       {Item(P::kDockLeft, "Dock left"), Item(P::kDockRight, "Dock right"),
                        Item(P::kDockBottom, "Dock bottom"), Item(), Item(P::kBackgroundPan, "Background pan"),
                        Item(P::kBackgroundZoom, "Background zoom"), Item(P::kBackgroundRotate, "Background rotate"),
                        Item(), Item(P::kForegroundPan, "Forground pan"), Item(P::kForegroundZoom, "Forground zoom"),
                        Item(P::kForegroundFit, "Forground zoom to fit")})};
    app.AddMenu(P::kMenuId, menu);
    app.AddCursor(P::kZoomCursor);
    app.AddCursor(P::kRotateCursor);
}

#include "app/shell/dir_tree.h"

#include "app/shell/fendrake_app.h"
#include "app/shell/img_board.h"
#include "core/logger.h"
#include "platform/win/controls.h"
#include "platform/win/file_system.h"
#include "platform/win/win_app.h"

#include <cctype>
#include <cstring>

namespace {

struct ImageType {
    const char* text;
    bool worldMap;
};

// The combo's items in order; the pattern is the text from "*." on.
constexpr ImageType kImageTypes[CDirTree::kImageTypeCount] = {
    {"( JPEG Files ) : *.jpg", false}, {"( Quorvane Worldmap ):*.jpg", true}, {"( Bitmap Files ) : *.bmp", false},
    {"( GIF Files):*.gif", false},     {"( Tiff Files ) : *.tif", false},     {"( All Files ) : *.*", false},
};

constexpr int kClosedFolder = 0;
constexpr int kOpenFolder = 1;

// An item text of a drive ends in "(X:)" and has four characters or more.
bool IsDriveText(const std::string& text)
{
    const size_t n = text.size();
    return n >= 4 && text[n - 4] == '(' && std::isalpha(static_cast<unsigned char>(text[n - 3])) &&
           text[n - 2] == ':' && text[n - 1] == ')';
}

bool IsWorldMapItem(const std::string& text)
{
    const size_t at = text.find("Quorvane");
    return at != std::string::npos && at >= 1;
}

// Layer folder of a drive or folder path ("C:" names the drive's root).
std::string EnterablePath(const std::string& path)
{
    return !path.empty() && path.back() == ':' ? path + "\\" : path;
}

}  // namespace

CDirTree::CDirTree() : CFormView(kDialogId) {}

CDirTree::~CDirTree() = default;

const char* CDirTree::ImageTypeText(int type)
{
    return type >= 0 && type < kImageTypeCount ? kImageTypes[type].text : nullptr;
}

std::string CDirTree::DriveItemText(char letter)
{
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    char tail[8];
    std::snprintf(tail, sizeof tail, "(%c:)", letter);
    if (letter == 'A') return std::string("Floppy Disk ") + tail;
    const char root[4] = {letter, ':', '\\', '\0'};
    const UINT kind = GetDriveType(root);
    std::string text;
    switch (kind) {
    case DRIVE_REMOVABLE: text = "Removable Disk"; break;
    case DRIVE_REMOTE: text = "Network Disk"; break;
    case DRIVE_CDROM: text = "CD-ROM"; break;
    case DRIVE_RAMDISK: text = "RAM Disk"; break;
    default: break;
    }
    char label[MAX_PATH] = {};
    if (kind != DRIVE_REMOVABLE &&
        GetVolumeInformation(root, label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0) && label[0])
        text += std::string("-") + label;
    if (!text.empty()) text += ' ';
    return text + tail;
}

std::string CDirTree::WindowsFormOf(const std::string& path)
{
    if (path.empty() || path[0] != '/') return path;
    char best = 0;
    size_t bestLength = 0;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::string root = win::DriveRoot(letter);
        if (root.empty()) continue;
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        const bool isPrefix = root == "/" || (path.compare(0, root.size(), root) == 0 &&
                                              (path.size() == root.size() || path[root.size()] == '/'));
        const size_t length = root == "/" ? 0 : root.size();
        if (isPrefix && (!best || length > bestLength)) {
            best = letter;
            bestLength = length;
        }
    }
    if (!best) return path;
    std::string rest = path.substr(bestLength);
    for (char& c : rest)
        if (c == '/') c = '\\';
    if (rest.empty() || rest[0] != '\\') rest.insert(rest.begin(), '\\');
    return std::string{best, ':'} + rest;
}

CTreeCtrl* CDirTree::GetTree() const
{
    return static_cast<CTreeCtrl*>(GetDlgItem(kTree));
}

CComboBox* CDirTree::GetCombo() const
{
    return static_cast<CComboBox*>(GetDlgItem(kTypeCombo));
}

uint8_t CDirTree::GetComboSelection() const
{
    CComboBox* combo = GetCombo();
    const int selection = combo ? combo->GetCurSel() : -1;
    return static_cast<uint8_t>(selection < 0 ? 0 : selection);
}

void CDirTree::OnInitialUpdate()
{
    CComboBox* combo = GetCombo();
    if (combo && combo->GetCount() == 0)
        for (const ImageType& type : kImageTypes) combo->AddString(type.text);
    CFormView::OnInitialUpdate();
    SetScrollSizes(MM_TEXT, SIZE{1, 1});  // the form never scrolls
}

// ---- Start folder and tree ---------------------------------------------------

void CDirTree::InitTree(const char* startFolder)
{
    CWinApp* app = AfxGetApp();
    m_folderPath = app ? app->GetProfileString("Recent File List", "File1", "") : std::string();
    if (m_folderPath.empty()) m_folderPath = startFolder && *startFolder ? startFolder : CFendrakeApp::GetProgramDir();
    m_folderPath = WindowsFormOf(m_folderPath);
    // A file path becomes its folder; a folder whose name holds a '.' stays
    // itself.
    const DWORD attributes = GetFileAttributes(m_folderPath.c_str());
    if (m_folderPath.find('.') != std::string::npos && attributes != INVALID_FILE_ATTRIBUTES &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const size_t cut = m_folderPath.find_last_of("\\/");
        if (cut != std::string::npos) m_folderPath.erase(cut);
    }

    CTreeCtrl* tree = GetTree();
    if (!tree) {
        Logger::log("ERROR CDirTree::InitTree the folder tree control is missing", 1);
        return;
    }
    tree->DeleteAllItems();
    if (m_icons.GetImageCount() == 0 && !m_icons.Create(kFolderIcons, 16, 1, RGB(255, 255, 255)))
        Logger::log("ERROR CDirTree::InitTree the folder icons (bitmap %u) are missing", 1, kFolderIcons);
    tree->SetImageList(&m_icons, TVSIL_NORMAL);
    HTREEITEM root = tree->InsertItem("My Computer", kClosedFolder, kOpenFolder);
    AddDrives(root);
    tree->Expand(root, TVE_EXPAND);
    RestoreControls();
}

void CDirTree::RestoreControls()
{
    if (CComboBox* combo = GetCombo()) combo->SetCurSel(m_imageType);
    CheckDlgButton(kNameCheck, (m_viewFlags & kViewNames) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(kThumbnailCheck, (m_viewFlags & kViewThumbnails) ? BST_CHECKED : BST_UNCHECKED);
    if (CWnd* name = GetDlgItem(kNameCheck)) name->EnableWindow((m_viewFlags & kViewThumbnails) != 0);
    if (m_board) {
        m_board->SetListMode((m_viewFlags & kViewThumbnails) == 0);
        m_board->SetShowNames((m_viewFlags & kViewNames) != 0);
    }
    ReadFolder();
}

void CDirTree::ReadFolder()
{
    if (m_board) m_board->ReadFolder();
}

void CDirTree::AddDrives(HTREEITEM root)
{
    CTreeCtrl* tree = GetTree();
    if (!tree) return;
    const DWORD mask = GetLogicalDrives();
    const char startLetter = m_folderPath.empty() ? '\0' : m_folderPath[0];
    for (int k = 0; k < 26; ++k) {
        if (!(mask & (1u << k))) continue;
        const char letter = static_cast<char>('A' + k);
        HTREEITEM drive = tree->InsertItem(DriveItemText(letter).c_str(), kClosedFolder, kOpenFolder, root);
        const char rootPath[4] = {letter, ':', '\\', '\0'};
        if (letter == startLetter) {
            if (!SetCurrentDirectory(rootPath)) continue;
            // The rest of the start folder after "X:\".
            const char* rest = m_folderPath.size() > 3 ? m_folderPath.c_str() + 3 : "";
            AddFolderPath(drive, rest, 1);
            tree->SortChildren(drive);
            tree->Expand(drive, TVE_EXPAND);
        } else if (SetCurrentDirectory(rootPath)) {
            AddSubfolders(drive, 0);
            tree->SortChildren(drive);
        }
    }
}

void CDirTree::AddSubfolders(HTREEITEM parent, int depth)
{
    AddFolderPath(parent, "", depth);
}

void CDirTree::AddFolderPath(HTREEITEM parent, const char* remaining, int depth)
{
    CTreeCtrl* tree = GetTree();
    if (!tree) return;
    BeginWaitCursor();
    if (!remaining) remaining = "";
    const char* separator = std::strpbrk(remaining, "\\/");
    const std::string component = separator ? std::string(remaining, separator) : std::string(remaining);
    const char* rest = separator ? separator + 1 : "";

    // The entries are listed first: entering a folder moves the layer's
    // current folder, which a listing in progress must not see.
    std::vector<std::string> folders;
    WIN32_FIND_DATA data{};
    HANDLE find = FindFirstFile("*.*", &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.cFileName[0] != '.')
                folders.emplace_back(data.cFileName);
        } while (FindNextFile(find, &data));
        FindClose(find);
    }
    for (const std::string& name : folders) {
        HTREEITEM child = tree->InsertItem(name.c_str(), kClosedFolder, kOpenFolder, parent);
        if (!SetCurrentDirectory(name.c_str())) continue;  // a folder that cannot be entered stays a leaf
        if (!component.empty() && name == component) {
            char saved[MAX_PATH * 4] = {};
            GetCurrentDirectory(sizeof saved, saved);
            AddFolderPath(child, rest, 1);
            tree->SortChildren(child);
            tree->Expand(child, TVE_EXPAND);
            SetCurrentDirectory(saved);
        } else if (depth > 0) {
            AddFolderPath(child, "", depth - 1);
            tree->SortChildren(child);
        }
        SetCurrentDirectory("..");
    }
    EndWaitCursor();
}

void CDirTree::OnItemExpanded(HTREEITEM item)
{
    CTreeCtrl* tree = GetTree();
    if (!tree || !item) return;
    HTREEITEM child = tree->GetChildItem(item);
    if (!child) {
        if (EnterItem(item)) {
            AddFolderPath(item, "", 1);
            tree->SortChildren(item);
        }
        return;
    }
    for (HTREEITEM c = child; c; c = tree->GetNextSiblingItem(c))
        if (tree->GetChildItem(c)) return;
    for (HTREEITEM c = child; c; c = tree->GetNextSiblingItem(c)) {
        if (!EnterItem(c)) continue;
        AddFolderPath(c, "", 0);
        tree->SortChildren(c);
    }
}

bool CDirTree::EnterItem(HTREEITEM item) const
{
    const std::string path = GetItemPath(item);
    return !path.empty() && SetCurrentDirectory(EnterablePath(path).c_str());
}

std::string CDirTree::GetItemPath(HTREEITEM item) const
{
    CTreeCtrl* tree = GetTree();
    if (!tree || !item) return std::string();
    std::string text = tree->GetItemText(item);
    if (IsDriveText(text)) return std::string{text[text.size() - 3], ':'};
    std::string path = text;
    for (HTREEITEM up = tree->GetParentItem(item); up; up = tree->GetParentItem(up)) {
        text = tree->GetItemText(up);
        if (IsDriveText(text)) return std::string{text[text.size() - 3], ':', '\\'} + path;
        path = (!text.empty() && text.back() == '\\') ? text + path : text + "\\" + path;
    }
    return std::string();  // no drive above: the root
}

bool CDirTree::GetFileFilter(std::string& pattern) const
{
    CComboBox* combo = GetCombo();
    const int selection = combo ? combo->GetCurSel() : -1;
    std::string text = selection >= 0 ? std::string() : std::string(kImageTypes[m_imageType].text);
    if (selection >= 0) combo->GetLBText(selection, text);
    const size_t star = text.find("*.");
    pattern = m_folderPath + "\\" + (star == std::string::npos ? std::string("*.*") : text.substr(star));
    return IsWorldMapItem(text);
}

bool CDirTree::SelectImageType(int type)
{
    CComboBox* combo = GetCombo();
    if (!combo || type < 0 || type >= kImageTypeCount || combo->GetCurSel() == type) return false;
    combo->SetCurSel(type);
    m_imageType = static_cast<uint8_t>(type);
    ReadFolder();
    return true;
}

// ---- Notifications --------------------------------------------------------------

void CDirTree::OnTypeChanged()
{
    CComboBox* combo = GetCombo();
    const int selection = combo ? combo->GetCurSel() : -1;
    if (selection < 0) return;
    m_imageType = static_cast<uint8_t>(selection);
    ReadFolder();
}

void CDirTree::OnThumbnailClicked()
{
    const bool thumbnails = IsDlgButtonChecked(kThumbnailCheck) == BST_CHECKED;
    m_viewFlags = static_cast<uint8_t>(thumbnails ? (m_viewFlags | kViewThumbnails) : (m_viewFlags & ~kViewThumbnails));
    if (CWnd* name = GetDlgItem(kNameCheck)) name->EnableWindow(thumbnails);
    if (!thumbnails) {
        CheckDlgButton(kNameCheck, BST_CHECKED);
        m_viewFlags |= kViewNames;
        if (m_board) m_board->SetShowNames(true);
    }
    if (m_board) m_board->SetListMode(!thumbnails);
}

void CDirTree::OnNameClicked()
{
    const bool names = IsDlgButtonChecked(kNameCheck) == BST_CHECKED;
    m_viewFlags = static_cast<uint8_t>(names ? (m_viewFlags | kViewNames) : (m_viewFlags & ~kViewNames));
    if (m_board) m_board->SetShowNames(names);
}

void CDirTree::OnHelp()
{
    if (auto* app = dynamic_cast<CFendrakeApp*>(AfxGetApp())) app->ShowHelpTopic("Trelmond.htm#Load_Images");
}

void CDirTree::OnLoadSelections()
{
    if (m_board) m_board->LoadSelections(nullptr);
}

void CDirTree::OnTreeExpanded(NMHDR* header, LRESULT* result)
{
    const auto* nm = reinterpret_cast<const NMTREEVIEW*>(header);
    if (nm && (nm->action & TVE_EXPAND) && !(nm->action & TVE_COLLAPSE)) OnItemExpanded(nm->itemNew.hItem);
    if (result) *result = 0;
}

void CDirTree::OnTreeSelChanged(NMHDR* header, LRESULT* result)
{
    const auto* nm = reinterpret_cast<const NMTREEVIEW*>(header);
    if (nm) {
        m_folderPath = GetItemPath(nm->itemNew.hItem);
        ReadFolder();
    }
    if (result) *result = 0;
}

// ---- Layout -----------------------------------------------------------------------

void CDirTree::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
    CWnd* combo = GetDlgItem(kTypeCombo);
    if (!combo) return;
    CRect r;
    combo->GetWindowRect(&r);
    ScreenToClient(&r);
    const int m = r.left, h = r.Height(), width = cx - 2 * m;
    combo->MoveWindow(m, r.top, width, h);
    CRect box;
    if (CWnd* help = GetDlgItem(kHelp)) {
        help->GetWindowRect(&box);
        help->MoveWindow(m, cy - h, box.Width(), box.Height());
    }
    int thumbnailRight = m + h + 5;
    if (CWnd* thumbnail = GetDlgItem(kThumbnailCheck)) {
        thumbnail->GetWindowRect(&box);
        thumbnail->MoveWindow(m + h + 5, cy - h, box.Width(), box.Height());
        thumbnailRight = m + h + 5 + box.Width();
    }
    if (CWnd* name = GetDlgItem(kNameCheck)) {
        name->GetWindowRect(&box);
        name->MoveWindow(thumbnailRight + 15, cy - h, box.Width(), box.Height());
    }
    const int loadTop = cy - 2 * h - 2;
    if (CWnd* load = GetDlgItem(kLoadSelections)) load->MoveWindow(m, loadTop, width, h);
    if (CWnd* tree = GetDlgItem(kTree)) tree->MoveWindow(m, r.bottom + 4, width, loadTop - 4 - (r.bottom + 4));
}

const win::MessageMap* CDirTree::GetMessageMap() const
{
    static const win::MessageMap map(
        CFormView::GetMessageMap(),
        {
            win::on::Control(CBN_SELCHANGE, kTypeCombo, &CDirTree::OnTypeChanged),
            win::on::Control(BN_CLICKED, kThumbnailCheck, &CDirTree::OnThumbnailClicked),
            win::on::Control(BN_CLICKED, kNameCheck, &CDirTree::OnNameClicked),
            win::on::Control(BN_CLICKED, kHelp, &CDirTree::OnHelp),
            win::on::Control(BN_CLICKED, kLoadSelections, &CDirTree::OnLoadSelections),
            win::on::Notify(TVN_ITEMEXPANDED, kTree, &CDirTree::OnTreeExpanded),
            win::on::Notify(TVN_SELCHANGED, kTree, &CDirTree::OnTreeSelChanged),
        });
    return &map;
}

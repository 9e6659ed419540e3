// The folder tree of the image browser: a form on dialog 227 with the
// image-type combo, the drive and folder tree, the "Load Selections" and
// "?" buttons and the "Thumbnail" and "Name" checks. The browser frame
// builds it as the left pane; the thumbnail board reads the selected
// folder and the file pattern from it.
#pragma once

#include "platform/win/doc_view.h"
#include "platform/win/tree_ctrl.h"

#include <cstdint>
#include <string>

class CComboBox;
class CImgBoard;

// Bits of the tree's view flags.
constexpr uint8_t kViewNames = 0x1;
constexpr uint8_t kViewThumbnails = 0x2;

class CDirTree : public CFormView {
public:
    static constexpr UINT kDialogId = 227;
    static constexpr UINT kTypeCombo = 1020;
    static constexpr UINT kTree = 1104;
    static constexpr UINT kLoadSelections = 1007;
    static constexpr UINT kHelp = 1186;
    static constexpr UINT kThumbnailCheck = 1187;
    static constexpr UINT kNameCheck = 1188;
    static constexpr UINT kFolderIcons = 101;
    static constexpr int kImageTypeCount = 6;

    CDirTree();
    ~CDirTree() override;

    // The combo's item text of an image type (0..5), null outside.
    static const char* ImageTypeText(int type);
    // The text of a drive item for the letter (as the drive table reports
    // its kind and label): "Floppy Disk (A:)", "CD-ROM-X (D:)", "(C:)" ...
    static std::string DriveItemText(char letter);
    // A POSIX path as the Windows path of the mapped drive whose root is its
    // longest prefix ("/home/u" -> "C:\\home\\u" while C: is "/"); other
    // paths unchanged, an absolute path under no drive unchanged too.
    static std::string WindowsFormOf(const std::string& path);

    // Chooses the start folder, builds the tree and restores the controls.
    void InitTree(const char* startFolder);
    // One item per drive of the logical-drive mask below `root`; the start
    // folder's drive opens its path.
    void AddDrives(HTREEITEM root);
    // Adds the folders of the layer's current folder below `parent` and
    // opens `remaining` (components separated by '\\' or '/') below them.
    void AddFolderPath(HTREEITEM parent, const char* remaining, int depth);
    // The path of an item: "C:" for a drive, "C:\\a\\b" for a folder, empty
    // for the root.
    std::string GetItemPath(HTREEITEM item) const;
    // The search pattern (folder + "\\" + the type's pattern); true when the
    // selected type is the world-map filter.
    bool GetFileFilter(std::string& pattern) const;
    const std::string& GetFolderPath() const { return m_folderPath; }

    uint8_t GetImageType() const { return m_imageType; }
    void SetImageType(uint8_t type) { m_imageType = type < kImageTypeCount ? type : 0; }
    uint8_t GetViewFlags() const { return m_viewFlags; }
    void SetViewFlags(uint8_t flags) { m_viewFlags = flags; }
    // The combo's current selection (0 when none).
    uint8_t GetComboSelection() const;
    // Selects an image type in the combo and reads the folder again when it
    // changed; false when nothing changed.
    bool SelectImageType(int type);

    void SetBoard(CImgBoard* board) { m_board = board; }
    CImgBoard* GetBoard() const { return m_board; }
    CTreeCtrl* GetTree() const;
    CComboBox* GetCombo() const;

    // Expansion of an item by the user (the tree's TVN_ITEMEXPANDED).
    void OnItemExpanded(HTREEITEM item);

    void OnInitialUpdate() override;
    const win::MessageMap* GetMessageMap() const override;

protected:
    void OnSize(UINT type, int cx, int cy) override;

private:
    void OnTypeChanged();
    void OnThumbnailClicked();
    void OnNameClicked();
    void OnHelp();
    void OnLoadSelections();
    void OnTreeExpanded(NMHDR* header, LRESULT* result);
    void OnTreeSelChanged(NMHDR* header, LRESULT* result);
    // The folders of the layer's current folder as children of `parent`.
    void AddSubfolders(HTREEITEM parent, int depth);
    // Makes an item's folder the layer's current folder.
    bool EnterItem(HTREEITEM item) const;
    void RestoreControls();
    void ReadFolder();

    CImageList m_icons;
    std::string m_folderPath;
    uint8_t m_imageType = 0;
    uint8_t m_viewFlags = kViewNames;
    CImgBoard* m_board = nullptr;
};

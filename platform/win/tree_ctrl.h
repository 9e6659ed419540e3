// The tree view control (folder trees) with its image list: items with text,
// images, data and children, expanded and selected states, and the
// notifications the tree raises to its parent (selection changing and
// changed, item expanding and expanded, item deleted). Program calls behave
// as on the platform: expanding by program notifies nobody, selecting by
// program does.
#pragma once

#include "imaging/image.h"
#include "imaging/ref_count.h"
#include "platform/win/wnd.h"

#include <string>
#include <vector>

// ---- Items, messages and notifications of the tree -----------------------------

inline HTREEITEM const TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x10000));
inline HTREEITEM const TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFF));
inline HTREEITEM const TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFE));
inline HTREEITEM const TVI_SORT = reinterpret_cast<HTREEITEM>(static_cast<intptr_t>(-0x0FFFD));

constexpr UINT TVIF_TEXT = 0x1;
constexpr UINT TVIF_IMAGE = 0x2;
constexpr UINT TVIF_PARAM = 0x4;
constexpr UINT TVIF_STATE = 0x8;
constexpr UINT TVIF_HANDLE = 0x10;
constexpr UINT TVIF_SELECTEDIMAGE = 0x20;
constexpr UINT TVIF_CHILDREN = 0x40;
constexpr UINT TVIS_SELECTED = 0x2;
constexpr UINT TVIS_EXPANDED = 0x20;
constexpr UINT TVIS_EXPANDEDONCE = 0x40;
constexpr UINT TVE_COLLAPSE = 0x1;
constexpr UINT TVE_EXPAND = 0x2;
constexpr UINT TVE_TOGGLE = 0x3;
constexpr UINT TVC_UNKNOWN = 0x0;
constexpr UINT TVC_BYMOUSE = 0x1;
constexpr UINT TVGN_ROOT = 0x0;
constexpr UINT TVGN_NEXT = 0x1;
constexpr UINT TVGN_PREVIOUS = 0x2;
constexpr UINT TVGN_PARENT = 0x3;
constexpr UINT TVGN_CHILD = 0x4;
constexpr UINT TVGN_FIRSTVISIBLE = 0x5;
constexpr UINT TVGN_NEXTVISIBLE = 0x6;
constexpr UINT TVGN_CARET = 0x9;
constexpr UINT TVSIL_NORMAL = 0;
constexpr UINT TVHT_NOWHERE = 0x1;
constexpr UINT TVHT_ONITEMICON = 0x2;
constexpr UINT TVHT_ONITEMLABEL = 0x4;
constexpr UINT TVHT_ONITEMBUTTON = 0x10;
constexpr UINT TVHT_ONITEM = TVHT_ONITEMICON | TVHT_ONITEMLABEL;

constexpr UINT TVM_INSERTITEM = 0x1100;
constexpr UINT TVM_DELETEITEM = 0x1101;
constexpr UINT TVM_EXPAND = 0x1102;
constexpr UINT TVM_GETCOUNT = 0x1105;
constexpr UINT TVM_GETIMAGELIST = 0x1108;
constexpr UINT TVM_SETIMAGELIST = 0x1109;
constexpr UINT TVM_GETNEXTITEM = 0x110A;
constexpr UINT TVM_SELECTITEM = 0x110B;
constexpr UINT TVM_GETITEM = 0x110C;
constexpr UINT TVM_SETITEM = 0x110D;
constexpr UINT TVM_HITTEST = 0x1111;
constexpr UINT TVM_SORTCHILDREN = 0x1113;
constexpr UINT TVM_ENSUREVISIBLE = 0x1114;

struct TVITEM {
    UINT mask = 0;
    HTREEITEM hItem = nullptr;
    UINT state = 0;
    UINT stateMask = 0;
    char* pszText = nullptr;  // in: the text to set; out: a buffer of cchTextMax
    int cchTextMax = 0;
    int iImage = 0;
    int iSelectedImage = 0;
    int cChildren = 0;
    LPARAM lParam = 0;
};

struct TVINSERTSTRUCT {
    HTREEITEM hParent = nullptr;
    HTREEITEM hInsertAfter = nullptr;
    TVITEM item;
};

struct NMTREEVIEW {
    NMHDR hdr;
    UINT action;
    TVITEM itemOld;
    TVITEM itemNew;
    POINT ptDrag;
};

struct TVHITTESTINFO {
    POINT pt;
    UINT flags;
    HTREEITEM hItem;
};

// ---- Image list ---------------------------------------------------------------------

// Equal-sized pictures cut from a strip (folder icons of a tree).
class CImageList : public CObject {
public:
    // Cuts the bitmap resource into pictures `width` wide; `maskColor` marks
    // their transparent pixels.
    BOOL Create(UINT bitmapId, int width, int grow, COLORREF maskColor);
    BOOL Create(int width, int height, UINT flags, int initial, int grow);
    int Add(Image* picture, COLORREF maskColor);
    int GetImageCount() const { return static_cast<int>(m_pictures.size()); }
    Image* GetImage(int index) const;
    COLORREF MaskColor() const { return m_maskColor; }
    bool HasMask() const { return m_hasMask; }
    SIZE ImageSize() const { return SIZE{m_width, m_height}; }
    BOOL Draw(CDC* dc, int index, POINT point, UINT style);
    BOOL DeleteImageList();

private:
    std::vector<RefPtr<Image>> m_pictures;
    int m_width = 0;
    int m_height = 0;
    COLORREF m_maskColor = 0;
    bool m_hasMask = false;
};
constexpr UINT ILC_COLOR24 = 0x18;
constexpr UINT ILC_MASK = 0x1;
constexpr UINT ILD_NORMAL = 0x0;
constexpr UINT ILD_TRANSPARENT = 0x1;

// ---- Tree control -------------------------------------------------------------------

class CTreeCtrl : public CWnd {
public:
    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    HTREEITEM InsertItem(const TVINSERTSTRUCT* insert);
    HTREEITEM InsertItem(const char* text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    HTREEITEM InsertItem(const char* text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    BOOL DeleteItem(HTREEITEM item);
    BOOL DeleteAllItems();
    BOOL Expand(HTREEITEM item, UINT code);
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const;
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUS); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    BOOL SelectItem(HTREEITEM item);
    BOOL GetItem(TVITEM* item) const;
    BOOL SetItem(TVITEM* item);
    std::string GetItemText(HTREEITEM item) const;
    BOOL SetItemText(HTREEITEM item, const char* text);
    DWORD_PTR GetItemData(HTREEITEM item) const;
    BOOL SetItemData(HTREEITEM item, DWORD_PTR data);
    BOOL GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
    BOOL SetItemImage(HTREEITEM item, int image, int selectedImage);
    UINT GetItemState(HTREEITEM item, UINT mask) const;
    BOOL ItemHasChildren(HTREEITEM item) const;
    UINT GetCount() const;
    CImageList* SetImageList(CImageList* list, int type);
    CImageList* GetImageList(UINT type) const;
    BOOL SortChildren(HTREEITEM item);
    BOOL EnsureVisible(HTREEITEM item);
    HTREEITEM HitTest(POINT point, UINT* flags = nullptr) const;
};

namespace win {
constexpr int kTreeRowHeight = 16;
constexpr int kTreeIndent = 19;
}  // namespace win

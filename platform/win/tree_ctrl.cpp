#include "platform/win/tree_ctrl.h"

#include "core/logger.h"
#include "platform/win/control_models.h"
#include "platform/win/resources.h"
#include "platform/win/tree_model.h"

#include <strings.h>
#include <algorithm>
#include <atomic>
#include <cstring>

namespace win {

namespace {

std::atomic<uintptr_t> g_nextItem{0x100000};

WindowSystem& System()
{
    return WindowSystem::Get();
}

bool IsRoot(HTREEITEM item)
{
    return item == nullptr || item == TVI_ROOT;
}

}  // namespace

TreeModel::Node* TreeModel::Find(HTREEITEM item) const
{
    auto it = nodes.find(reinterpret_cast<uintptr_t>(item));
    return it == nodes.end() ? nullptr : it->second.get();
}

std::vector<HTREEITEM>& TreeModel::SiblingsOf(Node* parent)
{
    return parent ? parent->children : roots;
}

bool TreeModel::HasChildren(const Node& n) const
{
    return !n.children.empty() || n.childrenFlag > 0;
}

std::vector<std::pair<HTREEITEM, int>> TreeModel::VisibleRows() const
{
    std::vector<std::pair<HTREEITEM, int>> rows;
    std::vector<std::pair<HTREEITEM, int>> stack;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it) stack.emplace_back(*it, 0);
    while (!stack.empty()) {
        const auto [item, level] = stack.back();
        stack.pop_back();
        rows.emplace_back(item, level);
        const Node* n = Find(item);
        if (n && (n->state & TVIS_EXPANDED)) {
            for (auto it = n->children.rbegin(); it != n->children.rend(); ++it) stack.emplace_back(*it, level + 1);
        }
    }
    return rows;
}

HTREEITEM TreeModel::HitTest(POINT p, UINT& flags) const
{
    flags = TVHT_NOWHERE;
    if (p.y < 0) return nullptr;
    const auto rows = VisibleRows();
    const size_t row = static_cast<size_t>(top + p.y / kTreeRowHeight);
    if (row >= rows.size()) return nullptr;
    const auto [item, level] = rows[row];
    const Node* n = Find(item);
    const int x0 = level * kTreeIndent;
    if (p.x >= x0 && p.x < x0 + 16 && n && HasChildren(*n)) flags = TVHT_ONITEMBUTTON;
    else if (p.x >= x0 + 16 && p.x < x0 + 32) flags = TVHT_ONITEMICON;
    else if (p.x >= x0 + 32) flags = TVHT_ONITEMLABEL;
    else return nullptr;
    return item;
}

void TreeModel::FillItem(const Node& n, TVITEM& out) const
{
    out.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    out.hItem = n.handle;
    out.state = n.state;
    out.stateMask = 0xFFFF;
    out.iImage = n.image;
    out.iSelectedImage = n.selectedImage;
    out.cChildren = HasChildren(n) ? 1 : 0;
    out.lParam = n.data;
}

LRESULT TreeModel::Notify(HWND hwnd, UINT code, UINT action, HTREEITEM oldItem, HTREEITEM newItem)
{
    NMTREEVIEW nm{};
    nm.hdr.code = code;
    nm.action = action;
    if (const Node* o = Find(oldItem)) FillItem(*o, nm.itemOld);
    if (const Node* n = Find(newItem)) FillItem(*n, nm.itemNew);
    return NotifyParent(hwnd, nm.hdr);
}

bool TreeModel::Select(HWND hwnd, HTREEITEM item, UINT action)
{
    if (item && !Find(item)) return false;
    if (item == selected) return true;
    const HTREEITEM old = selected;
    if (Notify(hwnd, TVN_SELCHANGING, action, old, item)) return false;  // vetoed
    TreeModel* model = ModelOf(hwnd);
    if (!model) return true;
    if (Node* o = model->Find(old)) o->state &= ~TVIS_SELECTED;
    if (Node* n = model->Find(item)) n->state |= TVIS_SELECTED;
    model->selected = item;
    System().Invalidate(hwnd, nullptr, true);
    model->Notify(hwnd, TVN_SELCHANGED, action, old, item);
    return true;
}

bool TreeModel::UserExpand(HWND hwnd, HTREEITEM item)
{
    Node* n = Find(item);
    if (!n || !HasChildren(*n)) return false;
    const bool expanding = !(n->state & TVIS_EXPANDED);
    const UINT action = expanding ? TVE_EXPAND : TVE_COLLAPSE;
    if (Notify(hwnd, TVN_ITEMEXPANDING, action, nullptr, item)) return false;
    TreeModel* model = ModelOf(hwnd);
    if (!model || !(n = model->Find(item))) return false;
    if (expanding) n->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    else n->state &= ~TVIS_EXPANDED;
    System().Invalidate(hwnd, nullptr, true);
    model->Notify(hwnd, TVN_ITEMEXPANDED, action, nullptr, item);
    return true;
}

void TreeModel::DeleteNode(HWND hwnd, HTREEITEM item)
{
    Node* n = Find(item);
    if (!n) return;
    const std::vector<HTREEITEM> children = n->children;
    for (HTREEITEM c : children) DeleteNode(hwnd, c);
    n = Find(item);
    if (!n) return;
    Notify(hwnd, TVN_DELETEITEM, 0, item, nullptr);
    TreeModel* model = ModelOf(hwnd);
    if (!model || !(n = model->Find(item))) return;
    auto& siblings = model->SiblingsOf(model->Find(n->parent));
    siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
    if (model->selected == item) model->selected = nullptr;
    model->nodes.erase(reinterpret_cast<uintptr_t>(item));
}

TreeModel* TreeModel::ModelOf(HWND hwnd)
{
    WindowData* w = System().Find(hwnd);
    return w ? dynamic_cast<TreeModel*>(w->model.get()) : nullptr;
}

void TreeModel::SortChildren(std::vector<HTREEITEM>& list, bool recurse)
{
    std::stable_sort(list.begin(), list.end(), [this](HTREEITEM a, HTREEITEM b) {
        return strcasecmp(Find(a)->text.c_str(), Find(b)->text.c_str()) < 0;
    });
    if (!recurse) return;
    for (HTREEITEM c : list) SortChildren(Find(c)->children, true);
}

bool TreeModel::Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const HWND hwnd = w.hwnd;
    const auto item = reinterpret_cast<HTREEITEM>(lParam);
    switch (message) {
    case TVM_INSERTITEM: result = InsertItem(hwnd, reinterpret_cast<const TVINSERTSTRUCT*>(lParam)); return true;
    case TVM_DELETEITEM: result = DeleteItem(hwnd, item); return true;
    case TVM_EXPAND: result = Expand(hwnd, item, static_cast<UINT>(wParam) & 3); return true;
    case TVM_GETCOUNT: result = static_cast<LRESULT>(nodes.size()); return true;
    case TVM_SETIMAGELIST:
        result = reinterpret_cast<LRESULT>(imageList);
        imageList = reinterpret_cast<CImageList*>(lParam);
        System().Invalidate(hwnd, nullptr, true);
        return true;
    case TVM_GETIMAGELIST: result = reinterpret_cast<LRESULT>(imageList); return true;
    case TVM_GETNEXTITEM: result = reinterpret_cast<LRESULT>(NextItem(item, static_cast<UINT>(wParam))); return true;
    case TVM_SELECTITEM:
        if (static_cast<UINT>(wParam) != TVGN_CARET) return true;
        result = Select(hwnd, item, TVC_UNKNOWN) ? TRUE : FALSE;
        return true;
    case TVM_GETITEM: result = GetItem(reinterpret_cast<TVITEM*>(lParam)); return true;
    case TVM_SETITEM: result = SetItem(hwnd, reinterpret_cast<const TVITEM*>(lParam)); return true;
    case TVM_SORTCHILDREN: result = SortChildrenOf(hwnd, item, wParam != 0); return true;
    case TVM_ENSUREVISIBLE: result = EnsureVisible(hwnd, item); return true;
    case TVM_HITTEST: {
        auto* info = reinterpret_cast<TVHITTESTINFO*>(lParam);
        if (!info) return true;
        info->hItem = HitTest(info->pt, info->flags);
        result = reinterpret_cast<LRESULT>(info->hItem);
        return true;
    }
    case WMU_EXPAND: UserExpand(hwnd, item); return true;
    case WMU_SELECT: Select(hwnd, item, TVC_BYMOUSE); return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        Click(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}, message == WM_LBUTTONDBLCLK);
        return true;
    default: return false;
    }
}

// The new item's handle, 0 when there is no such parent.
LRESULT TreeModel::InsertItem(HWND hwnd, const TVINSERTSTRUCT* insert)
{
    if (!insert) return 0;
    Node* parent = IsRoot(insert->hParent) ? nullptr : Find(insert->hParent);
    if (!IsRoot(insert->hParent) && !parent) return 0;
    auto node = std::make_unique<Node>();
    node->handle = reinterpret_cast<HTREEITEM>(g_nextItem.fetch_add(4));
    node->parent = parent ? parent->handle : nullptr;
    const TVITEM& it = insert->item;
    if ((it.mask & TVIF_TEXT) && it.pszText) node->text = it.pszText;
    if (it.mask & TVIF_IMAGE) node->image = it.iImage;
    if (it.mask & TVIF_SELECTEDIMAGE) node->selectedImage = it.iSelectedImage;
    if (it.mask & TVIF_PARAM) node->data = it.lParam;
    if (it.mask & TVIF_CHILDREN) node->childrenFlag = it.cChildren;
    if (it.mask & TVIF_STATE) node->state = it.state & it.stateMask & ~TVIS_SELECTED;
    auto& siblings = SiblingsOf(parent);
    const HTREEITEM h = node->handle;
    size_t pos = siblings.size();
    if (insert->hInsertAfter == TVI_FIRST) {
        pos = 0;
    } else if (insert->hInsertAfter == TVI_SORT) {
        pos = 0;
        while (pos < siblings.size() && strcasecmp(Find(siblings[pos])->text.c_str(), node->text.c_str()) <= 0) ++pos;
    } else if (insert->hInsertAfter != TVI_LAST && insert->hInsertAfter) {
        auto at = std::find(siblings.begin(), siblings.end(), insert->hInsertAfter);
        if (at != siblings.end()) pos = static_cast<size_t>(at - siblings.begin()) + 1;
    }
    nodes.emplace(reinterpret_cast<uintptr_t>(h), std::move(node));
    siblings.insert(siblings.begin() + static_cast<long>(pos), h);
    System().Invalidate(hwnd, nullptr, true);
    return reinterpret_cast<LRESULT>(h);
}

// The root deletes every item. The parent may destroy the tree while it is
// told of a deletion, so the model is looked up again for each root.
LRESULT TreeModel::DeleteItem(HWND hwnd, HTREEITEM item)
{
    LRESULT deleted = FALSE;
    if (IsRoot(item)) {
        const std::vector<HTREEITEM> all = roots;
        for (HTREEITEM r : all) {
            TreeModel* m = ModelOf(hwnd);
            if (!m) return 0;
            m->DeleteNode(hwnd, r);
        }
        deleted = TRUE;
    } else {
        deleted = Find(item) ? TRUE : FALSE;
        DeleteNode(hwnd, item);
    }
    System().Invalidate(hwnd, nullptr, true);
    return deleted;
}

// TVE_EXPAND, TVE_COLLAPSE or TVE_TOGGLE; TRUE when the item changed.
LRESULT TreeModel::Expand(HWND hwnd, HTREEITEM item, UINT code)
{
    Node* n = Find(item);
    if (!n || !HasChildren(*n)) return FALSE;
    const bool expanded = (n->state & TVIS_EXPANDED) != 0;
    const bool expand = code == TVE_EXPAND || (code == TVE_TOGGLE && !expanded);
    if (expand == expanded) return FALSE;
    if (expand) n->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    else n->state &= ~TVIS_EXPANDED;
    System().Invalidate(hwnd, nullptr, true);
    return TRUE;
}

// The item in TVGN_ `relation` to `item`; null when there is none.
HTREEITEM TreeModel::NextItem(HTREEITEM item, UINT relation)
{
    const Node* n = Find(item);
    switch (relation) {
    case TVGN_ROOT: return roots.empty() ? nullptr : roots.front();
    case TVGN_CARET: return selected;
    case TVGN_PARENT: return n ? n->parent : nullptr;
    case TVGN_CHILD:
        if (IsRoot(item)) return roots.empty() ? nullptr : roots.front();
        return n && !n->children.empty() ? n->children.front() : nullptr;
    case TVGN_NEXT:
    case TVGN_PREVIOUS: {
        if (!n) return nullptr;
        const auto& siblings = SiblingsOf(Find(n->parent));
        auto at = std::find(siblings.begin(), siblings.end(), item);
        if (relation == TVGN_NEXT && at + 1 < siblings.end()) return *(at + 1);
        if (relation == TVGN_PREVIOUS && at != siblings.begin()) return *(at - 1);
        return nullptr;
    }
    case TVGN_FIRSTVISIBLE: {
        const auto rows = VisibleRows();
        return static_cast<size_t>(top) < rows.size() ? rows[static_cast<size_t>(top)].first : nullptr;
    }
    case TVGN_NEXTVISIBLE: {
        HTREEITEM out = nullptr;
        const auto rows = VisibleRows();
        for (size_t i = 0; i + 1 < rows.size(); ++i) {
            if (rows[i].first == item) out = rows[i + 1].first;
        }
        return out;
    }
    default: return nullptr;
    }
}

// Fills the fields of `item` its mask asks for; FALSE for an unknown item.
LRESULT TreeModel::GetItem(TVITEM* item) const
{
    const Node* n = item ? Find(item->hItem) : nullptr;
    if (!n) return FALSE;
    if ((item->mask & TVIF_TEXT) && item->pszText && item->cchTextMax > 0) {
        const size_t count = std::min<size_t>(n->text.size(), static_cast<size_t>(item->cchTextMax - 1));
        std::memcpy(item->pszText, n->text.data(), count);
        item->pszText[count] = '\0';
    }
    if (item->mask & TVIF_IMAGE) item->iImage = n->image;
    if (item->mask & TVIF_SELECTEDIMAGE) item->iSelectedImage = n->selectedImage;
    if (item->mask & TVIF_PARAM) item->lParam = n->data;
    if (item->mask & TVIF_STATE) item->state = n->state & item->stateMask;
    if (item->mask & TVIF_CHILDREN) item->cChildren = HasChildren(*n) ? 1 : 0;
    return TRUE;
}

// Sets the fields of `item` its mask names (the selection is not set this
// way); FALSE for an unknown item.
LRESULT TreeModel::SetItem(HWND hwnd, const TVITEM* item)
{
    Node* n = item ? Find(item->hItem) : nullptr;
    if (!n) return FALSE;
    if ((item->mask & TVIF_TEXT) && item->pszText) n->text = item->pszText;
    if (item->mask & TVIF_IMAGE) n->image = item->iImage;
    if (item->mask & TVIF_SELECTEDIMAGE) n->selectedImage = item->iSelectedImage;
    if (item->mask & TVIF_PARAM) n->data = item->lParam;
    if (item->mask & TVIF_CHILDREN) n->childrenFlag = item->cChildren;
    if (item->mask & TVIF_STATE) {
        const UINT m = item->stateMask & ~TVIS_SELECTED;
        n->state = (n->state & ~m) | (item->state & m);
    }
    System().Invalidate(hwnd, nullptr, true);
    return TRUE;
}

LRESULT TreeModel::SortChildrenOf(HWND hwnd, HTREEITEM item, bool recurse)
{
    Node* n = IsRoot(item) ? nullptr : Find(item);
    if (!IsRoot(item) && !n) return FALSE;
    SortChildren(SiblingsOf(n), recurse);
    System().Invalidate(hwnd, nullptr, true);
    return TRUE;
}

// Expands every ancestor of `item`.
LRESULT TreeModel::EnsureVisible(HWND hwnd, HTREEITEM item)
{
    Node* n = Find(item);
    for (Node* p = n ? Find(n->parent) : nullptr; p; p = Find(p->parent)) p->state |= TVIS_EXPANDED;
    System().Invalidate(hwnd, nullptr, true);
    return n ? TRUE : FALSE;
}

// A click selects the item under it; a double click or a click on the
// expand button toggles the item. Taking the focus may destroy the tree.
void TreeModel::Click(HWND hwnd, POINT client, bool twice)
{
    System().SetFocus(hwnd);
    TreeModel* model = ModelOf(hwnd);
    if (!model) return;
    UINT flags = 0;
    const HTREEITEM item = model->HitTest(client, flags);
    if (!item) return;
    if (flags == TVHT_ONITEMBUTTON || twice) model->UserExpand(hwnd, item);
    else model->Select(hwnd, item, TVC_BYMOUSE);
}

void RegisterTreeClass(WindowSystem& system)
{
    system.RegisterClass({"TreeView", [] { return std::make_unique<TreeModel>(); }, [] { return new CTreeCtrl(); },
                          COLOR_WINDOW, IDC_ARROW});
}

}  // namespace win

// ---- CImageList -------------------------------------------------------------------------

BOOL CImageList::Create(UINT bitmapId, int width, int, COLORREF maskColor)
{
    Image* strip = win::Resources::FindBitmap(bitmapId);
    if (!strip || width <= 0) {
        Logger::log("ERROR CImageList::Create no bitmap resource %u", 1, bitmapId);
        return FALSE;
    }
    m_pictures.clear();
    m_width = width;
    m_height = strip->GetHeight();
    m_maskColor = maskColor;
    m_hasMask = true;
    for (int x = 0; x + width <= strip->GetWidth(); x += width) {
        auto* tile = new Image();
        if (!tile->Create(width, m_height, strip->GetChannels(), strip->GetDataType())) {
            delete tile;
            return FALSE;
        }
        strip->CopyDataTo(x, x + width - 1, 0, m_height - 1, tile, 0, 0);
        m_pictures.push_back(RefPtr<Image>::adopt(tile));
    }
    return TRUE;
}

BOOL CImageList::Create(int width, int height, UINT flags, int, int)
{
    m_pictures.clear();
    m_width = width;
    m_height = height;
    m_hasMask = (flags & ILC_MASK) != 0;
    return TRUE;
}

int CImageList::Add(Image* picture, COLORREF maskColor)
{
    if (!picture) return -1;
    m_maskColor = maskColor;
    m_pictures.push_back(RefPtr<Image>::share(picture));
    return static_cast<int>(m_pictures.size()) - 1;
}

Image* CImageList::GetImage(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_pictures.size()) return nullptr;
    return m_pictures[static_cast<size_t>(index)].get();
}

BOOL CImageList::DeleteImageList()
{
    m_pictures.clear();
    return TRUE;
}

// ---- CTreeCtrl ---------------------------------------------------------------------------

BOOL CTreeCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    return CreateEx(0, "TreeView", "", style | WS_CHILD, rect, parent, id);
}

HTREEITEM CTreeCtrl::InsertItem(const TVINSERTSTRUCT* insert)
{
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(insert)));
}

HTREEITEM CTreeCtrl::InsertItem(const char* text, HTREEITEM parent, HTREEITEM after)
{
    TVINSERTSTRUCT insert;
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>(text);
    return InsertItem(&insert);
}

HTREEITEM CTreeCtrl::InsertItem(const char* text, int image, int selectedImage, HTREEITEM parent, HTREEITEM after)
{
    TVINSERTSTRUCT insert;
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<char*>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    return InsertItem(&insert);
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM item)
{
    return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::DeleteAllItems()
{
    return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)));
}

BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code)
{
    return static_cast<BOOL>(SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM CTreeCtrl::GetNextItem(HTREEITEM item, UINT code) const
{
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::SelectItem(HTREEITEM item)
{
    return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::GetItem(TVITEM* item) const
{
    return static_cast<BOOL>(SendMessage(TVM_GETITEM, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::SetItem(TVITEM* item)
{
    return static_cast<BOOL>(SendMessage(TVM_SETITEM, 0, reinterpret_cast<LPARAM>(item)));
}

std::string CTreeCtrl::GetItemText(HTREEITEM item) const
{
    char buffer[1024];
    TVITEM tv;
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = buffer;
    tv.cchTextMax = sizeof buffer;
    if (!GetItem(&tv)) return std::string();
    return buffer;
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, const char* text)
{
    TVITEM tv;
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = const_cast<char*>(text);
    return SetItem(&tv);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const
{
    TVITEM tv;
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    return GetItem(&tv) ? static_cast<DWORD_PTR>(tv.lParam) : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data)
{
    TVITEM tv;
    tv.mask = TVIF_PARAM;
    tv.hItem = item;
    tv.lParam = static_cast<LPARAM>(data);
    return SetItem(&tv);
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const
{
    TVITEM tv;
    tv.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tv.hItem = item;
    if (!GetItem(&tv)) return FALSE;
    image = tv.iImage;
    selectedImage = tv.iSelectedImage;
    return TRUE;
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM item, int image, int selectedImage)
{
    TVITEM tv;
    tv.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tv.hItem = item;
    tv.iImage = image;
    tv.iSelectedImage = selectedImage;
    return SetItem(&tv);
}

UINT CTreeCtrl::GetItemState(HTREEITEM item, UINT mask) const
{
    TVITEM tv;
    tv.mask = TVIF_STATE;
    tv.hItem = item;
    tv.stateMask = mask;
    return GetItem(&tv) ? tv.state : 0;
}

BOOL CTreeCtrl::ItemHasChildren(HTREEITEM item) const
{
    TVITEM tv;
    tv.mask = TVIF_CHILDREN;
    tv.hItem = item;
    return GetItem(&tv) ? (tv.cChildren != 0) : FALSE;
}

UINT CTreeCtrl::GetCount() const
{
    return static_cast<UINT>(SendMessage(TVM_GETCOUNT));
}

CImageList* CTreeCtrl::SetImageList(CImageList* list, int type)
{
    return reinterpret_cast<CImageList*>(
        SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(type), reinterpret_cast<LPARAM>(list)));
}

CImageList* CTreeCtrl::GetImageList(UINT type) const
{
    return reinterpret_cast<CImageList*>(SendMessage(TVM_GETIMAGELIST, type));
}

BOOL CTreeCtrl::SortChildren(HTREEITEM item)
{
    return static_cast<BOOL>(SendMessage(TVM_SORTCHILDREN, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CTreeCtrl::EnsureVisible(HTREEITEM item)
{
    return static_cast<BOOL>(SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM CTreeCtrl::HitTest(POINT point, UINT* flags) const
{
    TVHITTESTINFO info{point, 0, nullptr};
    SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info));
    if (flags) *flags = info.flags;
    return info.hItem;
}

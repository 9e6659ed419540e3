// The tree view's items as its window keeps them (see tree_ctrl.h for the
// control object and the messages).
#pragma once

#include "platform/win/control_models.h"
#include "platform/win/tree_ctrl.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace win {

class TreeModel : public ControlModel {
public:
    struct Node {
        HTREEITEM handle = nullptr;
        HTREEITEM parent = nullptr;
        std::string text;
        int image = 0;
        int selectedImage = 0;
        LPARAM data = 0;
        int childrenFlag = 0;  // cChildren: 1 shows an expand button without children yet
        UINT state = 0;
        std::vector<HTREEITEM> children;
    };

    std::map<uintptr_t, std::unique_ptr<Node>> nodes;
    std::vector<HTREEITEM> roots;
    HTREEITEM selected = nullptr;
    CImageList* imageList = nullptr;
    int top = 0;  // first visible row

    bool Handle(WindowData& w, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Paint(WindowData& w, CDC& dc) override;

    Node* Find(HTREEITEM item) const;
    // Items shown, in order, with their depth.
    std::vector<std::pair<HTREEITEM, int>> VisibleRows() const;
    HTREEITEM HitTest(POINT client, UINT& flags) const;
    static TreeModel* ModelOf(HWND hwnd);

private:
    std::vector<HTREEITEM>& SiblingsOf(Node* parent);
    bool HasChildren(const Node& n) const;
    void FillItem(const Node& n, TVITEM& out) const;
    LRESULT Notify(HWND hwnd, UINT code, UINT action, HTREEITEM oldItem, HTREEITEM newItem);
    bool Select(HWND hwnd, HTREEITEM item, UINT action);
    bool UserExpand(HWND hwnd, HTREEITEM item);
    void DeleteNode(HWND hwnd, HTREEITEM item);
    void SortChildren(std::vector<HTREEITEM>& list, bool recurse);

    // The tree messages, one step each.
    LRESULT InsertItem(HWND hwnd, const TVINSERTSTRUCT* insert);
    LRESULT DeleteItem(HWND hwnd, HTREEITEM item);
    LRESULT Expand(HWND hwnd, HTREEITEM item, UINT code);
    HTREEITEM NextItem(HTREEITEM item, UINT relation);
    LRESULT GetItem(TVITEM* item) const;
    LRESULT SetItem(HWND hwnd, const TVITEM* item);
    LRESULT SortChildrenOf(HWND hwnd, HTREEITEM item, bool recurse);
    LRESULT EnsureVisible(HWND hwnd, HTREEITEM item);
    void Click(HWND hwnd, POINT client, bool twice);
};

}  // namespace win

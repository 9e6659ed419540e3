#include "app/shell/strip_item_list.h"

#include <algorithm>
#include <cstring>

StripItemList::~StripItemList()
{
    // Unlinked one by one: a long chain must not recurse through the
    // destructors of its next pointers.
    while (m_first) m_first = std::move(m_first->next);
}

std::unique_ptr<StripItem>* StripItemList::Link(int index)
{
    std::unique_ptr<StripItem>* link = &m_first;
    for (int i = 0; i < index && *link; ++i) link = &(*link)->next;
    return link;
}

int StripItemList::Add(const std::string& path, Image* image, int kind, int size0, int size1, int view0, int view1,
                       int view2)
{
    for (StripItem* item = m_first.get(); item; item = item->next.get())
        if (item->path == path) return -1;
    auto item = std::make_unique<StripItem>();
    RefAdd(image);
    item->image = image;
    item->path = path;
    item->SetKind(kind);
    item->size[0] = size0;
    item->size[1] = size1;
    item->view[0] = view0;
    item->view[1] = view1;
    item->view[2] = view2;
    *Link(m_count) = std::move(item);
    return m_count++;
}

StripItem* StripItemList::Get(int index) const
{
    if (index < 0 || index >= m_count) return nullptr;
    StripItem* item = m_first.get();
    for (int i = 0; i < index; ++i) item = item->next.get();
    return item;
}

std::unique_ptr<StripItem> StripItemList::Take(int index)
{
    if (index < 0 || index >= m_count) return nullptr;
    std::unique_ptr<StripItem>* link = Link(index);
    std::unique_ptr<StripItem> item = std::move(*link);
    *link = std::move(item->next);
    --m_count;
    if (m_selected == index)
        m_selected = -1;
    else if (m_selected > index)
        --m_selected;
    return item;
}

bool StripItemList::Insert(std::unique_ptr<StripItem> item, int index)
{
    if (!item || index < 0 || index > m_count) return false;
    std::unique_ptr<StripItem>* link = Link(index);
    item->next = std::move(*link);
    *link = std::move(item);
    ++m_count;
    if (m_selected >= index) ++m_selected;
    return true;
}

bool StripItemList::Move(int from, int to)
{
    if (from == to || from < 0 || from >= m_count || to < 0 || to >= m_count) return false;
    const bool wasSelected = m_selected == from;
    std::unique_ptr<StripItem> item = Take(from);
    Insert(std::move(item), to);
    if (wasSelected) m_selected = to;
    return true;
}

bool StripItemList::Remove(int index)
{
    return Take(index) != nullptr;
}

bool StripItemList::GetDisplayText(int index, char* buffer, int size) const
{
    const StripItem* item = Get(index);
    if (!item || !buffer || size <= 0) return false;
    std::string text;
    if (item->label) {
        text = *item->label;
    } else {
        const size_t slash = item->path.find_last_of("\\/");
        text = slash == std::string::npos ? item->path : item->path.substr(slash + 1);
        const size_t dot = text.rfind('.');
        if (dot != std::string::npos) text.resize(dot);
    }
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return true;
}

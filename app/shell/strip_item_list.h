// The named images an image strip shows: a list of items that each hold a
// counted reference to their image, a unique path, an optional label, a
// kind and the values the strip uses for the view extent, with one
// selected item that follows its entry through moves and removals.
#pragma once

#include "imaging/image.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

struct StripItem {
    StripItem() = default;
    ~StripItem() { ReleaseImage(image); }
    StripItem(const StripItem&) = delete;
    StripItem& operator=(const StripItem&) = delete;

    // Kind in two bits: 0 is stored as both bits, 1 as bit 0, 2 as bit 1.
    void SetKind(int kind) { kindBits = kind == 1 ? 1 : (kind == 2 ? 2 : 3); }
    int GetKind() const { return kindBits == 1 ? 1 : (kindBits == 2 ? 2 : 0); }

    Image* image = nullptr;  // one reference held
    std::string path;
    std::optional<std::string> label;
    uint8_t kindBits = 3;
    int32_t size[2] = {0, 0};
    int32_t view[3] = {0, 0, 0};
    float centre[2] = {0.0f, 0.0f};  // each in -1..1
    std::unique_ptr<StripItem> next;
};

class StripItemList {
public:
    StripItemList() = default;
    ~StripItemList();
    StripItemList(const StripItemList&) = delete;
    StripItemList& operator=(const StripItemList&) = delete;

    // Appends an item (taking a reference on the image); -1 when an item
    // with exactly this path is there already.
    int Add(const std::string& path, Image* image, int kind, int size0, int size1, int view0, int view1, int view2);
    StripItem* Get(int index) const;
    // Unlinks the item and hands it over; null outside the list.
    std::unique_ptr<StripItem> Take(int index);
    // Inserts before `index` (count appends); false outside 0..count.
    bool Insert(std::unique_ptr<StripItem> item, int index);
    bool Move(int from, int to);
    bool Remove(int index);
    // The label, else the file name without folder and extension, cut to
    // the buffer; false outside the list.
    bool GetDisplayText(int index, char* buffer, int size) const;

    int GetCount() const { return m_count; }
    int GetSelected() const { return m_selected; }
    void SetSelected(int index) { m_selected = index >= 0 && index < m_count ? index : -1; }
    const std::string& GetName() const { return m_name; }
    void SetName(const std::string& name) { m_name = name; }
    void SetValues(int a, int b) { m_values[0] = a; m_values[1] = b; }
    void GetValues(int& a, int& b) const { a = m_values[0]; b = m_values[1]; }
    void SetValue(int value) { m_value = value; }
    int GetValue() const { return m_value; }
    void SetAngle(int degrees) { m_angle = degrees; }
    int GetAngle() const { return m_angle; }
    void SetFlag(uint8_t flag) { m_flag = flag; }
    uint8_t GetFlag() const { return m_flag; }

private:
    std::unique_ptr<StripItem>* Link(int index);

    int32_t m_count = 0;
    std::unique_ptr<StripItem> m_first;
    int32_t m_selected = -1;
    std::string m_name;
    int32_t m_values[2] = {0, 0};
    int32_t m_value = 0;
    int32_t m_angle = 0;  // degrees
    uint8_t m_flag = 0;
};

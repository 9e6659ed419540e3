// The suite's general container: an ordered, growable array of untyped
// pointers with an optional element deleter. Frames, links, layers, cells,
// viewers and the image chain are all kept in Lists.
#pragma once

#include <cstdint>

class List {
public:
    using Deleter = void (*)(void*);

    // Capacity below 4 is raised to 4. With a deleter the list owns its
    // elements and passes each to it on removal and destruction.
    List(Deleter deleter, unsigned short capacity);
    ~List();
    List(const List&) = delete;
    List& operator=(const List&) = delete;

    // Index of the new element, or -1 when the list is full (65,535 elements)
    // or out of memory.
    int Append(void* item);
    int Insert(void* item, unsigned short index);
    void* GetData(int index) const;
    int GetIndex(void* item) const;
    int RemoveData(void* item);
    int RemoveData(int index);
    bool MoveData(int from, int to);
    void MoveToTop(int index);
    void ReverseOrder();

    class Iterator {
    public:
        Iterator(const List* list, int position) : m_list(list), m_position(position) {}
        // The next element in index order, null after the last.
        void* Iterate();

    private:
        const List* m_list;
        int m_position;
    };
    Iterator StartIteration(char direction) const;

    // Fields, in this order; callers read the count directly.
    uint16_t m_count = 0;
    uint16_t m_capacity = 0;
    uint16_t m_reserved = 0;
    void** m_data = nullptr;
    Deleter m_deleter = nullptr;

private:
    bool GrowForOne();
};

// Intrusive reference count shared by Image and the image-like classes of the
// world-map library. Holders raise and lower the count in place; the holder
// whose release takes it below 1 deletes the object.
#pragma once

#include <cstdint>
#include <utility>

class RefCount {
public:
    RefCount() = default;
    virtual ~RefCount() = default;
    RefCount(const RefCount&) = delete;
    RefCount& operator=(const RefCount&) = delete;

    int32_t m_refCount = 0;
};

// Raise the count of a held object (null is ignored).
inline void RefAdd(RefCount* object)
{
    if (object) ++object->m_refCount;
}

// Drop one reference; deletes the object when the count falls below 1.
inline void RefRelease(RefCount* object)
{
    if (object && --object->m_refCount < 1) delete object;
}

// Owning handle for code inside a class: holds one reference and drops it on
// destruction. `adopt` takes over the caller's reference (a new object),
// `share` adds one of its own.
template <class T>
class RefPtr {
public:
    RefPtr() = default;
    static RefPtr adopt(T* object) { RefPtr p; p.m_object = object; return p; }
    static RefPtr share(T* object) { RefAdd(object); return adopt(object); }
    ~RefPtr() { RefRelease(m_object); }
    RefPtr(const RefPtr& other) : m_object(other.m_object) { RefAdd(m_object); }
    RefPtr(RefPtr&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    RefPtr& operator=(RefPtr other) noexcept { std::swap(m_object, other.m_object); return *this; }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    // Hands the reference to the caller.
    T* release() { return std::exchange(m_object, nullptr); }
    void reset() { RefRelease(std::exchange(m_object, nullptr)); }

private:
    T* m_object = nullptr;
};

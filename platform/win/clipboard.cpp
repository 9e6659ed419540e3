#include "platform/win/clipboard.h"

#include "core/logger.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

struct Block {
    std::vector<unsigned char> bytes;
    int locks = 0;
};

struct State {
    std::mutex lock;
    std::map<uintptr_t, std::unique_ptr<Block>> blocks;
    uintptr_t next = 0x60000;
    bool open = false;
    HWND owner = nullptr;
    std::map<UINT, HGLOBAL> formats;
    std::map<std::string, UINT> registered;
    UINT nextFormat = 0xC000;
};

State& S()
{
    static State* state = new State();  // lives for the process
    return *state;
}

Block* FindLocked(HGLOBAL block)
{
    auto it = S().blocks.find(reinterpret_cast<uintptr_t>(block));
    return it == S().blocks.end() ? nullptr : it->second.get();
}

void EmptyLocked()
{
    for (auto& [format, block] : S().formats) S().blocks.erase(reinterpret_cast<uintptr_t>(block));
    S().formats.clear();
}

}  // namespace

HGLOBAL GlobalAlloc(UINT, size_t bytes)
{
    auto block = std::make_unique<Block>();
    try {
        block->bytes.assign(bytes, 0);  // always zeroed: no uninitialised bytes travel
    } catch (const std::bad_alloc&) {
        Logger::log("ERROR GlobalAlloc %zu bytes are not available", 1, bytes);
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(S().lock);
    const uintptr_t key = S().next;
    S().next += 4;
    S().blocks.emplace(key, std::move(block));
    return reinterpret_cast<HGLOBAL>(key);
}

void* GlobalLock(HGLOBAL block)
{
    std::lock_guard<std::mutex> guard(S().lock);
    Block* b = FindLocked(block);
    if (!b) return nullptr;
    ++b->locks;
    // A zero-sized block still gives a distinct, valid pointer.
    if (b->bytes.empty()) b->bytes.reserve(1);
    return b->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL block)
{
    std::lock_guard<std::mutex> guard(S().lock);
    Block* b = FindLocked(block);
    if (!b || b->locks == 0) return FALSE;
    return --b->locks > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalFree(HGLOBAL block)
{
    std::lock_guard<std::mutex> guard(S().lock);
    if (!FindLocked(block)) return block;
    for (const auto& [format, owned] : S().formats) {
        if (owned == block) return block;  // the clipboard's block is not the caller's to free
    }
    S().blocks.erase(reinterpret_cast<uintptr_t>(block));
    return nullptr;
}

size_t GlobalSize(HGLOBAL block)
{
    std::lock_guard<std::mutex> guard(S().lock);
    Block* b = FindLocked(block);
    return b ? b->bytes.size() : 0;
}

BOOL OpenClipboard(HWND owner)
{
    std::lock_guard<std::mutex> guard(S().lock);
    if (S().open && S().owner != owner) return FALSE;
    S().open = true;
    S().owner = owner;
    return TRUE;
}

BOOL CloseClipboard()
{
    std::lock_guard<std::mutex> guard(S().lock);
    if (!S().open) return FALSE;
    S().open = false;
    S().owner = nullptr;
    return TRUE;
}

BOOL EmptyClipboard()
{
    std::lock_guard<std::mutex> guard(S().lock);
    if (!S().open) return FALSE;
    EmptyLocked();
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HGLOBAL block)
{
    std::lock_guard<std::mutex> guard(S().lock);
    if (!S().open || !FindLocked(block)) return nullptr;
    auto it = S().formats.find(format);
    if (it != S().formats.end() && it->second != block) S().blocks.erase(reinterpret_cast<uintptr_t>(it->second));
    S().formats[format] = block;
    return reinterpret_cast<HANDLE>(block);
}

HGLOBAL GetClipboardData(UINT format)
{
    std::lock_guard<std::mutex> guard(S().lock);
    if (!S().open) return nullptr;
    auto it = S().formats.find(format);
    return it == S().formats.end() ? nullptr : it->second;
}

BOOL IsClipboardFormatAvailable(UINT format)
{
    std::lock_guard<std::mutex> guard(S().lock);
    return S().formats.count(format) ? TRUE : FALSE;
}

UINT RegisterClipboardFormat(const char* name)
{
    if (!name || !*name) return 0;
    std::lock_guard<std::mutex> guard(S().lock);
    auto it = S().registered.find(name);
    if (it != S().registered.end()) return it->second;
    const UINT id = S().nextFormat++;
    S().registered.emplace(name, id);
    return id;
}

namespace win {

HGLOBAL CopyGlobal(HGLOBAL block)
{
    std::vector<unsigned char> bytes;
    {
        std::lock_guard<std::mutex> guard(S().lock);
        Block* b = FindLocked(block);
        if (!b) return nullptr;
        bytes = b->bytes;
    }
    const HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!copy) return nullptr;
    std::lock_guard<std::mutex> guard(S().lock);
    FindLocked(copy)->bytes = std::move(bytes);
    return copy;
}

size_t LiveGlobalCount()
{
    std::lock_guard<std::mutex> guard(S().lock);
    return S().blocks.size();
}

void ResetClipboard()
{
    std::lock_guard<std::mutex> guard(S().lock);
    EmptyLocked();
    S().blocks.clear();
    S().open = false;
    S().owner = nullptr;
}

}  // namespace win

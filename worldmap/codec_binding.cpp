#include "worldmap/codec_binding.h"

#include "jpeg/jpegkit.h"
#include "platform/gifkit/gifkit.h"
#include "core/logger.h"

#include <mutex>

namespace {

// Guards both process-wide bindings: binding, use of the pointers and
// release never race between the UI thread and the thumbnail worker.
std::mutex g_bindingMutex;
std::shared_ptr<const JpegkitBinding> g_jpegkit;
std::shared_ptr<const GifkitBinding> g_gifkit;

// Loads the library and looks its entries up in ordinal order; at the first
// one missing the library is freed and nothing is bound.
template <size_t N>
HMODULE LoadAll(const char* fileName, const char* const (&names)[N], FARPROC (&entries)[N])
{
    HMODULE module = LoadLibraryA(fileName);
    if (!module) return nullptr;
    for (size_t i = 0; i < N; ++i) {
        entries[i] = GetProcAddress(module, names[i]);
        if (!entries[i]) {
            Logger::log("ERROR BindCodec: %s has no entry %s (ordinal %zu)", 1, fileName, names[i], i + 1);
            FreeLibrary(module);
            return nullptr;
        }
    }
    return module;
}

template <class T>
void Take(T*& field, FARPROC entry)
{
    field = reinterpret_cast<T*>(entry);
}

}  // namespace

std::shared_ptr<const JpegkitBinding> BindJpegkit()
{
    std::lock_guard<std::mutex> lock(g_bindingMutex);
    if (g_jpegkit) return g_jpegkit;
    FARPROC p[8];
    HMODULE module = LoadAll("Jpegkit.dll", kJpegkitEntryNames, p);
    if (!module) return nullptr;
    auto binding = std::make_shared<JpegkitBinding>(module);
    JpegkitEntries& e = binding->entries;
    Take(e.GetJpegHeader, p[0]);
    Take(e.ReadJpegData, p[1]);
    Take(e.JpegCleanup, p[2]);
    Take(e.WriteJpeg, p[3]);
    Take(e.GetQuorvanePD, p[4]);
    Take(e.OrgWHFunction, p[5]);
    Take(e.NoReadThumbnail, p[6]);
    Take(e.SetForce0To1, p[7]);
    g_jpegkit = binding;
    return binding;
}

std::shared_ptr<const GifkitBinding> BindGifkit()
{
    std::lock_guard<std::mutex> lock(g_bindingMutex);
    if (g_gifkit) return g_gifkit;
    FARPROC p[5];
    HMODULE module = LoadAll("Gifkit.dll", kGifkitEntryNames, p);
    if (!module) return nullptr;
    auto binding = std::make_shared<GifkitBinding>(module);
    GifkitEntries& e = binding->entries;
    Take(e.ReadHeader, p[0]);
    Take(e.ReadPixels, p[1]);
    Take(e.Close, p[2]);
    Take(e.Write, p[3]);
    Take(e.GetValue, p[4]);
    g_gifkit = binding;
    return binding;
}

void ReleaseIOModule()
{
    std::shared_ptr<const JpegkitBinding> jpegkit;
    std::shared_ptr<const GifkitBinding> gifkit;
    {
        std::lock_guard<std::mutex> lock(g_bindingMutex);
        jpegkit.swap(g_jpegkit);
        gifkit.swap(g_gifkit);
    }
    // Unloaded here unless a call in flight still holds the binding; then
    // the last holder unloads it when its call returns.
}

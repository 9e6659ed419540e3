// The library's eight entry points are found by name with dlsym, in ordinal
// order, as the world-map library binds them.
#include "jpeg/jpegkit.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

TEST(JpegkitExports, EveryEntryPointIsBoundByItsName)
{
    Dl_info where{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&GetJpegHeader), &where), 0);
    ASSERT_NE(where.dli_fname, nullptr);
    EXPECT_NE(std::string(where.dli_fname).find("libJpegkit.so"), std::string::npos) << where.dli_fname;
    void* library = dlopen(where.dli_fname, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const void* expected[8] = {
        reinterpret_cast<void*>(&GetJpegHeader), reinterpret_cast<void*>(&ReadJpegData),
        reinterpret_cast<void*>(&JpegCleanup),   reinterpret_cast<void*>(&WriteJpeg),
        reinterpret_cast<void*>(&GetQuorvanePD), reinterpret_cast<void*>(&OrgWHFunction),
        reinterpret_cast<void*>(&NoReadThumbnail), reinterpret_cast<void*>(&SetForce0To1),
    };
    for (int ordinal = 1; ordinal <= 8; ++ordinal) {
        const char* name = kJpegkitEntryNames[ordinal - 1];
        void* symbol = dlsym(library, name);
        EXPECT_EQ(symbol, expected[ordinal - 1]) << "ordinal " << ordinal << " " << name;
    }
    dlclose(library);
}

}  // namespace

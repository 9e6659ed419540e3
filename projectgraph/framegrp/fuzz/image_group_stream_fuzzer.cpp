// libFuzzer target over the image-graph record stream readers of a project
// file: the current layout and version 1, each into an empty group. Build
// with -DFENDRAKE_FUZZ=ON and clang (see the README) and run, e.g.:
//   build-fuzz/projectgraph/framegrp/image_group_fuzzer -max_total_time=300 corpus/
#include "projectgraph/framegrp/image_group.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    // The first byte picks the layout, so every input runs one reader.
    ImageGroup group;
    if (data[0] & 1)
        group.Open_InitInfo_version001(file);
    else
        group.Open_InitInfo(file);
    std::fclose(file);
    return 0;
}

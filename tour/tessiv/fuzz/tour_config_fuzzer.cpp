// libFuzzer target over the configuration file reader ("TessivConfig.bin"),
// in both of its forms. Build with -DFENDRAKE_TESSIV_FUZZ=ON
// -DFENDRAKE_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang
// and run, e.g.:
//   build-fuzz/tour/tessiv/tour_config_fuzzer -close_fd_mask=2 -max_total_time=300 corpus/
#include "tour/tessiv/tour_project.h"

#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Its own copy, so that a read past the input is seen.
    const std::vector<uint8_t> bytes(data, data + size);
    const bool withTourData = size % 2 == 1;
    auto tour = std::make_unique<TourProject>(5);
    tour->LoadBytes(bytes.data(), bytes.size(), withTourData);
    tour->SaveBytes(true);
    return 0;
}

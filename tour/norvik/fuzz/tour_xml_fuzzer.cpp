// libFuzzer target over the tour XML text readers: a Norvik document made
// from the text, its serialisation, and the Flash external-interface message
// loader, which viewer messages reach. Build with -DFENDRAKE_FUZZ=ON and
// clang (see the README) and run, e.g.:
//   build-fuzz/tour/norvik/tour_xml_fuzzer -max_total_time=300 corpus/
#include "tour/norvik/flash_xml_msg.h"
#include "tour/norvik/norvik.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The readers take zero-terminated text, as their callers hand it over.
    const std::string text(reinterpret_cast<const char*>(data), size);
    Norvik norvik(text.c_str());
    FlashXmlMsg message;
    message.LoadXml(text.c_str());
    return 0;
}

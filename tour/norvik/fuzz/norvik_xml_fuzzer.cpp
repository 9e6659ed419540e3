// libFuzzer target over the tour XML readers: the document wrapper's parse
// with its path queries and printing, and the Flash message loader with its
// argument getters. The input is the text up to its first zero, in a heap
// block of its exact size so that any read past it is seen. Build with
// -DFENDRAKE_NORVIK_FUZZ=ON -DFENDRAKE_SANITIZE=ON -DCMAKE_CXX_COMPILER=clang++
// -DCMAKE_C_COMPILER=clang and run, e.g. (-close_fd_mask=1 hides the parse
// error lines):
//   build-fuzz/tour/norvik/norvik_xml_fuzzer -close_fd_mask=1 -max_total_time=300 corpus/
#include "tour/norvik/flash_xml_msg.h"
#include "tour/norvik/norvik.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const void* zero = std::memchr(data, 0, size);
    const size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
    const std::unique_ptr<char[]> text(new char[length + 1]);
    std::memcpy(text.get(), data, length);
    text[length] = '\0';

    Norvik document;
    if (document.CreateXMLDocument(text.get())) {
        for (const char* path : {"//invoke/arguments", "/tour/panos/pano", "//*", "//text()", "a/b//c"})
            document.SelectNodes(path);
        document.SelectById("//pano", nullptr, 1);
        TiXmlPrinter printer;
        document.Document()->Accept(&printer);
    }

    FlashXmlMsg message;
    message.LoadXml(text.get());
    message.GetFuncName();
    for (int i = 0; i < 3; ++i) {
        message.GetArgNumber(i);
        message.GetArgString(i);
    }
    message.InsertArgString(text.get());
    std::string out;
    message.GetXml(out);
    return 0;
}

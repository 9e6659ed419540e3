// JPEG encoding speed and size: our encoder against libjpeg-turbo with the
// same quantisation tables, sampling, scan script and optimised Huffman
// tables, on real photographs decoded once into memory. Prints the speed
// ratio and our size / libjpeg-turbo's size per case.
#include "bench/jpeg_bench_ratio.h"
#include "imaging/image.h"
#include "jpeg/jpeg_byte_source.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/jpeg_encoder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using Bytes = std::vector<unsigned char>;

std::string TestData(const std::string& relative)
{
    const char* env = std::getenv("FENDRAKE_TESTDATA");
    return std::string(env && *env ? env : FENDRAKE_TESTDATA_DIR) + "/" + relative;
}

// The picture to encode, decoded with our decoder (BGR).
std::unique_ptr<Image> LoadPicture(const std::string& relative)
{
    std::ifstream in(TestData(relative), std::ios::binary);
    const Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    JpegDecoder decoder(std::make_unique<MemoryByteSource>(data.data(), data.size()), false, false);
    if (data.empty() || !decoder.ReadHeader()) return nullptr;
    auto image = std::make_unique<Image>(decoder.OutputWidth(), decoder.OutputHeight(), decoder.Components());
    if (!decoder.DecodeImage(image.get())) return nullptr;
    return image;
}

struct Case {
    const char* name;
    const char* file;
    int sampling;
    bool progressive;
};

const Case kCases[] = {
    {"seq_444_3.4MP", "libjxl-testdata/flower.png.im_q85_444.jpg", 0, false},
    {"seq_422_camera_4.9MP", "huginsample-durlach/original/P1060369.JPG", 1, false},
    {"seq_420_3.4MP", "libjxl-testdata/flower.png.im_q85_444.jpg", 2, false},
    {"prog_444_3.4MP", "libjxl-testdata/flower.png.im_q85_444.jpg", 0, true},
    {"prog_420_pano_8MP", "pannellum/examplepano.jpg", 2, true},
};

size_t EncodeOurs(const Image& image, const Case& c)
{
    JpegEncodeOptions options;
    options.sampling = c.sampling;
    options.progressive = c.progressive;
    JpegEncoder encoder(image.GetData(), image.GetRowByte(), image.GetChannels(), image.GetWidth(),
                        image.GetHeight(), options);
    if (!encoder.Prepare()) return 0;
    auto sink = std::make_unique<MemoryByteSink>();
    encoder.Write(*sink);
    sink->Flush();
    return sink->Bytes().size();
}

// libjpeg-turbo configured like our encoder: Annex K tables divided by the
// sampling's divisor, the same sampling factors and progressive script,
// optimised tables, accurate integer DCT, no JFIF segment.
size_t EncodeTurbo(const Image& image, const Case& c)
{
    static const unsigned int kLum[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                          14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                          18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                          49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    static const unsigned int kChr[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                          24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                          99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                          99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
    const int divisor = c.sampling == 0 ? 8 : c.sampling == 1 ? 5 : 2;
    unsigned int lum[64], chr[64];
    for (int i = 0; i < 64; ++i) {
        lum[i] = kLum[i] / divisor ? kLum[i] / divisor : 1;
        chr[i] = kChr[i] / divisor ? kChr[i] / divisor : 1;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(image.GetWidth());
    cinfo.image_height = static_cast<JDIMENSION>(image.GetHeight());
    cinfo.input_components = image.GetChannels();
    cinfo.in_color_space = image.GetChannels() == 3 ? JCS_EXT_BGR : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    cinfo.write_JFIF_header = FALSE;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = TRUE;
    jpeg_add_quant_table(&cinfo, 0, lum, 100, FALSE);
    jpeg_add_quant_table(&cinfo, 1, chr, 100, FALSE);
    if (image.GetChannels() == 3) {
        cinfo.comp_info[0].h_samp_factor = c.sampling == 0 ? 1 : 2;
        cinfo.comp_info[0].v_samp_factor = c.sampling >= 2 ? 2 : 1;
    }
    static jpeg_scan_info script[14];
    if (c.progressive) {
        int n = 0;
        auto scan = [&](int comps, int first, int ss, int se, int ah, int al) {
            script[n].comps_in_scan = comps;
            for (int k = 0; k < comps; ++k) script[n].component_index[k] = first + k;
            script[n].Ss = ss, script[n].Se = se, script[n].Ah = ah, script[n].Al = al;
            ++n;
        };
        const int comps = image.GetChannels() == 3 ? 3 : 1;
        scan(comps, 0, 0, 0, 0, 1);
        for (int i = 0; i < comps; ++i) scan(1, i, 1, 5, 0, 2);
        for (int i = 0; i < comps; ++i) scan(1, i, 6, 63, 0, 2);
        for (int i = 0; i < comps; ++i) scan(1, i, 1, 63, 2, 1);
        scan(comps, 0, 0, 0, 1, 0);
        for (int i = 0; i < comps; ++i) scan(1, i, 1, 63, 1, 0);
        cinfo.scan_info = script;
        cinfo.num_scans = n;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = image.GetData() + static_cast<size_t>(cinfo.next_scanline) * image.GetRowByte();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return outSize;
}

void Encode(benchmark::State& state, const Case& c, bool ours)
{
    const std::unique_ptr<Image> image = LoadPicture(c.file);
    if (!image) {
        state.SkipWithError("cannot read the test picture");
        return;
    }
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = ours ? EncodeOurs(*image, c) : EncodeTurbo(*image, c);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    if (ours) state.counters["bytes_ratio_vs_turbo"] = double(bytes) / double(EncodeTurbo(*image, c));
    state.SetItemsProcessed(state.iterations() * int64_t{image->GetWidth()} * image->GetHeight());
}

}  // namespace

int main(int argc, char** argv)
{
    for (const Case& c : kCases) {
        benchmark::RegisterBenchmark((std::string("encode/ours/") + c.name).c_str(),
                                     [c](benchmark::State& s) { Encode(s, c, true); })
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("encode/turbo/") + c.name).c_str(),
                                     [c](benchmark::State& s) { Encode(s, c, false); })
            ->Unit(benchmark::kMillisecond);
    }
    return jpegbench::RunWithRatios(argc, argv);
}

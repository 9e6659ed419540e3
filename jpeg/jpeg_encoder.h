// The JPEG encoder behind WriteJpeg: an interleaved 8-bit image of one
// channel or three (blue, green, red) to a sequential or progressive
// Huffman-coded file with 4:4:4, 4:2:2 or 4:2:0 sampling, quantisation tied
// to the sampling, Huffman tables computed from the image's own statistics
// and an optional comment segment right after the start-of-image marker.
//
// Memory: a sequential file is made in two streaming passes over the image
// (statistics, then output), each converting and transforming one MCU row
// at a time, so it needs only a few MCU rows of buffers whatever the image
// size. A progressive file needs every quantised coefficient between its
// scans: 2 bytes per sample of each component plane (6 bytes per pixel at
// 4:4:4, 4 at 4:2:2, 3 at 4:2:0, 2 for grey).
#pragma once

#include "jpeg/jpeg_bit_writer.h"
#include "jpeg/jpeg_fdct.h"
#include "jpeg/jpeg_huffman_encoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

// Every coefficient-plane allocation of the encoder goes through this hook
// when one is set; returning false refuses it (tests use it to simulate
// running out of memory). Null restores plain allocation.
using JpegAllocHook = bool (*)(size_t bytes);
void SetJpegAllocHook(JpegAllocHook hook);

struct JpegEncodeOptions {
    int sampling = 0;          // 0 4:4:4, 1 4:2:2, 2 or 3 4:2:0
    bool progressive = false;
    const uint8_t* comment = nullptr;  // comment payload written after SOI, or null
    size_t commentLength = 0;
};

class JpegEncoder {
public:
    // Indices of the six Huffman tables.
    enum Table { kDc0, kDc1, kAc0, kAc1, kAc2, kAc3, kTableCount };

    // `source` points at the top-left pixel of the area to encode; rows are
    // `rowBytes` apart; `channels` is 1 or 3; width and height are 1..65535.
    JpegEncoder(const uint8_t* source, ptrdiff_t rowBytes, int channels, int width, int height,
                const JpegEncodeOptions& options);
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // Converts, transforms and quantises (progressive: into the coefficient
    // planes) and gathers the symbol statistics. False when the coefficient
    // planes cannot be allocated.
    bool Prepare();
    // Writes the file into `sink`: the markers and tables up to the frame
    // header, then the scans and the end-of-image marker.
    void WriteHeaders(JpegByteSink& sink) const;
    void WriteScans(JpegByteSink& sink);
    void Write(JpegByteSink& sink)
    {
        WriteHeaders(sink);
        WriteScans(sink);
    }

    // Bytes the coefficient planes need (0 for a sequential file).
    size_t CoefficientBytes() const;
    const HuffmanTableDef& TableDef(Table t) const { return m_tableDefs[t]; }
    bool TableUsed(Table t) const { return m_used[t]; }
    const JpegQuantiser& Quantiser(int i) const { return m_quant[i]; }

private:
    struct FreeDeleter {
        void operator()(void* p) const { std::free(p); }
    };
    struct Component {
        int h = 1, v = 1;
        int hRatio = 1, vRatio = 1;
        int quant = 0;
        int lastX = 0, lastY = 0;      // last sample column and row inside the image
        int blocksAcross = 0, blocksDown = 0;  // MCU-padded plane
        int scanBlocksAcross = 0, scanBlocksDown = 0;  // one-component scans
        std::vector<int16_t> rows;     // samples of the current MCU row
        size_t rowStride = 0;
        std::unique_ptr<int16_t[], FreeDeleter> coefs;  // progressive: zigzag blocks
        std::vector<int16_t> rowBlocks;  // sequential: the current MCU row's zigzag blocks
    };
    struct ScanParams {
        int component;  // -1: all components interleaved
        int ss, se, ah, al;
        int acTable;
    };

    void ConvertMcuRow(int mcuRow);
    void ConvertPixelRow(const uint8_t* src, int16_t* outY, int16_t* outCb, int16_t* outCr) const;
    void TransformBlock(const Component& c, int blockX, int blockY, int16_t zigzag[64]) const;
    void TransformBlockRow(const Component& c, int by, int16_t* out) const;
    void TransformAllBlocks();
    template <class Coder> void RunSequential(Coder& coder);
    template <class Coder> void RunProgressive(Coder& coder);
    template <class Coder> void RunScan(Coder& coder, const ScanParams& scan);
    std::vector<ScanParams> ScanScript() const;
    void BuildTables(const uint32_t freq[kTableCount][256]);
    void WriteScanHeader(JpegByteSink& sink, const ScanParams& scan) const;

    const uint8_t* m_source;
    ptrdiff_t m_rowBytes;
    int m_channels;
    int m_width, m_height;
    JpegEncodeOptions m_options;
    int m_componentCount;
    Component m_comp[3];
    int m_hMax = 1, m_vMax = 1;
    int m_mcusAcross = 0, m_mcusDown = 0;
    JpegQuantiser m_quant[2];
    HuffmanTableDef m_tableDefs[kTableCount];
    HuffmanEncodeTable m_codes[kTableCount];
    bool m_used[kTableCount] = {};
};

// The JPEG decoder behind Jpegkit's reading entry points: a state machine
// over a byte source that reads the markers up to the first scan (header
// pass), then the scans (data pass) into an interleaved 8-bit Image in blue,
// green, red order, at full or one-eighth scale. Sequential files with one
// interleaved scan are decoded and written out MCU row by MCU row; progressive
// files and sequential files with several scans go through coefficient planes.
#pragma once

#include "jpeg/jpeg_bit_reader.h"
#include "jpeg/jpeg_byte_source.h"
#include "core/file_records.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

class Image;
struct JpegColourTables;

// "marker 0xD9": how the decoder's messages name a marker code.
std::string MarkerName(int marker);

class JpegDecoder {
public:
    // At most this many scans are decoded from one file, so that a crafted
    // file cannot make the decoder repeat its work without end.
    static constexpr int kMaxScans = 500;
    // A frame decoded at full scale may hold at most this many pixels,
    // counted on the MCU-padded frame: 2^29, the full-sphere panorama
    // (32,768 x 16,384) of the widest world map whose equator width the
    // short panorama descriptor can carry (a signed 16-bit field). The BMP
    // reader applies the same bound. Strips 65,535 wide decode up to 8,192
    // rows. A larger frame is refused by the header pass (by NoReadThumbnail
    // after a one-eighth header pass), before the caller sizes its image;
    // the header-only pass, which allocates nothing, reads any frame. The
    // image-sized buffers themselves are allocated only in the data pass.
    static constexpr uint64_t kMaxFramePixels = uint64_t{1} << 29;

    // `basePosition` is the position of the source's first byte in the file,
    // used for the recorded position of the descriptor's payload.
    JpegDecoder(std::unique_ptr<JpegByteSource> source, bool headerOnly, bool oneEighth, int64_t basePosition = 0);
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Header pass: from the start-of-image marker to the first start-of-scan
    // marker, whose segment is left unread.
    bool ReadHeader();
    // Data pass into `image`, whose buffer holds OutputWidth x OutputHeight
    // pixels of Components() bytes.
    bool DecodeImage(Image* image);

    // The data pass in steps, for a caller that shows a progressive image
    // while it arrives. StartData checks the image and reads the first scan
    // header. A file that needs coefficient planes (progressive, or several
    // sequential scans) then takes DecodeNextScan until the image is
    // complete, and WriteCoefficients turns the planes into pixels, after
    // any scan; any other file is decoded by DecodeImage alone.
    enum ScanResult { kScanDecoded, kImageComplete, kScanFailed };
    bool StartData(const Image* image);
    bool UsesCoefficientPlanes() const { return m_usesPlanes; }
    // Decodes the pending scan and reads on to the next scan header or the
    // end of the image.
    ScanResult DecodeNextScan();
    void WriteCoefficients(Image* image);
    // Leaves one-eighth mode before the data pass; false when the full-size
    // buffers cannot be allocated.
    bool LeaveOneEighth();

    // Progress of the coefficient-plane scans: called after each row of
    // MCUs (or of blocks, in a one-component scan) with the number of blocks
    // that row decoded. Null (the default) reports nothing.
    using RowCallback = void (*)(void* context, int blocks);
    void SetRowCallback(RowCallback callback, void* context)
    {
        m_rowCallback = callback;
        m_rowContext = context;
    }
    // Components of the scan whose header was read last (the pending scan).
    int ScanComponents() const { return m_scanComponents; }
    // Frame geometry: sampling factors of component `i`, MCUs per row and rows.
    int SamplingH(int i) const { return m_comp[i].h; }
    int SamplingV(int i) const { return m_comp[i].v; }
    int McusAcross() const { return m_mcusAcross; }
    int McusDown() const { return m_mcusDown; }
    // Spectral selection and successive approximation of the pending scan.
    int ScanSpectralStart() const { return m_ss; }
    int ScanSpectralEnd() const { return m_se; }
    int ScanApproxHigh() const { return m_ah; }
    int ScanApproxLow() const { return m_al; }

    int FrameWidth() const { return m_width; }
    int FrameHeight() const { return m_height; }
    int Components() const { return m_componentCount; }
    bool IsProgressive() const { return m_progressive; }
    bool IsOneEighth() const { return m_oneEighth; }
    // Full scale: the frame size; one-eighth: the MCU-padded size / 8.
    int OutputWidth() const;
    int OutputHeight() const;
    // The captured descriptor comment: payload position, length (0 when
    // none), bytes.
    FileExtraData* Comment() { return &m_comment; }
    // Why the last pass failed (for the caller's log line).
    const char* Error() const { return m_error; }

private:
    struct FreeDeleter {
        void operator()(void* p) const { std::free(p); }
    };

    struct Component {
        int id = 0;
        int h = 1, v = 1;           // sampling factors
        int quantTable = 0;
        int hRatio = 1, vRatio = 1; // Hmax / h, Vmax / v: the upsampling factors
        int blocksAcross = 0;       // blocks of the MCU-padded plane
        int blocksDown = 0;
        int scanBlocksAcross = 0;   // blocks a one-component scan codes
        int scanBlocksDown = 0;
        uint16_t quant[64] = {};    // natural order, taken at the component's first scan
        bool quantLatched = false;
        bool dcFirstDone = false;
        int dcTable = 0, acTable = 0;
        int16_t dcPred = 0;
        // Quantised coefficients, natural order, coefsPerBlock per block
        // (64, or 1 when only the DC is kept at one-eighth scale).
        std::unique_ptr<int16_t[], FreeDeleter> coefs;
        // Samples of the current MCU row.
        std::vector<uint8_t> rows;
        size_t rowStride = 0;
        std::vector<uint8_t> expanded;  // one row upsampled to the output width
        // Sequential decoding: the quantised blocks of the current MCU row
        // (v rows of blocksAcross blocks, natural order), transformed once
        // the row is decoded so that neighbouring blocks go through the
        // transform together; and per block whether it has AC coefficients.
        std::vector<int16_t> rowBlocks;
        std::vector<uint8_t> rowHasAc;
    };

    bool Fail(const char* reason)
    {
        m_error = reason;
        return false;
    }
    // Corrupt entropy-coded data that the decode steps over: one WARNING
    // line per file, at the first place found.
    void WarnCorrupt(int64_t position, const std::string& what);

    // Markers.
    int ReadMarkerAfterSegment();
    int SeekMarker(long long* skipped = nullptr);
    int FinishScan();
    bool HandleMarker(int marker);
    bool SkipSegment();
    bool ReadFrameHeader(bool progressive);
    bool ReadHuffmanTables();
    bool ReadQuantTables();
    bool ReadRestartInterval();
    bool ReadComment();
    bool ReadAppSegment();
    bool ReadScanHeader();

    // Geometry and buffers.
    int BlockSize() const { return m_oneEighth ? 1 : 8; }
    int CoefsPerBlock() const { return m_oneEighth ? 1 : 64; }
    bool FrameWithinLimit() const;
    bool AllocateCoefficients();
    bool AllocateRows();
    bool CheckImage(const Image* image);

    // Scans.
    bool DecodeSequentialStreaming(Image* image);
    void TransformDecodedRow();
    bool DecodeScanIntoCoefficients();
    bool ProcessRestart();
    bool DecodeBlockBaseline(Component& c, int16_t* block, int& last);
    bool DecodeDcFirst(Component& c, int16_t* block);
    bool DecodeDcRefine(int16_t* block);
    bool DecodeAcFirst(const Component& c, int16_t* block);
    bool DecodeAcRefine(const Component& c, int16_t* block);

    // Output.
    void TransformBlock(const Component& c, const int16_t* block, int last, uint8_t* out);
    // `count` blocks of one block row, 64 coefficients each, into 8 sample
    // rows from `out`; `hasAc` flags the blocks with AC coefficients (null:
    // each block is looked at).
    void TransformBlockRow(const Component& c, const int16_t* blocks, const uint8_t* hasAc, int count, uint8_t* out);
    void TransformMcuRowFromCoefficients(int mcuRow);
    void EmitMcuRow(Image* image, int mcuRow);

    std::unique_ptr<JpegByteSource> m_source;
    JpegBitReader m_bits;
    const JpegColourTables* m_colour = nullptr;
    bool m_headerOnly;
    bool m_oneEighth;
    int64_t m_basePosition;
    const char* m_error = "";

    // Frame.
    bool m_frameSeen = false;
    bool m_progressive = false;
    int m_width = 0, m_height = 0;
    int m_componentCount = 0;
    Component m_comp[3];
    int m_hMax = 1, m_vMax = 1;
    int m_mcusAcross = 0, m_mcusDown = 0;
    bool m_adobeSeen = false;
    int m_adobeTransform = 1;
    bool m_jfifSeen = false;
    bool m_rgb = false;  // components are red, green, blue (no colour transform)

    // Tables.
    uint16_t m_quant[4][64] = {};
    bool m_quantDefined[4] = {};
    HuffmanDecodeTable m_dcTables[4];
    HuffmanDecodeTable m_acTables[4];
    int m_restartInterval = 0;

    // Scan.
    bool m_scanPending = false;  // the header pass stopped at a start-of-scan marker
    int m_scanCount = 0;
    int m_scanComponents = 0;
    int m_scanComp[4] = {};
    int m_ss = 0, m_se = 63, m_ah = 0, m_al = 0;
    int m_eobRun = 0;
    int m_nextRestart = 0;  // the number of the restart marker due next
    bool m_corruptionLogged = false;
    bool m_coefficientsReady = false;
    bool m_usesPlanes = false;

    FileExtraData m_comment;

    RowCallback m_rowCallback = nullptr;
    void* m_rowContext = nullptr;
};
